#include "render/render.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "processing/fast_frames.h"
#include "processing/processing.h"
#include "render/metered_frames.h"
#include "render/pipes.h"
#include "render/position_counter.h"
#include "render/render_pool.h"
#include "render/segmented_write.h"
#include "render/stage_sink.h"
#include "render/stereo_stage.h"
#include "render/stretch_stage.h"

namespace {

// What a frame mode removed, for a write that keeps it too: saturated (attenuated input x
// output gain - output) of each whole frame; bytes after the last whole frame are silence.
void FrameVocals(const ProcessingParameters& params, const unsigned char* input,
                 const unsigned char* output, unsigned char* vocals, std::size_t bytes) {
    const double gain = params.outputGain;
    const auto removed = [gain](std::int16_t in, std::int16_t out) {
        return Saturate16(Saturate16(in * kInputAttenuation) * gain - out);
    };
    const std::size_t frames = bytes / kBytesPerFrame;
    for (std::size_t at = 0; at < frames * kBytesPerFrame; at += kBytesPerFrame) {
        const StereoSample in = FrameSample(input + at);
        const StereoSample out = FrameSample(output + at);
        StoreFrameSample(vocals + at, {removed(in.left, out.left), removed(in.right, out.right)});
    }
    std::fill(vocals + frames * kBytesPerFrame, vocals + bytes, 0);
}

// What a write shows while it runs: the play-position counter (one step a whole number of blocks),
// and how far it is.
class WriteProgress {
  public:
    WriteProgress(JobObserver& observer, std::uint64_t length, const ReadAhead* ahead,
                  const RenderSource& source)
        : m_observer(observer),
          m_length(length),
          m_counter(observer),
          m_ahead(ahead),
          m_source(source) {
        m_counter.SetLength(length);
    }

    void Block(std::size_t bytes) {
        m_done += bytes;
        if (m_length != kUnknownLength) {
            m_counter.Advance(m_done);
        }
        m_observer.Progress(m_length != kUnknownLength ? static_cast<double>(m_done) / m_length
                            : m_ahead != nullptr       ? m_ahead->Progress()
                                                       : m_source.Progress());
    }
    std::uint64_t Done() const { return m_done; }

  private:
    JobObserver& m_observer;
    std::uint64_t m_length;
    PositionCounter m_counter;
    const ReadAhead* m_ahead;
    const RenderSource& m_source;
    std::uint64_t m_done = 0;
};

class RenderRun : public WalkHandler {
  public:
    RenderRun(RenderSource& source, RenderSink& sink, const RenderSettings& settings,
              WaveFormat& format, JobObserver& observer)
        : m_source(source),
          m_sink(sink),
          m_settings(settings),
          m_format(format),
          m_observer(observer),
          m_stretchStage(settings.keyTempo),
          m_vocalStretchStage(settings.keyTempo),
          m_block(kBlockBytes) {}

    RenderStatus Run();

    bool Container(const unsigned char* bytes, std::size_t n) override {
        return ToSinks([&](RenderSink& sink) { return sink.Container(bytes, n); });
    }
    void Format(const WaveFormat& format) override { m_format = format; }
    bool Data(std::uint64_t length) override;

  private:
    bool Check(bool written) {
        if (!written && m_status == RenderStatus::Done) {
            m_status = RenderStatus::WriteFailed;
        }
        return written;
    }
    // write(sink) on the sink, then on the vocals' where there is one, until one fails.
    template <typename Write>
    bool ToSinks(Write write) {
        return Check(write(m_sink)) &&
               (m_settings.vocals == nullptr || Check(write(*m_settings.vocals)));
    }
    bool Refuse(JobError error) {
        m_observer.Message({error});
        m_status = RenderStatus::Refused;
        return false;
    }
    void WarnOfEmptyLoop(std::uint64_t length);
    bool InSegments(std::uint64_t length);
    void InOrder(std::uint64_t length);
    template <typename Output>
    bool Blocks(ByteInput& input, std::uint64_t length, Output& output, Output* vocals,
                WriteProgress& progress);
    void ProcessBlock(std::size_t bytes);
    void StartStages();
    void EndRun(std::uint64_t length, std::uint64_t done);
    RenderPool* StagePool() const;
    RenderSink& Stretched() { return m_stretch ? *m_stretch : m_sink; }
    RenderSink* VocalsStretched() { return m_vocalStretch ? &*m_vocalStretch : m_settings.vocals; }
    // Where the processed frames go: the stereo mode's remover, or on to the sink.
    RenderSink& FrameOutput() { return m_stereo ? *m_stereo : Stretched(); }
    // Where the frame modes' removed part goes; the remover makes its own.
    RenderSink* FrameVocalOutput() { return m_stereo ? nullptr : VocalsStretched(); }

