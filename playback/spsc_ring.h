#pragma once

#include <array>
#include <atomic>
#include <cstddef>

// A fixed ring of items handed in order from exactly one writer thread to one reader thread:
// the writer fills Back() and pushes it, the reader takes Front() and pops it once done with
// it. Neither side locks, allocates or waits, so either may be a real-time audio callback.
template <typename T, std::size_t Capacity>
class SpscRing {
  public:
    // Items pushed and not yet popped.
    std::size_t Size() const {
        return m_tail.load(std::memory_order_acquire) - m_head.load(std::memory_order_acquire);
    }

    // The writer's next item, while Size() is below Capacity.
    T& Back() { return m_items[m_tail.load(std::memory_order_relaxed) % Capacity]; }
    void Push() {
        m_tail.store(m_tail.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // The reader's next item; null while none is pushed.
    T* Front() {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        return head == m_tail.load(std::memory_order_acquire) ? nullptr : &m_items[head % Capacity];
    }
    void Pop() {
        m_head.store(m_head.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Empties the ring; only while neither side uses it.
    void Clear() {
        m_head.store(0);
        m_tail.store(0);
    }
    std::array<T, Capacity>& Items() { return m_items; }

  private:
    std::array<T, Capacity> m_items{};
    alignas(64) std::atomic<std::size_t> m_head{0};
    alignas(64) std::atomic<std::size_t> m_tail{0};
};
