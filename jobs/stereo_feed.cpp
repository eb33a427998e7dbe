#include "jobs/stereo_feed.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::size_t kFrameBytes = 4;
}  // namespace

StereoFeed::StereoFeed(unsigned rate, std::size_t maxFrames) : m_remover(rate) {
    const std::size_t frames = std::max(maxFrames, m_remover.Latency());
    m_in.resize(frames * 2);
    m_made.resize(frames * 2);
    m_out.resize(frames * kFrameBytes);
    m_runs.reserve(8);
}

void StereoFeed::Start() {
    m_remover.Reset();
    m_leadIn = m_remover.Latency();
    m_fed.clear();
    m_runs.clear();
    m_running = true;
}

void StereoFeed::Put(const ProcessingParameters& params, const unsigned char* bytes, std::size_t n,
                     std::uint64_t from) {
    const std::size_t frames = std::min(n / kFrameBytes, m_in.size() / 2);
    std::memcpy(m_in.data(), bytes, frames * kFrameBytes);
    m_fed.push_back({from, frames});
    Process(params, frames);
}

void StereoFeed::Finish(const ProcessingParameters& params) {
    const std::size_t frames = m_remover.Latency();
    std::fill_n(m_in.begin(), frames * 2, std::int16_t{0});
    Process(params, frames);
    m_running = false;
}

// The frames of m_in through the remover; what comes out after the lead-in goes to m_out.
void StereoFeed::Process(const ProcessingParameters& params, std::size_t frames) {
    m_remover.Process(params, m_in.data(), m_made.data(), nullptr, frames);
    const std::size_t dropped = std::min(m_leadIn, frames);
    m_leadIn -= dropped;
    const std::size_t kept = frames - dropped;
    std::memcpy(m_out.data(), m_made.data() + dropped * 2, kept * kFrameBytes);
    Account(kept);
}

// Frames out stand for the frames put, in order, a latency earlier; a run ends only where the
// source jumps.
void StereoFeed::Account(std::size_t frames) {
    m_runs.clear();
    std::size_t offset = 0;
    while (frames > 0 && !m_fed.empty()) {
        Fed& front = m_fed.front();
        const std::size_t n = std::min(frames, front.frames);
        if (!m_runs.empty() && m_runs.back().from + m_runs.back().bytes == front.from) {
            m_runs.back().bytes += n * kFrameBytes;  // the source goes on: one piece of sound
        } else {
            m_runs.push_back({offset, n * kFrameBytes, front.from});
        }
        offset += n * kFrameBytes;
        frames -= n;
        front.from += n * kFrameBytes;
        front.frames -= n;
        if (front.frames == 0) {
            m_fed.pop_front();
        }
    }
}
