#pragma once

// A write job's sample data read ahead and written behind on threads of their own, so that
// the processing never waits for a file, a decoder or an encoder. At most a few pieces wait
// on either side, so memory stays flat.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "container/wave_walk.h"
#include "render/render_sink.h"

class PieceQueue;
struct PieceQueueItem;

// Reads up to limit bytes of input on a thread of its own; Read returns what reads of the
// input would, in order. The input is the thread's until this object goes.
class ReadAhead : public ByteInput {
  public:
    // progress, called on the reading thread after each piece, tells how far the input is.
    ReadAhead(ByteInput& input, std::uint64_t limit, std::function<double()> progress = {});
    ~ReadAhead() override;
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    std::size_t Read(unsigned char* buffer, std::size_t n) override;
    double Progress() const { return m_progress.load(std::memory_order_relaxed); }

  private:
    void Run(ByteInput& input, std::uint64_t limit, const std::function<double()>& progress);

    std::unique_ptr<PieceQueue> m_queue;
    std::atomic<double> m_progress{0};
    PieceQueueItem* m_reading = nullptr;  // being consumed by Read
    std::size_t m_offset = 0;
    std::thread m_thread;
};

// Hands frames to a sink on a thread of its own. A failure reaches the caller at a later
// call or at Finish.
class WriteBehind {
  public:
    explicit WriteBehind(RenderSink& sink);
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    bool Frames(const unsigned char* bytes, std::size_t n);
    // Waits until everything was written; false when anything failed.
    bool Finish();

  private:
    void Run();

    RenderSink& m_sink;
    std::unique_ptr<PieceQueue> m_queue;
    PieceQueueItem* m_filling = nullptr;  // being filled by Frames
    std::thread m_thread;
};
