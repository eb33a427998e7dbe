#include "job_state.h"

JobState g_job;

namespace {

std::atomic<bool> g_jobRunning{false};
std::atomic<std::uint64_t> g_jobRefusals{0};

}  // namespace

void JobState::Reset() {
    *this = JobState{};
}

JobGuard::JobGuard() : m_acquired(!g_jobRunning.exchange(true, std::memory_order_acquire)) {
    if (!m_acquired) {
        g_jobRefusals.fetch_add(1, std::memory_order_relaxed);
    }
}

JobGuard::~JobGuard() {
    if (m_acquired) {
        g_jobRunning.store(false, std::memory_order_release);
    }
}

std::uint64_t JobGuard::Refusals() {
    return g_jobRefusals.load(std::memory_order_relaxed);
}
