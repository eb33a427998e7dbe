#include "tests/test_support/write_helpers.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "processing/processing.h"
#include "render/render.h"
#include "render/wav_sink.h"
#include "render/wav_source.h"

WriteOutcome RunWriteJob(const Bytes& input, const ProcessingParameters& params,
                         RecordingObserver& observer, JobRunner* runner, int loopEnd) {
    TempDir dir;
    const auto in = dir / "in.wav";
    const auto out = dir / "out.wav";
    WriteFile(in, input);
    WriteRequest request;
    request.input = in;
    request.output = out;
    request.params = &params;
    request.loopEnd = loopEnd;
    JobRunner own;
    WriteOutcome outcome{};
    outcome.result = (runner != nullptr ? *runner : own).Write(request, observer);
    outcome.outputExists = std::filesystem::exists(out);
    if (outcome.outputExists) {
        outcome.output = ReadFile(out);
    }
    outcome.messages = observer.Messages();
    return outcome;
}

WriteOutcome RenderWave(const Bytes& input, const ProcessingParameters& params,
                        RecordingObserver& observer, WaveFormat& format) {
    TempDir dir;
    const auto in = dir / "in.wav";
    const auto out = dir / "out.wav";
    WriteFile(in, input);
    WavSource source;
    WavSink sink;
    WriteOutcome outcome{JobResult::Failed, {}, false, {}};
    if (source.Open(in) && sink.Create(out)) {
        RenderSettings settings;
        settings.params = &params;
        const RenderStatus status = Render(source, sink, settings, format, observer);
        outcome.result = status == RenderStatus::Refused                 ? JobResult::Refused
                         : status == RenderStatus::Done && sink.Commit() ? JobResult::Done
                                                                         : JobResult::Failed;
    }
    outcome.outputExists = std::filesystem::exists(out);
    if (outcome.outputExists) {
        outcome.output = ReadFile(out);
    }
    outcome.messages = observer.Messages();
    return outcome;
}

Bytes ProcessedBody(const Bytes& body, const ProcessingParameters& params) {
    Bytes out = body;
    FrameState state;
    for (std::size_t i = 0; i + 4 <= out.size(); i += 4) {
        const StereoSample o = ProcessFrame(state, params, FrameSample(out.data() + i));
        out[i] = static_cast<std::uint8_t>(o.left);
        out[i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(o.left) >> 8);
        out[i + 2] = static_cast<std::uint8_t>(o.right);
        out[i + 3] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(o.right) >> 8);
    }
    return out;
}

void SetParameters(ProcessingParameters& params, const Positions& positions, PlayMode mode) {
    ApplyPositions(positions, params);
    params.mode = mode;
}

namespace {

std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

bool Is(const Bytes& b, std::size_t at, const char* id) {
    return at + 4 <= b.size() && std::memcmp(b.data() + at, id, 4) == 0;
}

// Chunks between begin and end (well-formed files only); LIST bodies are searched too.
void CollectData(const Bytes& b, std::size_t begin, std::size_t end, std::vector<ByteRange>& out) {
    std::size_t at = begin;
    while (at + 8 <= end) {
        const std::size_t size = Le32(b, at + 4);
        const std::size_t rounded = size + (size & 1);
        const std::size_t body = at + 8;
        const std::size_t bodyEnd = std::min(body + rounded, b.size());
        if (Is(b, at, "data")) {
            out.push_back({body, bodyEnd - body});
        } else if (Is(b, at, "LIST") && rounded >= 4) {
            CollectData(b, body + 4, bodyEnd, out);
        }
        at = body + rounded;
    }
}

}  // namespace

std::vector<ByteRange> DataBodies(const Bytes& file) {
    std::vector<ByteRange> out;
    std::size_t at = 0;
    while (at + 12 <= file.size() && Is(file, at, "RIFF") && Is(file, at + 8, "WAVE")) {
        const std::size_t end = std::min<std::size_t>(at + 8 + Le32(file, at + 4), file.size());
        CollectData(file, at + 12, end, out);
        at = end;
    }
    return out;
}

Bytes ExpectedWrite(const Bytes& input, const ProcessingParameters& params) {
    Bytes out = input;
    for (const ByteRange& r : DataBodies(input)) {
        const Bytes body(input.begin() + static_cast<std::ptrdiff_t>(r.offset),
                         input.begin() + static_cast<std::ptrdiff_t>(r.offset + r.size));
        const Bytes processed = ProcessedBody(body, params);
        std::copy(processed.begin(), processed.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(r.offset));
    }
    return out;
}
