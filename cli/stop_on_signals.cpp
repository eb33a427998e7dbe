#include "cli/stop_on_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

StopOnSignals::StopOnSignals(std::stop_source& stop) : m_stop(stop) {
    sigemptyset(&m_signals);
    sigaddset(&m_signals, SIGINT);
    sigaddset(&m_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_signals, &m_previousMask);
    m_signalFd = ::signalfd(-1, &m_signals, SFD_CLOEXEC);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC);
    m_thread = std::jthread([this](const std::stop_token& finished) { Watch(finished); });
}

StopOnSignals::~StopOnSignals() {
    m_thread.request_stop();
    // The watcher wakes at once instead of at its next poll, so a job ends without delay.
    const std::uint64_t one = 1;
    if (m_wakeFd >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
    }
    m_thread.join();
    for (const int fd : {m_signalFd, m_wakeFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
}

int StopOnSignals::NextSignal() {
    if (m_signalFd < 0 || m_wakeFd < 0) {
        const timespec poll{0, 100'000'000};
        return sigtimedwait(&m_signals, nullptr, &poll);
    }
    pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN) != 0) {
        return 0;
    }
    signalfd_siginfo info{};
    if (::read(m_signalFd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
        return 0;
    }
    return static_cast<int>(info.ssi_signo);
}

void StopOnSignals::Watch(const std::stop_token& finished) {
    bool stopping = false;
    while (!finished.stop_requested()) {
        const int signal = NextSignal();
        if (signal <= 0) {
            continue;
        }
        if (stopping) {
            std::_Exit(128 + signal);
        }
        stopping = true;
        m_stop.request_stop();
    }
}
