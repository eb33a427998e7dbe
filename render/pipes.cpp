#include "render/pipes.h"

#include <algorithm>
#include <cstring>

#include "render/blocking_queue.h"

namespace {

constexpr std::size_t kPieceBytes = 512 * 1024;
constexpr std::size_t kPieces = 4;

}  // namespace

struct PieceQueueItem {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(kPieceBytes);
    std::size_t size = 0;
};

// Pieces of bytes handed from one thread to another, a few at a time: the producer takes free
// pieces and puts them full, the consumer takes full pieces and releases them.
class PieceQueue {
  public:
    PieceQueue() : m_all(kPieces) {
        for (PieceQueueItem& piece : m_all) {
            m_free.Push(&piece);
        }
    }

    // A free piece, waiting for one; null once the consumer has stopped.
    PieceQueueItem* TakeFree() { return m_free.Pop().value_or(nullptr); }
    void Put(PieceQueueItem* piece) { m_full.Push(piece); }
    // The next full piece, waiting for one; null once the producer closed and all were taken.
    PieceQueueItem* TakeFull() { return m_full.Pop().value_or(nullptr); }
    void Release(PieceQueueItem* piece) {
        piece->size = 0;
        m_free.Push(piece);
    }
    // The producer has no more.
    void Close() { m_full.Close(); }
    // The consumer wants no more.
    void Stop() { m_free.Cancel(); }
    std::atomic<bool> failed{false};  // the consumer of a WriteBehind failed

  private:
    std::vector<PieceQueueItem> m_all;
    BlockingQueue<PieceQueueItem*> m_free;
    BlockingQueue<PieceQueueItem*> m_full;
};

ReadAhead::ReadAhead(ByteInput& input, std::uint64_t limit, std::function<double()> progress)
    : m_queue(std::make_unique<PieceQueue>()),
      m_thread(
          [this, &input, limit, progress = std::move(progress)] { Run(input, limit, progress); }) {}

ReadAhead::~ReadAhead() {
    m_queue->Stop();
    m_thread.join();
}

void ReadAhead::Run(ByteInput& input, std::uint64_t limit,
                    const std::function<double()>& progress) {
    while (limit > 0) {
        PieceQueueItem* piece = m_queue->TakeFree();
        if (piece == nullptr) {
            break;
        }
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(limit, kPieceBytes));
        const std::size_t got = input.Read(piece->bytes.data(), want);
        piece->size = got;
        limit -= got;
        if (progress) {
            m_progress.store(progress(), std::memory_order_relaxed);
        }
        if (got == 0) {
            m_queue->Release(piece);
            break;
        }
        m_queue->Put(piece);  // the piece is the reader's from here on
        if (got < want) {
            break;  // the input has ended
        }
    }
    m_queue->Close();
}

std::size_t ReadAhead::Read(unsigned char* buffer, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        if (m_reading == nullptr) {
            m_reading = m_queue->TakeFull();
            m_offset = 0;
            if (m_reading == nullptr) {
                break;
            }
        }
        const std::size_t take = std::min(n - got, m_reading->size - m_offset);
        std::memcpy(buffer + got, m_reading->bytes.data() + m_offset, take);
        m_offset += take;
        got += take;
        if (m_offset == m_reading->size) {
            m_queue->Release(m_reading);
            m_reading = nullptr;
        }
    }
    return got;
}

WriteBehind::WriteBehind(RenderSink& sink)
    : m_sink(sink), m_queue(std::make_unique<PieceQueue>()), m_thread([this] { Run(); }) {}

WriteBehind::~WriteBehind() {
    Finish();
}

void WriteBehind::Run() {
    while (PieceQueueItem* piece = m_queue->TakeFull()) {
        if (!m_queue->failed && !m_sink.Frames(piece->bytes.data(), piece->size)) {
            m_queue->failed = true;
        }
        if (!m_queue->failed && m_sink.WritesBackEarly()) {
            m_sink.StartWriteBack();
        }
        m_queue->Release(piece);
    }
}

bool WriteBehind::Frames(const unsigned char* bytes, std::size_t n) {
    while (n > 0 && !m_queue->failed) {
        if (m_filling == nullptr) {
            m_filling = m_queue->TakeFree();
        }
        const std::size_t take = std::min(n, kPieceBytes - m_filling->size);
        std::memcpy(m_filling->bytes.data() + m_filling->size, bytes, take);
        m_filling->size += take;
        bytes += take;
        n -= take;
        if (m_filling->size == kPieceBytes) {
            m_queue->Put(m_filling);
            m_filling = nullptr;
        }
    }
    return !m_queue->failed;
}

bool WriteBehind::Finish() {
    if (m_thread.joinable()) {
        if (m_filling != nullptr && m_filling->size > 0) {
            m_queue->Put(m_filling);
            m_filling = nullptr;
        }
        m_queue->Close();
        m_thread.join();
    }
    return !m_queue->failed;
}
