#pragma once

#include <condition_variable>
#include <mutex>

// An event that releases exactly one waiter per Set and then clears itself.
class AutoResetEvent {
  public:
    explicit AutoResetEvent(bool signalled = false) : m_signalled(signalled) {}

    void Set() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_signalled = true;
        }
        m_cv.notify_one();
    }

    void Wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return m_signalled; });
        m_signalled = false;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_signalled;
};
