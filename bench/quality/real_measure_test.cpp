#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bench/quality/real_measure.h"

namespace {

Stereo Noise(std::mt19937& rng, double left, double right, std::size_t frames) {
    std::normal_distribution<double> n(0.0, 0.05);
    Stereo s{std::vector<double>(frames), std::vector<double>(frames)};
    for (std::size_t i = 0; i < frames; ++i) {
        const double x = n(rng);
        s.left[i] = left * x;
        s.right[i] = right * x;
    }
    return s;
}

Stereo Scaled(const Stereo& s, double gain) {
    Stereo out = s;
    for (std::size_t i = 0; i < s.Frames(); ++i) {
        out.left[i] *= gain;
        out.right[i] *= gain;
    }
    return out;
}

// A tool that scales each part by a known gain: the weights, the lead's depth, the vocal left
// and the signal-to-distortion come out as the gains say, at the tool's reference level.
TEST(RealMeasureTest, KnownGainsAreRecovered) {
    struct Case {
        double reference;
        double instrumentA, instrumentB, lead, reverb;
    };
    const Case cases[] = {
        {1.0, 1.0, 1.0, 0.1, 1.0}, {0.45, 1.0, 0.5, 0.01, 0.3}, {0.45, 2.0, 2.0, 0.0, 2.0}};
    for (const Case& c : cases) {
        std::mt19937 rng(7);
        const std::size_t frames = 1 << 15;
        RealSong song;
        song.parts = {{"a", PartRole::Instrument, Noise(rng, 1.0, 0.2, frames)},
                      {"b", PartRole::Instrument, Noise(rng, 0.5, 0.5, frames)},
                      {"lead", PartRole::Lead, Noise(rng, 0.7, 0.7, frames)},
                      {"reverb", PartRole::Reverb, Noise(rng, 0.3, 0.1, frames)}};
        const double gains[] = {c.instrumentA, c.instrumentB, c.lead, c.reverb};
        ToolOutputs tool;
        tool.referenceGain = c.reference;
        for (std::size_t i = 0; i < 4; ++i) {
            tool.parts.push_back(Scaled(song.parts[i].audio, c.reference * gains[i]));
        }
        const RealFigures f = MeasureReal(song, tool);
        const double mean = (c.instrumentA + c.instrumentB) / 2;
        const auto db = [](double ratio) { return 20 * std::log10(std::max(ratio, 1e-5)); };
        EXPECT_NEAR(f.leadBelow, -db(c.lead / mean), 0.01);
        EXPECT_NEAR(f.instrumentMin, db(std::min(c.instrumentA, c.instrumentB) / mean), 0.01);
        EXPECT_NEAR(f.instrumentMax, db(std::max(c.instrumentA, c.instrumentB) / mean), 0.01);
        EXPECT_NEAR(*f.reverbBelow, -db(c.reverb / mean), 0.01);
        if (c.instrumentA == c.instrumentB) {
            // Instruments scaled alike: the tone is off by the gain in every band.
            EXPECT_NEAR(f.toneError, std::abs(db(c.instrumentA)), 0.01);
        }
    }
}

}  // namespace
