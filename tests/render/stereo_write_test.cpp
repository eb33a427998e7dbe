// Writes in the stereo mode: whatever the remover does, a write gives what one remover run
// over the whole processed input gives, aligned with the input, at every thread count.

#include <gtest/gtest.h>

#include "processing/stereo_remover.h"
#include "render/render_pool.h"
#include "tests/test_support/write_helpers.h"

namespace {

constexpr std::size_t kFrameBytes = 4;

// One remover over the whole body, flushed with silence, its first Latency() frames dropped;
// a partial frame kept as it is.
Bytes RemovedBody(const Bytes& body, const ProcessingParameters& params) {
    const Bytes processed = ProcessedBody(body, params);
    const std::size_t frames = processed.size() / kFrameBytes;
    StereoRemover remover(44100);
    const std::size_t latency = remover.Latency();
    std::vector<std::int16_t> in =
        SamplesOf(Bytes(processed.begin(), processed.begin() + frames * kFrameBytes));
    in.resize(2 * (frames + latency), 0);
    std::vector<std::int16_t> out(in.size());
    remover.Process(params, in.data(), out.data(), nullptr, frames + latency);
    Bytes removed = Samples({out.begin() + 2 * latency, out.end()});
    removed.insert(removed.end(), processed.begin() + frames * kFrameBytes, processed.end());
    return removed;
}

Bytes Expected(const Bytes& input, const ProcessingParameters& params) {
    Bytes expected = input;
    for (const ByteRange& data : DataBodies(input)) {
        const auto at = expected.begin() + static_cast<std::ptrdiff_t>(data.offset);
        const Bytes body(at, at + static_cast<std::ptrdiff_t>(data.size));
        const Bytes removed = RemovedBody(body, params);
        std::copy(removed.begin(), removed.end(), at);
    }
    return expected;
}

Bytes Write(const Bytes& input, const ProcessingParameters& params, int threads) {
    TempDir dir;
    WriteFile(dir / "in.wav", input);
    RenderPool pool(threads);
    WriteRequest request;
    request.input = dir / "in.wav";
    request.output = dir / "out.wav";
    request.params = &params;
    request.pool = &pool;
    request.ioThreads = threads > 2;
    RecordingObserver observer;
    EXPECT_EQ(JobRunner().Write(request, observer), JobResult::Done);
    return ReadFile(dir / "out.wav");
}

Bytes WithTail(std::size_t frames, std::size_t extraBytes) {
    Bytes body = Samples(TestSignal(frames, 5));
    body.resize(body.size() + extraBytes, 0x5a);
    return body;
}

TEST(StereoWrite, EveryThreadCountGivesOneRemoverOverTheWholeInputAlignedWithIt) {
    const std::size_t segment = 128 * StereoRemover(44100).Hop();
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"no sample data", SimpleWav({})},
        {"shorter than a hop", SimpleWav(TestSignal(700, 2))},
        {"a partial frame at the end",
         Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", WithTail(3 * 1024 + 7, 2))})},
        {"one segment to the frame", SimpleWav(TestSignal(segment, 3))},
        {"several segments and a short one", SimpleWav(TestSignal(8 * segment + 4321, 4))},
        {"chunks after two runs of data",
         Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", WithTail(segment + 99, 0)),
               ListChunk("INFO", {Chunk("INAM", {'s', 'o', 'n', 'g', 0})}),
               Chunk("data", WithTail(5000, 0)), Chunk("junk", {1, 2, 3})})},
    };
    ProcessingParameters params;
    Positions positions;
    positions.pan = -7;
    positions.focus = 80;
    SetParameters(params, positions, PlayMode::Stereo);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes expected = Expected(c.file, params);
        ASSERT_EQ(expected.size(), c.file.size());
        for (const int threads : {1, 2, 4}) {
            SCOPED_TRACE(threads);
            EXPECT_TRUE(Write(c.file, params, threads) == expected);
        }
    }
}

}  // namespace
