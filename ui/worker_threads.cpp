#include "ui/worker_threads.h"

#include <algorithm>
#include <system_error>
#include <utility>

WorkerThreads::~WorkerThreads() {
    Close();
    JoinAll();
}

bool WorkerThreads::Start(std::function<void()> body) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed) {
        return false;
    }
    ReapFinishedLocked();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    try {
        std::thread thread([body = std::move(body), finished] {
            body();
            finished->store(true, std::memory_order_release);
        });
        m_workers.push_back(Worker{std::move(thread), std::move(finished)});
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WorkerThreads::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
}

bool WorkerThreads::Closed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
}

bool WorkerThreads::AllFinished() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::all_of(m_workers.begin(), m_workers.end(), [](const Worker& worker) {
        return worker.finished->load(std::memory_order_acquire);
    });
}

void WorkerThreads::JoinAll() {
    std::unique_lock<std::mutex> lock(m_mutex);
    std::vector<Worker> workers = std::exchange(m_workers, {});
    lock.unlock();
    const std::thread::id self = std::this_thread::get_id();
    for (Worker& worker : workers) {
        if (worker.thread.get_id() == self) {
            worker.thread.detach();  // joining itself would throw
        } else if (worker.thread.joinable()) {
            worker.thread.join();
        }
    }
}

void WorkerThreads::ReapFinishedLocked() {
    const std::thread::id self = std::this_thread::get_id();
    auto keep = [self](const Worker& worker) {
        return !worker.finished->load(std::memory_order_acquire) || worker.thread.get_id() == self;
    };
    const auto finished = std::partition(m_workers.begin(), m_workers.end(), keep);
    std::for_each(finished, m_workers.end(), [](Worker& worker) { worker.thread.join(); });
    m_workers.erase(finished, m_workers.end());
}
