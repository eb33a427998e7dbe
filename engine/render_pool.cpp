#include "render_pool.h"

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <thread>

struct RenderPool::Workers {
    explicit Workers(int n)
        // The thread that waits for a job's segments takes no part in them, so the pool
        // needs n workers of its own besides it.
        : parallelism(tbb::global_control::max_allowed_parallelism,
                      static_cast<std::size_t>(n) + 1),
          arena(n, 0) {}

    tbb::global_control parallelism;
    tbb::task_arena arena;
};

RenderPool::RenderPool(int threads)
    : m_threads(threads > 0 ? threads : CoreCount()),
      m_impl(std::make_unique<Workers>(m_threads)) {}

RenderPool::~RenderPool() = default;

int RenderPool::CoreCount() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// ThreadSanitizer does not see oneTBB's own synchronisation: the pool's mutex, taken on
// both sides of every hand-over to and from a task, states it in a form it sees.
void RenderPool::HandOver() {
    const std::lock_guard<std::mutex> lock(m_handOver);
}

void RenderPool::Submit(std::function<void()> task) {
    HandOver();
    m_impl->arena.enqueue([this, task = std::move(task)] {
        HandOver();
        task();
    });
}

void RenderPool::ForEach(std::size_t count, const std::function<void(std::size_t)>& body) {
    HandOver();
    m_impl->arena.execute([&] {
        tbb::parallel_for(
            tbb::blocked_range<std::size_t>(0, count, 1),
            [&](const tbb::blocked_range<std::size_t>& range) {
                HandOver();
                for (std::size_t i = range.begin(); i != range.end(); ++i) {
                    body(i);
                }
                HandOver();
            },
            tbb::simple_partitioner());
    });
    HandOver();
}
