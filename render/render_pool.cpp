#include "render/render_pool.h"

#include <algorithm>
#include <thread>

// ThreadSanitizer cannot see the synchronisation inside oneTBB, which is not built with
// it, and reports every hand-over of a task as a race. Built with it, the pool runs its
// tasks on threads of its own instead, so that the engine's own code is still checked.
#if defined(__SANITIZE_THREAD__)
#define RENDER_POOL_OWN_THREADS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RENDER_POOL_OWN_THREADS 1
#endif
#endif

#if defined(RENDER_POOL_OWN_THREADS)

#include <latch>
#include <vector>

#include "render/blocking_queue.h"

struct RenderPool::Workers {
    explicit Workers(int n) {
        for (int i = 0; i < n; ++i) {
            threads.emplace_back([this] {
                while (const auto task = tasks.Pop()) {
                    (*task)();
                }
            });
        }
    }
    // The tasks submitted still run.
    ~Workers() {
        tasks.Close();
        for (std::thread& t : threads) {
            t.join();
        }
    }

    BlockingQueue<std::function<void()>> tasks;
    std::vector<std::thread> threads;
};

struct ThreadAllowance::Control {
    explicit Control(int /*threads*/) {}
};

void RenderPool::Submit(std::function<void()> task) {
    m_impl->tasks.Push(std::move(task));
}

void RenderPool::ForEach(std::size_t count, const std::function<void(std::size_t)>& body) {
    std::latch finished(static_cast<std::ptrdiff_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        m_impl->tasks.Push([&, i] {
            body(i);
            finished.count_down();
        });
    }
    finished.wait();
}

#else

#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>
#include <condition_variable>
#include <mutex>

struct RenderPool::Workers {
    explicit Workers(int n) : arena(n, 0) {}
    // The arena does not wait for what was enqueued: a task that has handed on its result
    // may still hold its captures when the process ends, and they would count as leaked.
    ~Workers() {
        std::unique_lock<std::mutex> lock(mutex);
        idle.wait(lock, [this] { return pending == 0; });
    }

    void Started() {
        const std::lock_guard<std::mutex> lock(mutex);
        ++pending;
    }
    void Finished() {
        const std::lock_guard<std::mutex> lock(mutex);
        if (--pending == 0) {
            idle.notify_all();
        }
    }

    // The arena calls a task as const; the task is dropped, with its captures, before the
    // pool hears that it is done.
    struct Task {
        mutable std::function<void()> run;
        Workers* workers;

        void operator()() const {
            run();
            run = nullptr;
            workers->Finished();
        }
    };

    tbb::task_arena arena;
    std::mutex mutex;
    std::condition_variable idle;
    std::size_t pending = 0;  // submitted and not yet gone with what they hold
};

struct ThreadAllowance::Control {
    // The thread that waits for a job's segments takes no part in them, so a pool of n
    // threads needs n workers besides it.
    explicit Control(int threads)
        : parallelism(tbb::global_control::max_allowed_parallelism,
                      static_cast<std::size_t>(threads) + 1) {}
    tbb::global_control parallelism;
};

void RenderPool::Submit(std::function<void()> task) {
    m_impl->Started();
    m_impl->arena.enqueue(Workers::Task{std::move(task), m_impl.get()});
}

void RenderPool::ForEach(std::size_t count, const std::function<void(std::size_t)>& body) {
    // One index at a time, so that long calls spread over every thread.
    m_impl->arena.execute(
        [&] { tbb::parallel_for(std::size_t{0}, count, body, tbb::simple_partitioner()); });
}

#endif

RenderPool::RenderPool(int threads)
    : m_threads(threads > 0 ? threads : CoreCount()),
      m_impl(std::make_unique<Workers>(m_threads)) {}

RenderPool::~RenderPool() = default;

ThreadAllowance::ThreadAllowance(int threads)
    : m_control(std::make_unique<Control>(std::max(threads, RenderPool::CoreCount()))) {}

ThreadAllowance::~ThreadAllowance() = default;

int RenderPool::CoreCount() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

bool RenderPool::HasSpareThread(std::size_t busy) const {
    return busy < static_cast<std::size_t>(std::min(m_threads, CoreCount()));
}
