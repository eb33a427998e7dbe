#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

// Items handed from threads to threads, oldest first: Pop waits for one. Once closed, Pop
// hands out what is left and then nothing; once cancelled, nothing at once.
template <typename T>
class BlockingQueue {
  public:
    void Push(T item) {
        Change([&] { m_items.push_back(std::move(item)); });
    }
    std::optional<T> Pop() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_cancelled || m_closed || !m_items.empty(); });
        if (m_cancelled || m_items.empty()) {
            return std::nullopt;
        }
        T item = std::move(m_items.front());
        m_items.pop_front();
        return item;
    }
    void Close() {
        Change([this] { m_closed = true; });
    }
    void Cancel() {
        Change([this] { m_cancelled = true; });
    }

  private:
    template <typename Update>
    void Change(Update update) {
        {
            const std::lock_guard lock(m_mutex);
            update();
        }
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<T> m_items;
    bool m_closed = false;
    bool m_cancelled = false;
};
