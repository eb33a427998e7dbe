#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct Job;

// The sample data of a write job, read ahead and written behind on threads of their own,
// so that the processing never waits for a file. Reads return what plain reads of the
// input would return at the same place, short at its end; writes land in the output in
// order. A failure of either file reaches the job at the first call after it happened.
// Finish (or the destructor) waits for every write and leaves the input where plain reads
// would have left it, so the container walk goes on as if the streams had never been.
class WriteJobStreams {
  public:
    // The input is positioned at the first byte of a "data" body of the given length.
    WriteJobStreams(Job& job, std::uint64_t length);
    ~WriteJobStreams();
    WriteJobStreams(const WriteJobStreams&) = delete;
    WriteJobStreams& operator=(const WriteJobStreams&) = delete;

    std::size_t Read(void* buffer, std::size_t n);
    void Write(const void* buffer, std::size_t n);
    // Moves the input to an absolute position.
    void Seek(std::int64_t position);
    void Finish();

    static constexpr std::size_t kPieceBytes = 512 * 1024;
    static constexpr std::size_t kPiecesAhead = 4;         // per direction
    static constexpr std::uint64_t kWorthBytes = 4 << 20;  // smaller data goes the plain way

  private:
    struct Piece {
        std::unique_ptr<unsigned char[]> bytes{new unsigned char[kPieceBytes]};
        std::size_t size = 0;
    };

    // Input side.
    void StartReader(std::int64_t position);
    void StopReader();
    void ReadAhead(std::int64_t position, std::int64_t end);
    bool NextReadPiece();

    // Output side.
    void QueueWritePiece();
    void WriteBehind();
    void WaitForWrites();

    Job& m_job;
    int m_inputFd = -1;
    int m_outputFd = -1;
    std::int64_t m_end = 0;      // read no further than the end of the data body
    std::int64_t m_readPos = 0;  // input position of the next byte Read returns
    bool m_finished = false;

    std::mutex m_mutex;
    std::condition_variable m_changed;

    std::thread m_reader;
    bool m_stopReading = false;
    bool m_readDone = false;  // the reader met the end of the input or of the data
    int m_readError = 0;
    std::deque<std::unique_ptr<Piece>> m_readFull;
    std::vector<std::unique_ptr<Piece>> m_readFree;
    std::unique_ptr<Piece> m_reading;  // being consumed by Read
    std::size_t m_readOffset = 0;

    std::thread m_writer;
    bool m_stopWriting = false;
    int m_writeError = 0;
    std::deque<std::unique_ptr<Piece>> m_writeFull;
    std::vector<std::unique_ptr<Piece>> m_writeFree;
    std::unique_ptr<Piece> m_filling;  // being filled by Write
};