    RenderSource& m_source;
    RenderSink& m_sink;
    const RenderSettings& m_settings;
    WaveFormat& m_format;
    JobObserver& m_observer;
    // Key and tempo, built once for the job; in front of the sinks for the run of data being
    // written, unless neutral.
    StretchStage m_stretchStage;
    StretchStage m_vocalStretchStage;
    std::optional<StageSink> m_stretch;
    std::optional<StageSink> m_vocalStretch;
    std::vector<unsigned char> m_block;
    FrameState m_frames{};
    // The stereo mode's remover, for the run of data being written, in front of both.
    std::unique_ptr<StereoStage> m_stereo;
    // The block as read, and what was removed from it: for the frame modes' vocals.
    std::vector<unsigned char> m_input;
    std::vector<unsigned char> m_vocalBlock;
    bool m_loopWarned = false;  // once per job: a file of a million tiny chunks brings one
    RenderStatus m_status = RenderStatus::Done;
};

RenderStatus RenderRun::Run() {
    m_source.Walk(*this);
    switch (m_source.Status()) {
        case SourceStatus::Ok:
            break;
        case SourceStatus::ReadFailed:
        case SourceStatus::Changed:
            return m_status == RenderStatus::Done ? RenderStatus::ReadFailed : m_status;
        case SourceStatus::Interrupted:
            return RenderStatus::Stopped;
        case SourceStatus::NotAudio:
            Refuse(JobError::NotAudio);
            return m_status;
        case SourceStatus::NotStereo:
            Refuse(JobError::NotStereo);
            return m_status;
        case SourceStatus::NoSpace:
            Refuse(JobError::NoDecodeSpace);
            return m_status;
        case SourceStatus::TooLong:
            Refuse(JobError::TooLongForWav);
            return m_status;
    }
    if (m_status == RenderStatus::Done) {
        ToSinks([](RenderSink& sink) { return sink.EndOfData(); });
    }
    if (const std::optional<JobMessage> warning = m_source.Warning();
        warning && m_status == RenderStatus::Done) {
        m_observer.Message(*warning);
    }
    return m_status;
}

bool RenderRun::Data(std::uint64_t length) {
    if (m_settings.params != nullptr) {
        if (m_format.channels != 2) {
            return Refuse(JobError::NotStereo);
        }
        if (m_format.BytesPerSample() != 2) {
            return Refuse(JobError::Not16Bit);
        }
    }
    if (!ToSinks([this](RenderSink& sink) { return sink.Format(m_format); })) {
        return false;
    }
    // A write processes the data from its first byte whatever the loop says; its loop start
    // shows 0, and a loop end at the first byte is an error worth telling, as in a playback.
    if (m_settings.params != nullptr && length != kUnknownLength) {
        m_observer.Loop(0, m_settings.loopEnd);
        WarnOfEmptyLoop(length);
        m_observer.Position(0);
    }
    m_frames = FrameState{};
    StartStages();
    if (!InSegments(length)) {
        InOrder(length);
    }
    return m_status == RenderStatus::Done;
}

// Fresh stages after the processing for a run of data; the remover goes first, as it feeds
// the others.
void RenderRun::StartStages() {
    m_stereo.reset();
    m_stretch.reset();
    m_vocalStretch.reset();
    const ProcessingParameters* params = m_settings.params;
    if (params == nullptr) {
        return;
    }
    if (!m_stretchStage.Bypassed()) {
        m_stretchStage.Prepare(m_format);
        m_stretch.emplace(m_stretchStage, m_sink);
        if (m_settings.vocals != nullptr) {
            m_vocalStretchStage.Prepare(m_format);
            m_vocalStretch.emplace(m_vocalStretchStage, *m_settings.vocals);
        }
    }
    if (params->mode == PlayMode::Stereo) {
        m_stereo = std::make_unique<StereoStage>(Stretched(), VocalsStretched(), *params,
                                                 m_format.sampleRate, StagePool());
    } else if (m_settings.vocals != nullptr) {
        m_input.resize(kBlockBytes);
        m_vocalBlock.resize(kBlockBytes);
    }
}

// The pool's threads for the remover's segments, unless the job was asked to run in one
// piece (a file of a batch beside others) or has one thread.
RenderPool* RenderRun::StagePool() const {
    RenderPool* pool = m_settings.pool;
    return pool != nullptr && pool->Threads() >= 2 && m_settings.segments != 1 ? pool : nullptr;
}

void RenderRun::WarnOfEmptyLoop(std::uint64_t length) {
    if (PositionBytes(m_settings.loopEnd, length / kPositionSteps) > 0) {
        return;
    }
    if (!m_loopWarned) {
        m_observer.Message({JobError::LoopAtStart});
        m_loopWarned = true;
    }
    m_observer.Loop(0, RowOf(Knob::LoopEnd).max);
}

// Processes the frames of the block in place, and tells the level of its last frame too.
// Bytes after the last whole frame stay as read.
void RenderRun::ProcessBlock(std::size_t bytes) {
    const std::size_t frames = bytes / kBytesPerFrame;
    if (m_settings.params == nullptr || frames == 0) {
        return;
    }
    // A write keeps its mode to the end: where that mode's frames are the attenuated input,
    // the filters need not run.
    const bool attenuateOnly = PassesAttenuatedInput(m_settings.params->mode);
    const MeteredBlock block =
        MeteredFrames(m_block.data(), 0, frames, m_observer, [&](unsigned char* at, std::size_t n) {
            FrameState* const states[] = {&m_frames};  // a group of one: the parameters hold
            unsigned char* const runs[] = {at};
            if (attenuateOnly) {
                AttenuateFrames(at, n);
            } else {
                ProcessFrameGroup(states, runs, 1, n, *m_settings.params);
            }
            return MeteredRun{n, false};
        });
    m_observer.Level(MeterSegments(block.meter));
}

template <typename Output>
bool RenderRun::Blocks(ByteInput& input, std::uint64_t length, Output& output, Output* vocals,
                       WriteProgress& progress) {
    for (;;) {
        const std::uint64_t left = length - progress.Done();
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kBlockBytes));
        const std::size_t got = want > 0 ? input.Read(m_block.data(), want) : 0;
        if (got == 0) {
            return true;
        }
        if (m_settings.stop.stop_requested()) {
            m_status = RenderStatus::Stopped;  // half a file is no copy
            return false;
        }
        if (vocals != nullptr) {
            std::copy_n(m_block.begin(), got, m_input.begin());
        }
        ProcessBlock(got);
        if (!Check(output.Frames(m_block.data(), got))) {
            return false;
        }
        if (vocals != nullptr) {
            FrameVocals(*m_settings.params, m_input.data(), m_block.data(), m_vocalBlock.data(),
                        got);
            if (!Check(vocals->Frames(m_vocalBlock.data(), got))) {
                return false;
            }
        }
        progress.Block(got);
        if (got < want) {
            return true;
        }
    }
}

