#include "processing/loudness.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace {

// The oversampling filter: 4 phases of 16 taps, a windowed sinc cut at the input's Nyquist
// frequency; its centre lies 8 frames back.
constexpr std::size_t kPhases = 4;
constexpr std::size_t kTaps = 16;
constexpr std::size_t kCentre = kTaps / 2;
constexpr double kLookaheadSeconds = 0.005;
constexpr double kReleaseSeconds = 0.05;
constexpr double kGlideSeconds = 0.3;

struct Filter {
    float h[kPhases][kTaps];
};

Filter MakeFilter() {
    Filter filter{};
    constexpr double kLength = kPhases * kTaps;
    for (std::size_t p = 0; p < kPhases; ++p) {
        for (std::size_t j = 0; j < kTaps; ++j) {
            const double k = static_cast<double>(j * kPhases + p);
            const double x = (k - kLength / 2) / kPhases;
            const double sinc =
                x == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
            // Blackman over the whole length.
            const double w = 0.42 - 0.5 * std::cos(2 * std::numbers::pi * k / kLength) +
                             0.08 * std::cos(4 * std::numbers::pi * k / kLength);
            filter.h[p][j] = static_cast<float>(sinc * w);
        }
    }
    return filter;
}

const Filter& OversamplingFilter() {
    static const Filter filter = MakeFilter();
    return filter;
}

std::int16_t Rounded(double v) {
    return static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

}  // namespace

std::optional<Loudness> ParseLoudness(std::string_view text) {
    if (text == "off") {
        return Loudness{};
    }
    if (text == "match") {
        return Loudness{Loudness::Kind::Match, 0};
    }
    double lufs = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, lufs);
    if (text.empty() || error != std::errc() || at != end || !(lufs >= kLoudnessMinLufs) ||
        !(lufs <= kLoudnessMaxLufs)) {
        return std::nullopt;
    }
    return Loudness{Loudness::Kind::Target, lufs};
}

std::string LoudnessText(const Loudness& loudness) {
    switch (loudness.kind) {
        case Loudness::Kind::Off:
            return "off";
        case Loudness::Kind::Match:
            return "match";
        case Loudness::Kind::Target:
            break;
    }
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, loudness.lufs);
    return error == std::errc() ? std::string(text, end) : "off";
}

TruePeakLimiter::TruePeakLimiter(unsigned rate, double gainDb, double ceilingDb)
    : m_gain(std::pow(10.0, gainDb / 20.0)),
      m_targetGain(m_gain),
      m_glide(1.0 - std::exp(-1.0 / (kGlideSeconds * rate))),
      m_ceiling(32768.0 * std::pow(10.0, ceilingDb / 20.0)),
      m_release(1.0 - std::exp(-1.0 / (kReleaseSeconds * rate))),
      m_lookahead(std::max<std::size_t>(static_cast<std::size_t>(kLookaheadSeconds * rate), 1)),
      // A peak is known kCentre frames after its sample came in; the gain that covers it is
      // the mean over the lookahead of minima over the lookahead (see Step).
      m_delay(kCentre + m_lookahead - 1) {
    Reset();
}

void TruePeakLimiter::Reset() {
    m_history.assign(2 * 2 * kTaps, 0.0f);
    m_at = 0;
    m_minima.clear();
    m_released.assign(m_lookahead, 1.0);
    m_delayed.assign(2 * m_delay, 0.0f);
    m_sum = static_cast<double>(m_lookahead);
    m_lastReleased = 1;
    m_frame = 0;
}

// The gain the peaks around the centre sample need: its own value and the three points the
// oversampling finds after it, in both channels.
double TruePeakLimiter::Required() const {
    const Filter& filter = OversamplingFilter();
    double peak = 0;
    for (std::size_t c = 0; c < 2; ++c) {
        // The channel's last kTaps samples, newest first.
        const float* newest = m_history.data() + c * 2 * kTaps + m_at + kTaps - 1;
        for (std::size_t p = 0; p < kPhases; ++p) {
            float v = 0;
            for (std::size_t j = 0; j < kTaps; ++j) {
                v += filter.h[p][j] * *(newest - j);
            }
            peak = std::max(peak, static_cast<double>(std::abs(v)));
        }
    }
    return peak > m_ceiling ? m_ceiling / peak : 1.0;
}

// One frame: the sample m_delay frames back goes out with a gain no more than what any peak
// within the lookahead of it needs, and moving smoothly: a mean over the lookahead of the
// minima over the lookahead, each falling at once and rising back at the release's pace.
void TruePeakLimiter::Step(float left, float right, std::int16_t* out) {
    for (std::size_t c = 0; c < 2; ++c) {
        float* history = m_history.data() + c * 2 * kTaps;
        const float v = c == 0 ? left : right;
        history[m_at] = v;
        history[m_at + kTaps] = v;
    }
    m_at = (m_at + 1) % kTaps;
    const double required = Required();
    while (!m_minima.empty() && m_minima.back().second >= required) {
        m_minima.pop_back();
    }
    m_minima.emplace_back(m_frame, required);
    while (m_minima.front().first + m_lookahead <= m_frame) {
        m_minima.pop_front();
    }
    const double released =
        std::min(m_minima.front().second, m_lastReleased + (1.0 - m_lastReleased) * m_release);
    m_lastReleased = released;
    double& oldest = m_released[m_frame % m_lookahead];
    m_sum += released - oldest;
    oldest = released;
    const double gain = m_sum / static_cast<double>(m_lookahead);
    const std::size_t slot = m_frame % m_delay;
    // The ring holds m_delay frames: the slot to be written holds the one m_delay back.
    out[0] = Rounded(m_delayed[2 * slot] * gain);
    out[1] = Rounded(m_delayed[2 * slot + 1] * gain);
    m_delayed[2 * slot] = left;
    m_delayed[2 * slot + 1] = right;
    ++m_frame;
}

void TruePeakLimiter::Process(const std::int16_t* in, std::int16_t* out, std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i) {
        if (m_gain != m_targetGain) {
            m_gain += (m_targetGain - m_gain) * m_glide;
        }
        const auto left = static_cast<float>(in[2 * i] * m_gain);
        const auto right = static_cast<float>(in[2 * i + 1] * m_gain);
        Step(left, right, out + 2 * i);
    }
}

void TruePeakLimiter::Flush(std::int16_t* out) {
    for (std::size_t i = 0; i < m_delay; ++i) {
        Step(0.0f, 0.0f, out + 2 * i);
    }
    Reset();
}
