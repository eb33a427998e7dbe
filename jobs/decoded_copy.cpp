#include "jobs/decoded_copy.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "render/decoded_source.h"
#include "render/disk_space.h"
#include "render/render.h"
#include "render/wav_sink.h"

namespace fs = std::filesystem;

namespace {

// How often a wait looks at the user's requests, which come without a notification.
constexpr std::chrono::milliseconds kRequestPoll{5};
constexpr std::chrono::milliseconds kProgressPoll{20};

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

}  // namespace

std::optional<JobMessage> InputRefusal(InputStatus status, const std::string& problem) {
    switch (status) {
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
            return JobMessage{JobError::CacheUnusable, problem};
        case InputStatus::Ready:
        case InputStatus::Cancelled:
            break;
    }
    return std::nullopt;
}

// The copy: a WAV of its own header, every piece flushed to the file before the readers hear
// of it.
class DecodedCopy::Sink : public WavSink {
  public:
    Sink(AudioTags tags, std::FILE* file, std::uint64_t declaredBytes, DecodedCopy& copy)
        : WavSink(std::move(tags)), m_file(file), m_declaredBytes(declaredBytes), m_copy(copy) {
        Adopt(file);
    }

    bool Format(const WaveFormat& format) override {
        m_copy.Started(m_declaredBytes, format.byteRate);
        return WavSink::Format(format) && Publish(HeaderBytes(), true);
    }
    bool Frames(const unsigned char* bytes, std::size_t n) override {
        return WavSink::Frames(bytes, n) && Publish(n, false);
    }

  private:
    bool Publish(std::size_t n, bool header) {
        if (std::fflush(m_file) != 0) {
            return false;
        }
        m_copy.Published(n, header);
        return true;
    }

    std::FILE* m_file;
    std::uint64_t m_declaredBytes;
    DecodedCopy& m_copy;
};

class DecodedCopy::ProgressOf : public JobObserver {
  public:
    ProgressOf(DecodedCopy& copy, JobObserver* observer) : m_copy(copy), m_observer(observer) {}
    void Progress(double done) override {
        m_copy.m_progress.store(done, std::memory_order_relaxed);
        if (m_observer != nullptr) {
            m_observer->Progress(done);
        }
    }

  private:
    DecodedCopy& m_copy;
    JobObserver* m_observer;
};

void DecodedCopy::Decode(const fs::path& input, DiskSpace& disk, JobObserver* observer) {
    DecodedSource source;
    InputStatus status = StatusOf(source.Open(input, m_cancel.get_token()));
    std::string problem;
    std::optional<fs::path> cache;
    if (status == InputStatus::Ready) {
        cache = CacheFolder(problem);
        status = cache ? status : InputStatus::CacheUnusable;
    }
    DiskSpace::Reservation reserved;
    if (status == InputStatus::Ready) {
        RemoveStaleCacheFiles(*cache);
        status = StatusOf(source.Limit(disk.Available(*cache), true));
        reserved = disk.Reserve(*cache, source.DeclaredBytes());
    }
    if (status == InputStatus::Ready) {
        status = Write(source, *cache, observer, problem);
    }
    Finish(status, std::move(problem),
           status == InputStatus::Ready ? source.Warning() : std::nullopt);
}

InputStatus DecodedCopy::Write(DecodedSource& source, const fs::path& folder, JobObserver* observer,
                               std::string& problem) {
    if (!m_file.Create(folder, "decoded")) {
        problem = folder.string() + " cannot be written: " + std::strerror(errno);
        return InputStatus::CacheUnusable;
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_path = m_file.Path();
    }
    Sink sink(source.Tags(), m_file.File(), source.DeclaredBytes(), *this);
    RenderSettings settings;
    settings.stop = m_cancel.get_token();
    WaveFormat format;
    ProgressOf progress(*this, observer);
    const RenderStatus rendered = Render(source, sink, settings, format, progress);
    InputStatus status = rendered == RenderStatus::Stopped       ? InputStatus::Cancelled
                         : rendered == RenderStatus::WriteFailed ? InputStatus::NoSpace
                                                                 : StatusOf(source.Status());
    if (status == InputStatus::Ready && !(sink.Commit() && m_file.Close())) {
        status = InputStatus::NoSpace;
    }
    if (status != InputStatus::Ready) {
        m_file.Remove();  // half a copy is of no use to anyone
    }
    return status;
}

void DecodedCopy::Published(std::size_t bytes, bool header) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_written += bytes;
        m_headerBytes += header ? bytes : 0;
    }
    m_changed.notify_all();
}

void DecodedCopy::Started(std::uint64_t declaredBytes, std::uint32_t byteRate) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_declaredBytes = declaredBytes;
    m_byteRate = byteRate;
}

void DecodedCopy::Finish(InputStatus status, std::string problem,
                         std::optional<JobMessage> warning) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_status = status;
        m_problem = std::move(problem);
        m_warning = std::move(warning);
        m_ended = true;
        if (status != InputStatus::Ready) {
            m_path.clear();
        }
    }
    m_progress.store(1.0, std::memory_order_relaxed);
    m_changed.notify_all();
}

fs::path DecodedCopy::Path() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_ended ? m_path : fs::path();
}

