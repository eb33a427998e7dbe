#pragma once

// The meeting point of the window's thread and the job workers: a worker's call that
// touches the window is carried out on the window's thread while the worker waits, and the
// window does not go away before every worker has ended.

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <atomic>

#include "ui/worker_threads.h"

class UiThreadBridge {
  public:
    // owner: the object whose thread is the window's thread.
    explicit UiThreadBridge(QObject& owner) : m_owner(owner) {}

    bool OnUiThread() const { return QThread::currentThread() == m_owner.thread(); }
    WorkerThreads& Workers() { return m_workers; }
    const WorkerThreads& Workers() const { return m_workers; }

    // Runs f on the window's thread and waits for it; skipped once the window closes.
    template <typename F>
    void Run(F&& f);

    // Refuses new workers and waits for the running ones, carrying out what they ask of the
    // window meanwhile; user input waits. From then on Run does nothing on a worker.
    void ShutDown();

  private:
    QObject& m_owner;
    std::atomic<bool> m_closing{false};
    WorkerThreads m_workers;
};

template <typename F>
void UiThreadBridge::Run(F&& f) {
    if (OnUiThread()) {
        f();
        return;
    }
    if (m_closing) {
        return;
    }
    // Qt's hand-over between the threads is invisible to ThreadSanitizer; this pair of
    // release/acquire steps states the same order in a form it sees.
    std::atomic<bool> handedOver{true};
    std::atomic<bool> carriedOut{false};
    handedOver.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        &m_owner,
        [this, &f, &handedOver, &carriedOut] {
            handedOver.load(std::memory_order_acquire);
            if (!m_closing) {
                f();
            }
            carriedOut.store(true, std::memory_order_release);
        },
        Qt::BlockingQueuedConnection);
    carriedOut.load(std::memory_order_acquire);
}
