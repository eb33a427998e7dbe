#include "write_job_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "wave_job.h"

WriteJobStreams::WriteJobStreams(Job& job, std::uint64_t length) : m_job(job) {
    m_inputFd = ::fileno(job.input);
    const std::int64_t start = ::ftello(job.input);
    if (m_inputFd < 0 || start < 0) {
        job.readFailed = true;
        m_finished = true;
        return;
    }
    m_end = start + static_cast<std::int64_t>(length);
    ::posix_fadvise(m_inputFd, start, 0, POSIX_FADV_SEQUENTIAL);
    for (std::size_t i = 0; i < kPiecesAhead; ++i) {
        m_readFree.push_back(std::make_unique<Piece>());
        m_writeFree.push_back(std::make_unique<Piece>());
    }
    m_filling = std::make_unique<Piece>();

    // Bytes the walk has written stay ahead of the data: from here on the writes go to
    // the file itself, behind the stream's buffer.
    if (std::fflush(job.output) != 0) {
        job.writeFailed = true;
    }
    m_outputFd = ::fileno(job.output);
    try {
        StartReader(start);
        m_writer = std::thread(&WriteJobStreams::WriteBehind, this);
    } catch (const std::system_error&) {
        // No thread to spare: the job cannot go on without its reads and writes.
        StopReader();
        job.readFailed = true;
        m_finished = true;
    }
}

WriteJobStreams::~WriteJobStreams() {
    Finish();
}

void WriteJobStreams::StartReader(std::int64_t position) {
    m_stopReading = false;
    m_readDone = false;
    m_readError = 0;
    m_readPos = position;
    m_reader = std::thread(&WriteJobStreams::ReadAhead, this, position, m_end);
}

void WriteJobStreams::StopReader() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopReading = true;
    }
    m_changed.notify_all();
    if (m_reader.joinable()) {
        m_reader.join();
    }
    if (m_reading) {
        m_readFree.push_back(std::move(m_reading));
    }
    while (!m_readFull.empty()) {
        m_readFree.push_back(std::move(m_readFull.front()));
        m_readFull.pop_front();
    }
}

void WriteJobStreams::ReadAhead(std::int64_t position, std::int64_t end) {
    for (;;) {
        std::unique_ptr<Piece> piece;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopReading || !m_readFree.empty(); });
            if (m_stopReading) {
                return;
            }
            piece = std::move(m_readFree.back());
            m_readFree.pop_back();
        }
        const std::size_t want =
            position < end
                ? static_cast<std::size_t>(std::min<std::int64_t>(end - position, kPieceBytes))
                : 0;
        ssize_t got = 0;
        if (want > 0) {
            do {
                got = ::pread(m_inputFd, piece->bytes.get(), want, position);
            } while (got < 0 && errno == EINTR);
        }
        const int error = got < 0 ? errno : 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (got <= 0) {
                m_readError = error;
                m_readDone = true;
                m_readFree.push_back(std::move(piece));
            } else {
                piece->size = static_cast<std::size_t>(got);
                position += got;
                m_readFull.push_back(std::move(piece));
            }
        }
        m_changed.notify_all();
        if (got <= 0) {
            return;
        }
    }
}

bool WriteJobStreams::NextReadPiece() {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_reading) {
            m_readFree.push_back(std::move(m_reading));
            m_changed.notify_all();
        }
        m_changed.wait(lock, [this] { return !m_readFull.empty() || m_readDone; });
        if (m_readFull.empty()) {
            return false;
        }
        m_reading = std::move(m_readFull.front());
        m_readFull.pop_front();
    }
    m_readOffset = 0;
    return true;
}

std::size_t WriteJobStreams::Read(void* buffer, std::size_t n) {
    if (m_finished) {
        return 0;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t got = 0;
    while (got < n) {
        if (!m_reading || m_readOffset == m_reading->size) {
            if (!NextReadPiece()) {
                break;
            }
        }
        const std::size_t take = std::min(n - got, m_reading->size - m_readOffset);
        std::memcpy(out + got, m_reading->bytes.get() + m_readOffset, take);
        m_readOffset += take;
        got += take;
    }
    m_readPos += static_cast<std::int64_t>(got);
    if (got < n) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_readError != 0) {
            m_job.readFailed = true;
        }
    }
    return got;
}

void WriteJobStreams::Seek(std::int64_t position) {
    if (m_finished) {
        return;
    }
    StopReader();
    try {
        StartReader(position);
    } catch (const std::system_error&) {
        m_job.readFailed = true;
    }
}

void WriteJobStreams::Write(const void* buffer, std::size_t n) {
    if (m_finished) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_writeError != 0) {
            m_job.writeFailed = true;
            return;
        }
    }
    const auto* in = static_cast<const unsigned char*>(buffer);
    while (n > 0) {
        const std::size_t take = std::min(n, kPieceBytes - m_filling->size);
        std::memcpy(m_filling->bytes.get() + m_filling->size, in, take);
        m_filling->size += take;
        in += take;
        n -= take;
        if (m_filling->size == kPieceBytes) {
            QueueWritePiece();
        }
    }
}

void WriteJobStreams::QueueWritePiece() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_writeFull.push_back(std::move(m_filling));
    m_changed.notify_all();
    // The writer hands every piece back, written or, after a failure, dropped.
    m_changed.wait(lock, [this] { return !m_writeFree.empty(); });
    m_filling = std::move(m_writeFree.back());
    m_writeFree.pop_back();
}

void WriteJobStreams::WriteBehind() {
    // Starting the write-back of each piece at once spreads the disk's work over the job
    // instead of leaving it all to the final sync.
    std::int64_t offset = ::lseek(m_outputFd, 0, SEEK_CUR);
    int error = 0;
    for (;;) {
        std::unique_ptr<Piece> piece;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopWriting || !m_writeFull.empty(); });
            if (m_writeFull.empty()) {
                return;
            }
            piece = std::move(m_writeFull.front());
            m_writeFull.pop_front();
        }
        const unsigned char* data = piece->bytes.get();
        std::size_t left = piece->size;
        while (error == 0 && left > 0) {
            const ssize_t put = ::write(m_outputFd, data, left);
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                error = put < 0 ? errno : EIO;
                break;
            }
            data += put;
            left -= static_cast<std::size_t>(put);
        }
        if (error == 0 && offset >= 0 && m_job.syncOutput) {
            ::sync_file_range(m_outputFd, offset, static_cast<off_t>(piece->size),
                              SYNC_FILE_RANGE_WRITE);
            offset += static_cast<std::int64_t>(piece->size);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_writeError = error;
            piece->size = 0;
            m_writeFree.push_back(std::move(piece));
        }
        m_changed.notify_all();
    }
}

void WriteJobStreams::WaitForWrites() {
    if (!m_writer.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_filling && m_filling->size > 0) {
            m_writeFull.push_back(std::move(m_filling));
        }
        m_stopWriting = true;
    }
    m_changed.notify_all();
    m_writer.join();
    if (m_writeError != 0) {
        m_job.writeFailed = true;
    }
}

void WriteJobStreams::Finish() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    StopReader();
    WaitForWrites();
    // The walk reads on from the end of what the driver consumed.
    if (::fseeko(m_job.input, static_cast<off_t>(m_readPos), SEEK_SET) != 0) {
        m_job.readFailed = true;
    }
}
