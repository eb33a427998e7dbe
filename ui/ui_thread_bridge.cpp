#include "ui/ui_thread_bridge.h"

#include <QCoreApplication>
#include <chrono>
#include <thread>

void UiThreadBridge::ShutDown() {
    m_closing = true;
    m_workers.Close();
    // A worker may be waiting for this thread to carry out one of its calls: keep handling
    // those until every worker has ended.
    while (!m_workers.AllFinished()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_workers.JoinAll();
}
