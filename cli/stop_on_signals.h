#pragma once

#include <signal.h>

#include <stop_token>
#include <thread>

// Turns SIGINT and SIGTERM into a stop request. The signals are blocked in this thread
// and in every thread started after it (PortAudio's included) and taken by a watcher
// thread, so nothing runs in signal context. A second signal ends the program at once.
class StopOnSignals {
  public:
    explicit StopOnSignals(std::stop_source& stop);

    ~StopOnSignals();

    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

  private:
    void Watch(const std::stop_token& finished);
    // The next signal taken, or 0 when there was none (or the watcher was woken to end).
    int NextSignal();

    std::stop_source& m_stop;
    sigset_t m_signals{};
    sigset_t m_previousMask{};
    int m_signalFd = -1;
    int m_wakeFd = -1;  // written once the watcher is to end
    std::jthread m_thread;
};
