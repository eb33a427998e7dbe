#include "analysis/band_filters.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kRate = 44100.0;
constexpr double kButterworthQ = 1.0 / std::numbers::sqrt2;

Biquad Section(double cutoffHz, bool high) {
    const double w = 2.0 * std::numbers::pi * cutoffHz / kRate;
    const double alpha = std::sin(w) / (2.0 * kButterworthQ);
    const double cosw = std::cos(w);
    const double a0 = 1.0 + alpha;
    const double edge = high ? (1.0 + cosw) / 2.0 : (1.0 - cosw) / 2.0;
    return {.b0 = edge / a0,
            .b1 = (high ? -2.0 * edge : 2.0 * edge) / a0,
            .b2 = edge / a0,
            .a1 = -2.0 * cosw / a0,
            .a2 = (1.0 - alpha) / a0};
}

}  // namespace

Biquad LowPass(double cutoffHz) {
    return Section(cutoffHz, false);
}

Biquad HighPass(double cutoffHz) {
    return Section(cutoffHz, true);
}
