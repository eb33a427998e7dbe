#pragma once

#include <cstddef>
#include <functional>
#include <memory>

// The worker threads that write jobs share: the segments of one file, or the files of a
// batch. Tasks run in the order they were submitted, as threads become free.
class RenderPool {
  public:
    // threads 0: one for each core.
    explicit RenderPool(int threads = 0);
    ~RenderPool();
    RenderPool(const RenderPool&) = delete;
    RenderPool& operator=(const RenderPool&) = delete;

    int Threads() const { return m_threads; }
    static int CoreCount();
    // Whether one more thread, beside busy ones at work, stays within the pool's threads
    // and the cores: room for a job's read-ahead and write-behind.
    bool HasSpareThread(std::size_t busy) const;

    // Runs task on a pool thread; returns at once.
    void Submit(std::function<void()> task);
    // Runs body(0) .. body(count - 1) on the pool, the calling thread taking part; returns
    // once every call has returned.
    void ForEach(std::size_t count, const std::function<void(std::size_t)>& body);

  private:
    struct Workers;
    int m_threads;
    std::unique_ptr<Workers> m_impl;
};

// How many threads the process's pools may have in all: set once, in main, for as long as it
// runs; without it a pool gets one thread fewer than the cores.
class ThreadAllowance {
  public:
    explicit ThreadAllowance(int threads);
    ~ThreadAllowance();
    ThreadAllowance(const ThreadAllowance&) = delete;
    ThreadAllowance& operator=(const ThreadAllowance&) = delete;

  private:
    struct Control;
    std::unique_ptr<Control> m_control;
};
