#include "render/wav_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "container/wave_header.h"
#include "render/transfer_all.h"

constexpr std::size_t kBufferBytes = 1 << 20;

bool WavSink::Create(const std::filesystem::path& output, const std::stop_token& stop) {
    if (!m_output.Create(ResolveOutputTarget(output), stop)) {
        return false;
    }
    std::setvbuf(File(), nullptr, _IOFBF, kBufferBytes);
    return true;
}

bool WavSink::Prepare() {
    return !m_failed && (m_adopted != nullptr ? std::fflush(m_adopted) == 0 : m_output.Finish());
}

bool WavSink::Commit() {
    return m_adopted != nullptr ? Prepare() : FileSink::Commit();
}

bool WavSink::Put(const unsigned char* bytes, std::size_t n) {
    if (!m_failed && std::fwrite(bytes, 1, n, File()) != n) {
        m_failed = true;
        m_writeError = errno;
    }
    m_written += n;
    return !m_failed;
}

bool WavSink::Format(const WaveFormat& format) {
    if (!m_ownHeader || !m_header.empty()) {
        return true;
    }
    m_header = WaveHeader(static_cast<int>(format.sampleRate), *m_ownHeader);
    return Put(reinterpret_cast<const unsigned char*>(m_header.data()), m_header.size());
}

// The header's sizes, once the data is all there: a pipe cannot be gone back into.
bool WavSink::EndOfData() {
    if (m_header.empty()) {
        return true;
    }
    const std::string header = WithSizes(m_header, m_written - m_header.size());
    if (!m_failed && (std::fflush(File()) != 0 ||
                      !TransferAll(::pwrite, ::fileno(File()), header.data(), header.size(), 0))) {
        m_failed = true;
        m_writeError = errno;
        m_cannotGoBack = m_adopted == nullptr && !m_output.Seekable();
    }
    return !m_failed;
}

std::string WavSink::ErrorDetail() const {
    if (m_cannotGoBack) {
        return "a WAV of a decoded input fills in its sizes at its end, which a pipe cannot "
               "take: write it to a file, or use .flac";
    }
    return RenderSink::ErrorDetail();
}

// Segments are stored at their places in the output: a device or FIFO is written in order.
std::optional<FilePlace> WavSink::FramesPlace() {
    struct stat info {};
    std::FILE* file = File();
    if (m_failed || ::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode) ||
        std::fflush(file) != 0) {
        return std::nullopt;
    }
    return FilePlace{::fileno(file), static_cast<std::int64_t>(m_written)};
}

bool WavSink::SkipFrames(std::uint64_t bytes) {
    m_written += bytes;
    m_failed = m_failed || fseeko(File(), static_cast<off_t>(m_written), SEEK_SET) != 0;
    return !m_failed;
}

void WavSink::StartWriteBack() {
    std::FILE* file = File();
    if (m_failed || m_written == m_writtenBack || std::fflush(file) != 0) {
        return;
    }
    ::sync_file_range(::fileno(file), static_cast<off_t>(m_writtenBack),
                      static_cast<off_t>(m_written - m_writtenBack), SYNC_FILE_RANGE_WRITE);
    m_writtenBack = m_written;
}
