#include "input_file.h"

#include <system_error>

#include "decoded_source.h"
#include "render.h"
#include "wav_sink.h"
#include "wave_layout.h"

namespace fs = std::filesystem;

namespace {

InputStatus StatusOf(RenderStatus rendered, SourceStatus source) {
    switch (source) {
        case SourceStatus::NotAudio:
            return InputStatus::NotAudio;
        case SourceStatus::NotStereo:
            return InputStatus::NotStereo;
        case SourceStatus::NoSpace:
            return InputStatus::NoSpace;
        default:
            break;
    }
    switch (rendered) {
        case RenderStatus::Done:
            return InputStatus::Ready;
        case RenderStatus::Stopped:
            return InputStatus::Cancelled;
        case RenderStatus::WriteFailed:
            return InputStatus::NoSpace;
        default:
            return InputStatus::NotAudio;
    }
}

// Observes the decoding for its progress only: a refusal is the input's status.
class DecodingObserver : public JobObserver {
  public:
    explicit DecodingObserver(JobObserver& observer) : m_observer(observer) {}
    void Progress(double done) override { m_observer.Progress(done); }

  private:
    JobObserver& m_observer;
};

InputStatus Decode(const fs::path& path, const Shared<int>* cancel, CacheFile& decoded,
                   JobObserver& observer) {
    DecodedSource source;
    if (const SourceStatus opened = source.Open(path); opened != SourceStatus::Ok) {
        return StatusOf(RenderStatus::Refused, opened);
    }
    const fs::path cache = CacheFolder();
    RemoveStaleCacheFiles(cache);
    if (!source.FitsIn(DecodeBudget(cache)) || !decoded.Create(cache, "decoded")) {
        return InputStatus::NoSpace;
    }
    WavSink sink;
    sink.Adopt(decoded.File());
    RenderSettings settings;
    settings.stop = cancel;
    WaveFormat format;
    DecodingObserver progress(observer);
    const RenderStatus rendered = Render(source, sink, settings, format, progress);
    const InputStatus status = StatusOf(rendered, source.Status());
    return status == InputStatus::Ready && !(sink.Commit() && decoded.Close())
               ? InputStatus::NoSpace
               : status;
}

}  // namespace

std::optional<JobMessage> InputFile::Refusal() const {
    switch (m_status) {
        case InputStatus::NotAudio:
            return JobMessage{JobError::NotAudio};
        case InputStatus::NotStereo:
            return JobMessage{JobError::NotStereo};
        case InputStatus::NoSpace:
            return JobMessage{JobError::NoDecodeSpace};
        case InputStatus::Ready:
        case InputStatus::Cancelled:
            break;
    }
    return std::nullopt;
}

InputFile PrepareInput(const fs::path& path, const Shared<int>* cancel, JobObserver& observer) {
    InputFile input;
    input.m_reads = path;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
        input.m_status = InputStatus::NotAudio;
        return input;
    }
    // Missing files, FIFOs and devices are the job's to refuse, without blocking.
    if (!fs::is_regular_file(status) || EngineReadsAsIs(path)) {
        return input;
    }
    input.m_status = Decode(path, cancel, input.m_decoded, observer);
    if (input.m_status == InputStatus::Ready) {
        input.m_reads = input.m_decoded.Path();
    } else {
        input.m_decoded.Remove();
    }
    return input;
}
