// The waveform's envelope: the song's peak in every bucket, and the removed part's only where
// both channels share a sound within the band.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/envelope.h"

namespace {

TEST(Envelope, BandLevelIsTheSharedSoundWithinTheBand) {
    constexpr unsigned kRate = 44100;
    constexpr std::size_t kFrames = kRate;  // one second
    const struct {
        const char* name;
        double hz;
        double rightSign;  // +1: shared by both channels; -1: opposite, nothing shared
        double bandLow;
        double bandHigh;
    } cases[] = {
        {"shared in the band", 1000, 1, 0.45, 0.55},
        {"opposite in the band", 1000, -1, 0, 0.01},
        {"shared below the band", 40, 1, 0, 0.1},
        {"shared above the band", 15000, 1, 0, 0.1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::int16_t> frames;
        for (std::size_t i = 0; i < kFrames; ++i) {
            const double v = 16384 * std::sin(2 * std::numbers::pi * c.hz * i / kRate);
            frames.push_back(static_cast<std::int16_t>(v));
            frames.push_back(static_cast<std::int16_t>(c.rightSign * v));
        }
        EnvelopeMeter meter(kRate, 165, 8000);
        std::vector<EnvelopeBucket> buckets;
        // In two uneven parts: a bucket spans them.
        meter.Feed(frames.data(), 1000, buckets);
        meter.Feed(frames.data() + 2000, kFrames - 1000, buckets);
        meter.Finish(buckets);
        ASSERT_EQ(buckets.size(), (kFrames + kEnvelopeFrames - 1) / kEnvelopeFrames);
        // A bucket is shorter than the low tone's half period: the peaks, once the filters
        // have settled.
        float peak = 0;
        float band = 0;
        for (std::size_t i = 10; i < buckets.size(); ++i) {
            peak = std::max(peak, buckets[i].peak);
            band = std::max(band, buckets[i].band);
        }
        EXPECT_NEAR(peak, 0.5, 0.01);
        EXPECT_GE(band, c.bandLow);
        EXPECT_LE(band, c.bandHigh);
    }
}

}  // namespace
