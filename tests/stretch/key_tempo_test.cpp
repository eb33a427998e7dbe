// The key and tempo stage on its own: the length of a run, where its sound starts, and a
// change of key from the next frames put.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "stretch/key_tempo.h"

namespace {

constexpr double kRate = 44100;

// Interleaved stereo bytes of a function of the frame index.
template <typename Sample>
std::vector<unsigned char> Frames(std::size_t count, Sample sample) {
    std::vector<unsigned char> bytes(count * 4);
    for (std::size_t i = 0; i < count; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(sample(i)));
        std::memcpy(&bytes[4 * i], &v, 2);
        std::memcpy(&bytes[4 * i + 2], &v, 2);
    }
    return bytes;
}

// The left channel of everything the stage gives for the frames, put a block at a time, once
// the run is flushed.
std::vector<double> Stretched(KeyTempoStage& stage, const std::vector<unsigned char>& in) {
    std::vector<double> left;
    std::vector<unsigned char> out(4096 * 4);
    const auto take = [&] {
        for (std::size_t n; (n = stage.Take(out.data(), 4096)) > 0;) {
            for (std::size_t i = 0; i < n; ++i) {
                std::int16_t v = 0;
                std::memcpy(&v, &out[4 * i], 2);
                left.push_back(v);
            }
        }
    };
    for (std::size_t at = 0; at < in.size(); at += 4000 * 4) {
        stage.Put(in.data() + at, std::min<std::size_t>(4000, (in.size() - at) / 4));
        take();
    }
    stage.Flush();
    take();
    return left;
}

double Hz(const std::vector<double>& left, std::size_t from, std::size_t to) {
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (std::size_t i = from; i + 1 < std::min(to, left.size()); ++i) {
        if (left[i] < 0 && left[i + 1] >= 0) {
            const double t = static_cast<double>(i) + left[i] / (left[i] - left[i + 1]);
            first = first < 0 ? t : first;
            last = t;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * kRate / (last - first) : 0;
}

// A run lasts its input at the tempo, to the frame, and a click one second in comes out where
// the tempo puts it, within the stage's splicing (a few hundredths of a second); at any rate a
// file may declare.
TEST(KeyTempoStage, ARunLastsItsTempoAndStartsWithItsInput) {
    const KeyTempo cases[] = {{30, 100}, {-50, 100}, {0, 80}, {0, 150}, {120, 50}, {-120, 125}};
    const auto click = Frames(3 * 44100, [](std::size_t i) {
        return i >= 44100 && i < 44140 ? (i % 2 == 0 ? 20000.0 : -20000.0) : 0.0;
    });
    for (const unsigned rate : {44100u, 1u, 8000u, 192001u, 384000u, 4294967295u}) {
        for (const KeyTempo& settings : cases) {
            SCOPED_TRACE(testing::Message()
                         << settings.key << " " << settings.tempo << " " << rate);
            KeyTempoStage stage(rate);
            stage.Set(settings);
            const std::vector<double> left = Stretched(stage, click);
            EXPECT_EQ(left.size(), StretchedFrames(3 * 44100, settings.tempo));
            std::size_t loudest = 0;
            for (std::size_t i = 0; i < left.size(); ++i) {
                loudest = std::abs(left[i]) > std::abs(left[loudest]) ? i : loudest;
            }
            const double expected = 44100.0 * 100 / settings.tempo;
            // Its splicing windows are as long in time as the rate told (8..192 kHz) says.
            EXPECT_NEAR(static_cast<double>(loudest), expected,
                        0.15 * std::clamp(rate, 8000u, 192000u));
        }
    }
    EXPECT_EQ(StretchedFrames(2646000, 80), 3307500u);  // 60 s at 80 %: 75 s
    EXPECT_EQ(StretchedFrames(3, 150), 2u);             // rounded to the nearest
}

// A key set between two puts holds for what is put after it; Clear starts a fresh run.
TEST(KeyTempoStage, AChangeHoldsFromTheNextFramesPut) {
    const auto sine = Frames(2 * 44100, [](std::size_t i) {
        return 10000 * std::sin(2 * 3.14159265358979 * 440 * static_cast<double>(i) / kRate);
    });
    const std::vector<unsigned char> first(sine.begin(), sine.begin() + 44100 * 4);
    const std::vector<unsigned char> second(sine.begin() + 44100 * 4, sine.end());
    KeyTempoStage stage(44100);
    stage.Put(first.data(), 44100);
    stage.Set({120, 100});
    const std::vector<double> left = Stretched(stage, second);
    EXPECT_EQ(left.size(), 2u * 44100);
    EXPECT_NEAR(Hz(left, 0, 30000), 440, 0.5) << "the frames put before the change";
    EXPECT_NEAR(Hz(left, left.size() - 30000, left.size() - 4410), 880, 1)
        << "the frames put after it";

    stage.Clear();
    stage.Set({-120, 100});
    EXPECT_EQ(stage.Ready(), 0u);
    const std::vector<double> lower = Stretched(stage, sine);
    EXPECT_EQ(lower.size(), 2u * 44100);
    EXPECT_NEAR(Hz(lower, 4410, lower.size() - 4410), 220, 0.5);
}

}  // namespace
