#include "processing/processing.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

std::int16_t Saturate16(double x) {
    if (x > 32767.0) {
        return 32767;
    }
    if (!(x >= -32768.0)) {  // NaN lands here too
        return -32768;
    }
    return static_cast<std::int16_t>(x);
}

LadderCoefficients LadderCoefficientsFor(int cutoffHz) {
    const double f = cutoffHz * kLadderFrequencyFactor;
    const double k = f * kLadderTuningA - f * f * kLadderTuningB - 1.0;
    const double p = (k + 1.0) * 0.5;
    const double r = std::exp(1.0 - p) * kLadderResonance * 0.5;
    return {k, p, r};
}

double SvfCoefficientFor(int cutoffHz) {
    return 2.0 * std::sin(cutoffHz * kSvfFrequencyFactor);
}

std::int16_t LadderLowPass::Step(double v, const LadderCoefficients& c) {
    const double x = v - y4 * c.r;
    const double n1 = (x + xPrev) * c.p - y1 * c.k;
    const double n2 = (y1 + n1) * c.p - y2 * c.k;
    const double n3 = (y2 + n2) * c.p - y3 * c.k;
    const double n4 = (y3 + n3) * c.p - y4 * c.k;
    xPrev = x;
    y1 = n1;
    y2 = n2;
    y3 = n3;
    y4 = n4;
    return Saturate16(n4);
}

std::int16_t SvfLowPass::Step(std::int16_t v, double fsv) {
    low = Saturate16(fsv * band + low);
    const std::int16_t high = Saturate16(static_cast<double>(v) - low - band);
    band = Saturate16(high * fsv + band);
    return low;
}

void RefreshCoefficients(FilterCoefficients& c, int lowCutoff, int highCutoff) {
    if (c.valid && c.lowCutoff == lowCutoff && c.highCutoff == highCutoff) {
        return;
    }
    c.low = LadderCoefficientsFor(lowCutoff);
    c.high = LadderCoefficientsFor(highCutoff);
    c.fsv = SvfCoefficientFor(lowCutoff);
    c.lowCutoff = lowCutoff;
    c.highCutoff = highCutoff;
    c.valid = true;
}

namespace {

// Integer subtraction stored modulo 65536 as a signed 16-bit value.
std::int16_t Wrap16(int value) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
}

// A channel's middle band, between its two low-passes at the channel's level.
std::int16_t MiddleBand(std::int16_t x, std::int16_t lp1, std::int16_t lp2, double gain) {
    return Saturate16(x - lp1 * gain - Saturate16(x - lp2 * gain));
}

}  // namespace

StereoSample ProcessFrame(FrameState& state, const ProcessingParameters& params, StereoSample in) {
    const std::int16_t L = Saturate16(in.left * kInputAttenuation);
    const std::int16_t R = Saturate16(in.right * kInputAttenuation);

    FilterCoefficients& c = state.coefficients;
    RefreshCoefficients(c, params.lowCutoff, params.highCutoff);

    const std::int16_t a = state.ladderA.Step(L, c.low);
    const std::int16_t b = state.ladderB.Step(R, c.low);
    const std::int16_t lp2L = state.ladderC.Step(L, c.high);
    const std::int16_t lp2R = state.ladderD.Step(R, c.high);
    const std::int16_t lp1R = state.svfRight.Step(b, c.fsv);
    const std::int16_t lp1L = state.svfLeft.Step(a, c.fsv);

    const double gL = params.leftGain;
    const double gR = params.rightGain;

    StereoSample out{};
    const PlayMode mode = params.mode;
    switch (mode) {
        case PlayMode::Low:
            out.left = Saturate16(lp1L * gL);
            out.right = Saturate16(lp1R * gR);
            break;
        case PlayMode::High:
            out.left = Saturate16(L - lp2L * gL);
            out.right = Saturate16(R - lp2R * gR);
            break;
        case PlayMode::Original:
        case PlayMode::Stereo:
            out = {L, R};
            break;
        case PlayMode::Mode1:
            out.left = Saturate16(static_cast<double>(L) - R);
            out.right = Saturate16(static_cast<double>(R) - L);
            break;
        case PlayMode::Left:
            out.left = Wrap16(L - MiddleBand(L, lp1L, lp2L, gL));
            break;
        case PlayMode::Right:
            out.right = Wrap16(R - MiddleBand(R, lp1R, lp2R, gR));
            break;
        case PlayMode::Mode2: {
            const double panL = params.pan.left;
            const double panR = params.pan.right;
            out.left = Wrap16(L - Saturate16(MiddleBand(R, lp1R, lp2R, gR) * panL));
            out.right = Wrap16(R - Saturate16(MiddleBand(L, lp1L, lp2L, gL) * panR));
            break;
        }
    }

    if (mode != PlayMode::Original && mode != PlayMode::Stereo) {
        const double gOut = params.outputGain;
        out.left = Saturate16(out.left * gOut);
        out.right = Saturate16(out.right * gOut);
    }
    return out;
}

// x * 0.45 truncated is 9 x / 20 in integers: the product's fraction is a multiple of 1/20,
// far above the double's rounding, so both truncate alike (a test runs every sample). The
// integer form runs in vector registers.
static_assert(kInputAttenuation == 0.45);

// The samples lie in the frames as in memory: the program runs on little-endian machines only.
static_assert(std::endian::native == std::endian::little);

void AttenuateFrames(unsigned char* frames, std::size_t count) {
    // Through samples of the machine's own kind, a stretch at a time.
    constexpr std::size_t kStretch = 512;
    std::array<std::int16_t, kStretch> samples{};
    for (std::size_t done = 0; done < 2 * count;) {
        const std::size_t n = std::min(kStretch, 2 * count - done);
        std::memcpy(samples.data(), frames + 2 * done, 2 * n);
        for (std::int16_t& sample : samples) {  // whole stretches: a loop the compiler widens
            sample = static_cast<std::int16_t>(sample * 9 / 20);
        }
        std::memcpy(frames + 2 * done, samples.data(), 2 * n);
        done += n;
    }
}

int MeterSegments(int sample) {
    // The largest magnitude each number of lit segments stands for.
    static constexpr int kUpTo[kMeterSegments] = {0, 1, 4, 653, 2067, 4125, 10361, 20674};
    // One lit for each magnitude the sample's exceeds.
    return static_cast<int>(std::ranges::lower_bound(kUpTo, std::abs(sample)) - kUpTo);
}
