#include "stop_on_signals.h"
#include "window_state.h"

#include <pthread.h>

#include <cstdlib>
#include <ctime>

StopOnSignals::StopOnSignals(WindowState& state) : m_state(state) {
    sigemptyset(&m_signals);
    sigaddset(&m_signals, SIGINT);
    sigaddset(&m_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_signals, &m_previousMask);
    m_thread = std::thread(&StopOnSignals::Watch, this);
}

StopOnSignals::~StopOnSignals() {
    m_finished.store(true, std::memory_order_relaxed);
    m_thread.join();
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
}

void StopOnSignals::Watch() {
    const timespec poll{0, 100'000'000};
    bool stopping = false;
    while (!m_finished.load(std::memory_order_relaxed)) {
        const int signal = sigtimedwait(&m_signals, nullptr, &poll);
        if (signal <= 0) {
            continue;
        }
        if (stopping) {
            std::_Exit(128 + signal);
        }
        stopping = true;
        m_state.m_bStopRequest = 1;
    }
}
