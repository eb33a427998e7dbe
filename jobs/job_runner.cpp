#include "job_runner.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <system_error>

#include "decoded_source.h"
#include "encoder_sink.h"
#include "render.h"
#include "safe_output.h"
#include "wav_sink.h"
#include "wav_source.h"
#include "wave_layout.h"

namespace fs = std::filesystem;

namespace {

// Holds the runner for one job; a second job finds it taken.
class OneJob {
  public:
    explicit OneJob(std::atomic<bool>& busy) : m_busy(busy), m_taken(!busy.exchange(true)) {}
    ~OneJob() {
        if (m_taken) {
            m_busy = false;
        }
    }
    OneJob(const OneJob&) = delete;
    OneJob& operator=(const OneJob&) = delete;
    explicit operator bool() const { return m_taken; }

  private:
    std::atomic<bool>& m_busy;
    bool m_taken;
};

std::string LowerExtension(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// Sample bytes the output's folder can take; a device or FIFO takes any.
std::uint64_t OutputBudget(const fs::path& output) {
    const fs::path target = ResolveOutputTarget(output);
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return UnboundedDecodeBudget();
    }
    const fs::path folder = target.parent_path();
    return DecodeBudget(folder.empty() ? fs::path(".") : folder);
}

// The source for the file a write reads; null after telling the observer why there is none.
std::unique_ptr<RenderSource> OpenSource(const fs::path& path, JobResult& refusal,
                                         JobObserver& observer) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        observer.Message({JobError::NotAudio});
        refusal = JobResult::Refused;
        return nullptr;
    }
    if (EngineReadsAsIs(path)) {
        auto wav = std::make_unique<WavSource>();
        if (wav->Open(path)) {
            return wav;
        }
        observer.Message({JobError::ReadInput});
        refusal = JobResult::Failed;
        return nullptr;
    }
    auto decoded = std::make_unique<DecodedSource>();
    const SourceStatus opened = decoded->Open(path);
    if (opened == SourceStatus::Ok) {
        return decoded;
    }
    observer.Message(
        {opened == SourceStatus::NotStereo ? JobError::NotStereo : JobError::NotAudio});
    refusal = JobResult::Refused;
    return nullptr;
}

std::unique_ptr<RenderSink> CreateSink(const fs::path& output, RenderSource& source) {
    if (LowerExtension(output) == ".flac") {
        auto encoder = std::make_unique<EncoderSink>();
        return encoder->Create(output, "flac", source.Tags()) ? std::move(encoder) : nullptr;
    }
    auto wav = std::make_unique<WavSink>();
    return wav->Create(output) ? std::move(wav) : nullptr;
}

JobResult Finish(RenderStatus status, RenderSink& sink, JobObserver& observer) {
    switch (status) {
        case RenderStatus::Done:
            if (sink.Commit()) {
                return JobResult::Done;
            }
            break;
        case RenderStatus::Refused:
            return JobResult::Refused;
        case RenderStatus::Stopped:
            return JobResult::Stopped;  // half a file is no copy: the output stays as it was
        case RenderStatus::ReadFailed:
            observer.Message({JobError::ReadInput});
            return JobResult::Failed;
        case RenderStatus::WriteFailed:
            break;
    }
    observer.Message({JobError::WriteOutput});
    return JobResult::Failed;
}

}  // namespace

bool SameFile(const fs::path& input, const fs::path& output) {
    std::error_code ec;
    return fs::equivalent(input, output, ec) && !ec;
}

JobResult WriteFile(const WriteRequest& request, WaveFormat& format, JobObserver& observer) {
    if (SameFile(request.input, request.output)) {
        observer.Message({JobError::SameFile});
        return JobResult::Failed;
    }
    JobResult refusal = JobResult::Failed;
    const std::unique_ptr<RenderSource> source =
        OpenSource(request.reads.empty() ? request.input : request.reads, refusal, observer);
    if (!source) {
        return refusal;
    }
    const std::unique_ptr<RenderSink> sink = CreateSink(request.output, *source);
    if (!sink) {
        observer.Message({JobError::CreateOutput});
        return JobResult::Failed;
    }
    // A tiny file that declares hours of audio must not fill the disk.
    if (!source->FitsIn(OutputBudget(request.output))) {
        observer.Message({JobError::NoDecodeSpace});
        return JobResult::Refused;
    }
    ProcessingParameters params;
    CopyParameters(*request.params, params);
    RenderSettings settings;
    settings.params = &params;
    settings.loopEnd = request.loopEnd;
    settings.stop = request.stop;
    settings.pool = request.pool;
    settings.segments = request.segments;
    settings.ioThreads = request.ioThreads;
    settings.segmentSettings = request.segmentSettings;
    return Finish(Render(*source, *sink, settings, format, observer), *sink, observer);
}

JobResult JobRunner::Write(const WriteRequest& request, JobObserver& observer) {
    const OneJob job(m_busy);
    if (!job) {
        return JobResult::Busy;
    }
    return WriteFile(request, m_format, observer);
}

PlayResult JobRunner::Play(const fs::path& wav, PlayControls& controls, AudioOut& out,
                           JobObserver& observer, bool once) {
    const OneJob job(m_busy);
    if (!job) {
        return {JobResult::Busy, 0};
    }
    return PlayWaveFile(wav, controls, out, m_format, observer, once);
}