// Constant parameters make the data of a regular file into a regular file worth running in
// segments on every core, with the sequential result byte for byte. The observer hears the
// blocks in order, as the sequential run would.
bool RenderRun::InSegments(std::uint64_t length) {
    const RenderSettings& s = m_settings;
    // The stages carry their state from frame to frame: no segment could start on its own.
    if (s.params == nullptr || s.pool == nullptr || length == kUnknownLength || m_stretch ||
        m_stereo || s.vocals != nullptr) {
        return false;
    }
    const std::optional<FilePlace> input = m_source.DataPlace(length);
    std::size_t segments =
        input ? SegmentCount(input->bytes / kBytesPerFrame, s.pool->Threads(), s.segmentSettings)
              : 0;
    if (s.segments != 0) {
        segments = std::min(segments, s.segments);
    }
    const std::optional<FilePlace> output = segments >= 2 ? m_sink.FramesPlace() : std::nullopt;
    if (!output) {
        return false;
    }
    std::atomic<int> writeError{0};
    const SegmentedWrite job{.inputFd = input->fd,
                             .inputOffset = input->offset,
                             .outputFd = output->fd,
                             .outputOffset = output->offset,
                             .syncOutput = m_sink.WritesBackEarly(),
                             .bytes = input->bytes,
                             .params = s.params,
                             .stop = s.stop,
                             .pool = s.pool,
                             .segments = segments,
                             .settings = s.segmentSettings,
                             .writeError = &writeError};
    WriteProgress progress(m_observer, length, nullptr, m_source);
    const RunStatus status = WriteInSegments(job, [&](const BlockReport& block) {
        for (std::size_t m = 0; m * kMeterFrames < block.frames; ++m) {
            m_observer.Level(MeterSegments(block.meters[m]));
        }
        m_observer.Level(MeterSegments(block.frames > 0 ? block.meters[kMeterSlots - 1] : 0));
        progress.Block(block.bytes);
    });
    switch (status) {
        case RunStatus::Declined:
            return false;  // nothing was written: the data goes in order
        case RunStatus::Stopped:
            m_status = RenderStatus::Stopped;
            return true;
        case RunStatus::ReadFailed:
            m_status = RenderStatus::ReadFailed;
            return true;
        case RunStatus::WriteFailed:
            m_status = RenderStatus::WriteFailed;
            m_sink.WriteFailedWith(writeError.load());
            return true;
        case RunStatus::Done:
            break;
    }
    // The walk goes on after the data, in both files.
    if (!m_source.SkipData(input->bytes)) {
        m_status = RenderStatus::ReadFailed;
    }
    Check(m_sink.SkipFrames(input->bytes));
    return true;
}

