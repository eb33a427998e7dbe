#include "analysis/envelope.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kFullScale = 32768.0;
constexpr double kFilterRate = 44100.0;  // the rate band_filters designs for
constexpr double kHighestCutoff = 0.45 * kFilterRate;

// The filters are designed at 44.1 kHz, so a cut-off at another rate is asked for where it
// falls at that rate.
double AtFilterRate(double hz, unsigned rate) {
    return std::min(hz * kFilterRate / std::max(1u, rate), kHighestCutoff);
}

}  // namespace

EnvelopeMeter::EnvelopeMeter(unsigned rate, double lowHz, double highHz)
    : m_highPass(HighPass(AtFilterRate(lowHz, rate))),
      m_lowPass(LowPass(AtFilterRate(highHz, rate))) {}

void EnvelopeMeter::Feed(const std::int16_t* frames, std::size_t count,
                         std::vector<EnvelopeBucket>& out) {
    for (std::size_t i = 0; i < count; ++i) {
        const double left = frames[2 * i];
        const double right = frames[2 * i + 1];
        const double centre = m_lowPass.Step(m_highPass.Step((left + right) / 2.0));
        const double peak = std::max(std::abs(left), std::abs(right)) / kFullScale;
        m_bucket.peak = std::max(m_bucket.peak, static_cast<float>(peak));
        m_bucket.band = std::max(m_bucket.band, static_cast<float>(std::abs(centre) / kFullScale));
        if (++m_filled == kEnvelopeFrames) {
            Finish(out);
        }
    }
}

void EnvelopeMeter::Finish(std::vector<EnvelopeBucket>& out) {
    if (m_filled > 0) {
        out.push_back(m_bucket);
        m_bucket = {};
        m_filled = 0;
    }
}
