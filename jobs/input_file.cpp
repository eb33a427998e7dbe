#include "input_file.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "decoded_source.h"
#include "disk_space.h"
#include "render.h"
#include "wav_sink.h"
#include "wave_layout.h"

namespace fs = std::filesystem;

namespace {

InputStatus StatusOf(SourceStatus source) {
    switch (source) {
        case SourceStatus::Ok:
            return InputStatus::Ready;
        case SourceStatus::NotStereo:
            return InputStatus::NotStereo;
        case SourceStatus::NoSpace:
            return InputStatus::NoSpace;
        case SourceStatus::TooLong:
            return InputStatus::TooLong;
        case SourceStatus::Interrupted:
            return InputStatus::Cancelled;
        case SourceStatus::ReadFailed:
        case SourceStatus::Changed:
            return InputStatus::Unreadable;
        case SourceStatus::NotAudio:
            break;
    }
    return InputStatus::NotAudio;
}

// Observes the decoding for its progress only: a refusal is the input's status.
class DecodingObserver : public JobObserver {
  public:
    explicit DecodingObserver(JobObserver& observer) : m_observer(observer) {}
    void Progress(double done) override { m_observer.Progress(done); }

  private:
    JobObserver& m_observer;
};

}  // namespace

std::optional<JobMessage> InputFile::Refusal() const {
    switch (m_status) {
        case InputStatus::NotAudio:
            return JobMessage{JobError::NotAudio};
        case InputStatus::NotStereo:
            return JobMessage{JobError::NotStereo};
        case InputStatus::Unreadable:
            return JobMessage{JobError::ReadInput, "it changed or could not be read while decoded"};
        case InputStatus::NoSpace:
            return JobMessage{JobError::NoDecodeSpace};
        case InputStatus::TooLong:
            return JobMessage{JobError::TooLongForWav};
        case InputStatus::CacheUnusable:
            return JobMessage{JobError::CacheUnusable, m_problem};
        case InputStatus::Ready:
        case InputStatus::Cancelled:
            break;
    }
    return std::nullopt;
}

InputFile PrepareInput(const fs::path& path, const Shared<int>* cancel, DiskSpace& disk,
                       JobObserver& observer) {
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
    DecodedSource source;
    if (const SourceStatus opened = source.Open(path, cancel); opened != SourceStatus::Ok) {
        input.m_status = StatusOf(opened);
        return input;
    }
    const std::optional<fs::path> cache = CacheFolder(input.m_problem);
    if (!cache) {
        input.m_status = InputStatus::CacheUnusable;
        return input;
    }
    RemoveStaleCacheFiles(*cache);
    input.m_status = StatusOf(source.Limit(disk.Available(*cache), true));
    const DiskSpace::Reservation reserved = disk.Reserve(*cache, source.DeclaredBytes());
    if (input.m_status != InputStatus::Ready) {
        return input;
    }
    if (!input.m_decoded.Create(*cache, "decoded")) {
        input.m_problem = cache->string() + " cannot be written: " + std::strerror(errno);
        input.m_status = InputStatus::CacheUnusable;
        return input;
    }
    WavSink sink;
    sink.Adopt(input.m_decoded.File());
    RenderSettings settings;
    settings.stop = cancel;
    WaveFormat format;
    DecodingObserver progress(observer);
    const RenderStatus rendered = Render(source, sink, settings, format, progress);
    input.m_status = rendered == RenderStatus::Stopped       ? InputStatus::Cancelled
                     : rendered == RenderStatus::WriteFailed ? InputStatus::NoSpace
                                                             : StatusOf(source.Status());
    if (input.m_status == InputStatus::Ready && !(sink.Commit() && input.m_decoded.Close())) {
        input.m_status = InputStatus::NoSpace;
    }
    if (input.m_status == InputStatus::Ready) {
        input.m_reads = input.m_decoded.Path();
        input.m_warning = source.Warning();
    } else {
        input.m_decoded.Remove();
    }
    return input;
}
