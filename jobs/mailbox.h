#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

// The latest of a value that one thread publishes and another takes whole at moments of its
// own: a reader never sees part of one change and part of another. The lock is held only to
// copy the value, and a reader that finds nothing new does not take it.
template <typename T>
class Mailbox {
  public:
    explicit Mailbox(const T& value = T{}) : m_value(value) {}

    // Applies change to the value as one publication.
    template <typename F>
    void Change(F&& change) {
        std::lock_guard lock(m_mutex);
        change(m_value);
        m_version.fetch_add(1, std::memory_order_release);
    }

    T Read() const {
        std::lock_guard lock(m_mutex);
        return m_value;
    }

    // Copies the value into into when it was published after the one seen last; seen starts
    // at 0, before any.
    void TakeNewer(T& into, std::uint64_t& seen) const {
        if (m_version.load(std::memory_order_acquire) == seen) {
            return;
        }
        std::lock_guard lock(m_mutex);
        into = m_value;
        seen = m_version.load(std::memory_order_relaxed);
    }

  private:
    mutable std::mutex m_mutex;
    T m_value;
    std::atomic<std::uint64_t> m_version{1};
};
