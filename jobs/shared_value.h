#pragma once

#include <atomic>

// A single value of 32 or 64 bits that the user-interface thread and a job thread read and write
// without a lock. Every access is whole and relaxed: no reader depends on two values
// changing together, and every reader polls.
template <typename T>
class Shared {
    static_assert(std::atomic<T>::is_always_lock_free);
    // Clang keeps the accesses inline (no call into libatomic) only for such values.
    static_assert(alignof(T) == sizeof(T), "a shared value is aligned to its size");

  public:
    constexpr Shared(T value = T{}) noexcept : m_value(value) {}
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    operator T() const noexcept { return m_value.load(std::memory_order_relaxed); }
    Shared& operator=(T value) noexcept {
        m_value.store(value, std::memory_order_relaxed);
        return *this;
    }
    T Get() const noexcept { return m_value.load(std::memory_order_relaxed); }

  private:
    std::atomic<T> m_value;
};
