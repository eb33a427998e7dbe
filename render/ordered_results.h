#pragma once

// The results of tasks run side by side on a pool, taken in the order the tasks were given:
// what a stream cut into pieces for the pool's threads needs to come out in order.

#include <chrono>
#include <cstddef>
#include <deque>
#include <future>
#include <memory>
#include <utility>

#include "render/render_pool.h"

template <typename Result>
class OrderedResults {
  public:
    // pool null: each task runs at once, on the calling thread.
    explicit OrderedResults(RenderPool* pool) : m_pool(pool) {}
    // Waits for the tasks still running: they may use their owner's members.
    ~OrderedResults() {
        for (std::future<Result>& running : m_running) {
            running.wait();
        }
    }
    OrderedResults(const OrderedResults&) = delete;
    OrderedResults& operator=(const OrderedResults&) = delete;

    // task: a copyable callable returning a Result.
    template <typename Task>
    void Submit(Task task) {
        auto promise = std::make_shared<std::promise<Result>>();
        m_running.push_back(promise->get_future());
        auto run = [promise, task = std::move(task)]() mutable { promise->set_value(task()); };
        if (m_pool != nullptr) {
            m_pool->Submit(std::move(run));
        } else {
            run();
        }
    }

    std::size_t Pending() const { return m_running.size(); }
    bool OldestReady() const {
        return m_running.front().wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }
    // The oldest task's result, once it is there.
    Result TakeOldest() {
        Result result = m_running.front().get();
        m_running.pop_front();
        return result;
    }

  private:
    RenderPool* m_pool;
    std::deque<std::future<Result>> m_running;
};
