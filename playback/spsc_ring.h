#pragma once

#include <array>
#include <atomic>
#include <cstddef>

// A fixed-size queue of pointers between exactly one producer thread and one consumer
// thread. Push and Pop never lock, allocate or wait, so either side may be a real-time
// audio callback.
template <typename T, std::size_t Capacity>
class SpscRing {
    static_assert(Capacity > 0 && (Capacity & (Capacity - 1)) == 0, "a power of two");

  public:
    // False when the ring is full.
    bool Push(T* item) {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail - m_head.load(std::memory_order_acquire) == Capacity) {
            return false;
        }
        m_items[tail & (Capacity - 1)] = item;
        m_tail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // How many items are queued; exact on the consumer's side.
    std::size_t Size() const {
        return m_tail.load(std::memory_order_acquire) - m_head.load(std::memory_order_relaxed);
    }

    // Null when the ring is empty.
    T* Pop() {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        if (head == m_tail.load(std::memory_order_acquire)) {
            return nullptr;
        }
        T* item = m_items[head & (Capacity - 1)];
        m_head.store(head + 1, std::memory_order_release);
        return item;
    }

  private:
    std::array<T*, Capacity> m_items{};
    alignas(64) std::atomic<std::size_t> m_head{0};
    alignas(64) std::atomic<std::size_t> m_tail{0};
};