// While the decoder runs, the exact length is not known: the positions (1/110 of the data a
// step) are counted on the length the stream declares, which the exact one will differ from
// by a few frames, where counting on what is decoded so far would stretch every step as the
// decoding went on.
WaveLength DecodedCopy::Length() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const bool exact = m_ended && m_status == InputStatus::Ready;
    return {exact ? DataBytes() : std::max(m_declaredBytes, DataBytes()), m_byteRate};
}

bool DecodedCopy::WaitForEnd(const std::stop_token& cancel, JobObserver& observer) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_ended) {
        if (cancel.stop_requested()) {
            return false;
        }
        lock.unlock();
        observer.Progress(Progress());
        lock.lock();
        m_changed.wait_for(lock, kProgressPoll, [this] { return m_ended; });
    }
    return true;
}

// Reads the copy through the C library's buffer, never before the file holds what is read.
class DecodedCopy::ReaderOf : public PlayInput {
  public:
    ReaderOf(std::shared_ptr<const DecodedCopy> copy, std::stop_token stop, const Shared<int>* seek)
        : m_copy(std::move(copy)), m_stop(std::move(stop)), m_seek(seek) {}

    std::size_t Read(unsigned char* buffer, std::size_t n) override;
    void Seek(std::int64_t position) override {
        m_position = position;
        if (m_open) {
            m_file.Seek(position);
        }
    }
    std::int64_t Tell() const override { return m_position; }
    bool Failed() const override { return m_failed || m_file.Failed(); }
    JobMessage Failure() const override {
        return InputRefusal(m_copy->Status(), m_copy->Problem())
            .value_or(JobMessage{JobError::ReadInput});
    }
    std::uint64_t DataLength(std::uint64_t walked, std::uint64_t position) override;

  private:
    enum class Wait { Held, Ended, Interrupted, Refused };
    Wait WaitFor(std::uint64_t end) const;
    bool OpenFile();

    bool Seeking() const { return m_seek != nullptr && m_seek->Get() != 0; }

    std::shared_ptr<const DecodedCopy> m_copy;
    std::stop_token m_stop;
    const Shared<int>* m_seek;
    PlayFile m_file;
    bool m_open = false;
    bool m_failed = false;
    std::int64_t m_position = 0;
};

// Until the file holds end bytes or the decoding has ended. A stop ends the wait, and so does
// a seek while sample data is awaited (never the header, which the walk must have).
DecodedCopy::ReaderOf::Wait DecodedCopy::ReaderOf::WaitFor(std::uint64_t end) const {
    const DecodedCopy& copy = *m_copy;
    std::unique_lock<std::mutex> lock(copy.m_mutex);
    for (;;) {
        if (copy.m_ended) {
            return copy.m_status == InputStatus::Ready       ? Wait::Ended
                   : copy.m_status == InputStatus::Cancelled ? Wait::Interrupted
                                                             : Wait::Refused;
        }
        if (copy.m_written >= end) {
            return Wait::Held;
        }
        const bool inData =
            copy.m_headerBytes > 0 && static_cast<std::uint64_t>(m_position) >= copy.m_headerBytes;
        if (m_stop.stop_requested() || (inData && Seeking())) {
            return Wait::Interrupted;
        }
        copy.m_changed.wait_for(lock, kRequestPoll);
    }
}

bool DecodedCopy::ReaderOf::OpenFile() {
    const std::lock_guard<std::mutex> lock(m_copy->m_mutex);
    m_open = m_file.Open(m_copy->m_path);
    if (m_open && m_position != 0) {
        m_file.Seek(m_position);
    }
    return m_open;
}

std::size_t DecodedCopy::ReaderOf::Read(unsigned char* buffer, std::size_t n) {
    if (Failed() || n == 0) {
        return 0;
    }
    switch (WaitFor(static_cast<std::uint64_t>(m_position) + n)) {
        case Wait::Refused:
            m_failed = true;
            return 0;
        case Wait::Interrupted:
            return 0;
        case Wait::Held:
        case Wait::Ended:
            break;
    }
    if (!m_open && !OpenFile()) {
        m_failed = true;
        return 0;
    }
    const std::size_t got = m_file.Read(buffer, n);
    m_position += static_cast<std::int64_t>(got);
    return got;
}

// The header of a copy being written says nothing yet: the copy knows the length.
std::uint64_t DecodedCopy::ReaderOf::DataLength(std::uint64_t /*walked*/, std::uint64_t position) {
    const DecodedCopy& copy = *m_copy;
    std::unique_lock<std::mutex> lock(copy.m_mutex);
    for (;;) {
        const std::uint64_t decoded = copy.DataBytes();
        if (copy.m_ended && copy.m_status == InputStatus::Ready) {
            return decoded;
        }
        // A stream that holds more than it declares goes on past its declared length.
        const std::uint64_t length = std::max(copy.m_declaredBytes, decoded);
        if (copy.m_ended) {
            // Refused after the playback had it all: the end of the data is no end of the job.
            m_failed = copy.m_status != InputStatus::Cancelled;
            return length;
        }
        if (length > position || m_stop.stop_requested() || Seeking()) {
            return length;
        }
        copy.m_changed.wait_for(lock, kRequestPoll);
    }
}

std::unique_ptr<PlayInput> DecodedCopy::Reader(std::shared_ptr<const DecodedCopy> copy,
                                               std::stop_token stop, const Shared<int>* seek) {
    return std::make_unique<ReaderOf>(std::move(copy), std::move(stop), seek);
}
