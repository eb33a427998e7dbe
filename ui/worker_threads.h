#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The window's worker threads. Every thread is joined: those that have ended when the next
// one starts, and all of them before the window goes away. Once closed, no thread starts.
class WorkerThreads {
  public:
    WorkerThreads() = default;
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    ~WorkerThreads();

    // Runs body on a new thread; false (and body not run) once closed or when the thread
    // cannot be created. A worker may start its successor.
    bool Start(std::function<void()> body);
    // Refuses every later start.
    void Close();
    bool Closed() const;
    // Whether every started thread has finished its body.
    bool AllFinished() const;
    // Joins every thread; call it where no worker waits on the caller.
    void JoinAll();

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    // Joins the finished threads other than the calling one. Needs m_mutex held.
    void ReapFinishedLocked();

    mutable std::mutex m_mutex;
    std::vector<Worker> m_workers;
    bool m_closed = false;
};