// Once every block of the run, done bytes, went through the stages: their last frames, the
// remover's first, into the key and tempo stages.
void RenderRun::EndRun(std::uint64_t length, std::uint64_t done) {
    if (m_stereo && m_status == RenderStatus::Done) {
        Check(m_stereo->End());
    }
    for (std::optional<StageSink>* stretch : {&m_stretch, &m_vocalStretch}) {
        if (*stretch && m_status == RenderStatus::Done) {
            Check((*stretch)->End());
        }
    }
    // Data whose length was not known tells of an empty loop once it is known, as a decoded
    // copy of it would at its start.
    if (length == kUnknownLength && m_settings.params != nullptr &&
        m_status == RenderStatus::Done && m_source.Status() == SourceStatus::Ok) {
        WarnOfEmptyLoop(done);
    }
}

// Reads ahead and writes behind on threads of their own where there are threads for them
// and the data is long enough to repay them (or of unknown length: a decoder's).
void RenderRun::InOrder(std::uint64_t length) {
    constexpr std::uint64_t kWorthThreads = 4u << 20;
    if (!m_settings.ioThreads || length < kWorthThreads) {
        WriteProgress progress(m_observer, length, nullptr, m_source);
        Blocks(m_source.DataInput(), length, FrameOutput(), FrameVocalOutput(), progress);
        EndRun(length, progress.Done());
        return;
    }
    ReadAhead ahead(m_source.DataInput(), length, [this] { return m_source.Progress(); });
    // The stages run on the writing threads, beside the processing.
    WriteBehind behind(FrameOutput());
    std::optional<WriteBehind> behindVocals;
    if (RenderSink* vocals = FrameVocalOutput()) {
        behindVocals.emplace(*vocals);
    }
    WriteProgress progress(m_observer, length, &ahead, m_source);
    Blocks(ahead, length, behind, behindVocals ? &*behindVocals : nullptr, progress);
    Check(behind.Finish());
    if (behindVocals) {
        Check(behindVocals->Finish());
    }
    EndRun(length, progress.Done());
}

}  // namespace

RenderStatus Render(RenderSource& source, RenderSink& sink, const RenderSettings& settings,
                    WaveFormat& format, JobObserver& observer) {
    return RenderRun(source, sink, settings, format, observer).Run();
}
