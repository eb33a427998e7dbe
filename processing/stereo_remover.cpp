#include "stereo_remover.h"

#include <deque>

// Placeholder until the estimator lands: a plain delay of Latency() frames, nothing removed.
struct StereoRemover::State {
    std::deque<std::int16_t> delay;
};

namespace {
constexpr std::size_t kHop = 1024;
constexpr std::size_t kLatency = 3 * kHop;
constexpr std::size_t kWarmUp = 8 * kHop;
}  // namespace

StereoRemover::StereoRemover(unsigned /*sampleRate*/) : m_state(std::make_unique<State>()) {
    Reset();
}

StereoRemover::~StereoRemover() = default;

std::size_t StereoRemover::Latency() const {
    return kLatency;
}
std::size_t StereoRemover::Hop() const {
    return kHop;
}
std::size_t StereoRemover::WarmUp() const {
    return kWarmUp;
}

void StereoRemover::Reset() {
    m_state->delay.assign(2 * kLatency, 0);
}

void StereoRemover::Process(const ProcessingParameters& /*params*/, const std::int16_t* in,
                            std::int16_t* out, std::int16_t* vocal, std::size_t count) {
    for (std::size_t i = 0; i < 2 * count; ++i) {
        m_state->delay.push_back(in[i]);
        out[i] = m_state->delay.front();
        m_state->delay.pop_front();
        if (vocal != nullptr) {
            vocal[i] = 0;
        }
    }
}
