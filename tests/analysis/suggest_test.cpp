// The suggested settings remove more of a centred voice than the start-up positions while
// the centred bass and the instruments at the sides stay.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/suggest_settings.h"
#include "processing/fast_frames.h"
#include "trackbars/parameters.h"

namespace {

constexpr double kRate = 44100.0;
constexpr double kPi = std::numbers::pi;
constexpr std::size_t kFrames = 6 * 44100;

struct Stems {
    std::vector<double> voice;  // centred
    std::vector<double> bass;   // centred
    std::vector<double> left;   // instrument mostly on the left
    std::vector<double> right;  // instrument mostly on the right
};

// A sung vowel: harmonics of a pitch with vibrato, shaped by three formants, in syllables.
double Voice(double t, double& phase) {
    const double pitch = 196.0 * (1.0 + 0.03 * std::sin(2 * kPi * 5.5 * t));
    phase += 2 * kPi * pitch / kRate;
    double x = 0;
    for (int h = 1; h <= 24; ++h) {
        const double f = h * pitch;
        double formants = 0;
        for (const double centre : {650.0, 1100.0, 2700.0}) {
            formants += 1.0 / (1.0 + std::pow((f - centre) / 150.0, 2));
        }
        x += formants * std::sin(h * phase) / std::sqrt(h);
    }
    return x * std::pow(std::sin(kPi * std::fmod(t * 3.0, 1.0)), 2);
}

Stems MakeStems() {
    Stems s{std::vector<double>(kFrames), std::vector<double>(kFrames),
            std::vector<double>(kFrames), std::vector<double>(kFrames)};
    double voicePhase = 0;
    for (std::size_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        s.voice[i] = 2500.0 * Voice(t, voicePhase);
        s.bass[i] = 4000.0 * std::sin(2 * kPi * 98.0 * t) * std::exp(-3.0 * std::fmod(t, 0.5));
        s.left[i] = 2500.0 * std::sin(2 * kPi * 523.0 * t) * std::exp(-6.0 * std::fmod(t, 0.25));
        s.right[i] = 1500.0 * (std::fmod(t * 392.0, 1.0) < 0.5 ? 1.0 : -1.0);
    }
    return s;
}

std::vector<std::int16_t> Interleave(const std::vector<double>& l, const std::vector<double>& r) {
    std::vector<std::int16_t> frames(2 * l.size());
    for (std::size_t i = 0; i < l.size(); ++i) {
        frames[2 * i] = static_cast<std::int16_t>(std::lround(l[i]));
        frames[2 * i + 1] = static_cast<std::int16_t>(std::lround(r[i]));
    }
    return frames;
}

// Energy of a stem after mode 2 at the positions, against the same stem at the processing's
// fixed input attenuation, in dB (the first tenth of a second left out while filters settle).
double GainDb(const std::vector<std::int16_t>& stem, const Positions& p) {
    ProcessingParameters state;
    ApplyPositions(p, state);
    std::vector<unsigned char> bytes(2 * stem.size());
    for (std::size_t i = 0; i < stem.size(); ++i) {
        bytes[2 * i] = static_cast<unsigned char>(static_cast<std::uint16_t>(stem[i]));
        bytes[2 * i + 1] = static_cast<unsigned char>(static_cast<std::uint16_t>(stem[i]) >> 8);
    }
    FrameState frames;
    ProcessFrames(frames, state, bytes.data(), stem.size() / 2);
    double in = 0;
    double out = 0;
    for (std::size_t i = 2 * 4410; i < stem.size(); ++i) {
        const double x = stem[i] * kInputAttenuation;
        const double y = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        in += x * x;
        out += y * y;
    }
    return 10.0 * std::log10(out / in);
}

TEST(SuggestSettings, RemovesACentredVoiceDeeperThanTheStartUpPositions) {
    const Stems s = MakeStems();
    std::vector<double> mixL(kFrames), mixR(kFrames), sideL(kFrames), sideR(kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) {
        sideL[i] = 0.9 * s.left[i] + 0.2 * s.right[i];
        sideR[i] = 0.2 * s.left[i] + 0.9 * s.right[i];
        mixL[i] = s.voice[i] + s.bass[i] + sideL[i];
        mixR[i] = s.voice[i] + s.bass[i] + sideR[i];
    }
    const std::vector<std::int16_t> mix = Interleave(mixL, mixR);
    std::vector<StereoFrames> excerpts;
    for (const std::uint64_t start : SuggestExcerptStarts(kFrames)) {
        const std::size_t count = std::min<std::size_t>(kSuggestExcerptFrames, kFrames - start);
        excerpts.emplace_back(mix.data() + 2 * start, 2 * count);
    }
    const Positions suggested = SuggestSettings(excerpts);

    const std::vector<std::int16_t> voice = Interleave(s.voice, s.voice);
    const std::vector<std::int16_t> bass = Interleave(s.bass, s.bass);
    const std::vector<std::int16_t> sides = Interleave(sideL, sideR);
    const double voiceStartUp = GainDb(voice, Positions{});
    const double voiceSuggested = GainDb(voice, suggested);
    SCOPED_TRACE(RenderOptionsFor(suggested));
    EXPECT_LT(voiceSuggested, voiceStartUp - 6.0);
    EXPECT_GT(GainDb(bass, suggested), -1.5);
    EXPECT_GT(GainDb(sides, suggested), GainDb(sides, Positions{}) - 1.0);
}

// Whatever the score makes of a mix, a suggestion removes at least as much of it, in the
// voice's band, as the start-up positions do (a centred tone once drew pan -29, left 0,
// right 1: 21.7 dB less removal).
TEST(SuggestSettings, NeverRemovesLessThanTheStartUpPositions) {
    struct Mix {
        const char* name;
        std::function<std::pair<double, double>(double t, std::size_t i)> frame;
    };
    const Mix mixes[] = {
        {"a centred 440 Hz tone",
         [](double t, std::size_t) {
             const double x = 16000.0 * std::sin(2 * kPi * 440.0 * t);
             return std::pair{x, x};
         }},
        {"a centred 1 kHz tone",
         [](double t, std::size_t) {
             const double x = 12000.0 * std::sin(2 * kPi * 1000.0 * t);
             return std::pair{x, x};
         }},
        {"a centred tone, a little to the left",
         [](double t, std::size_t) {
             const double x = 12000.0 * std::sin(2 * kPi * 330.0 * t);
             return std::pair{x, 0.8 * x};
         }},
        {"a centred tone and a quiet hiss at the sides",
         [](double t, std::size_t i) {
             const double x = 12000.0 * std::sin(2 * kPi * 523.0 * t);
             const double hiss = 30.0 * std::sin(12345.678 * static_cast<double>(i * i % 9973));
             return std::pair{x + hiss, x - hiss};
         }},
    };
    for (const Mix& mix : mixes) {
        SCOPED_TRACE(mix.name);
        std::vector<double> l(kFrames), r(kFrames);
        for (std::size_t i = 0; i < kFrames; ++i) {
            std::tie(l[i], r[i]) = mix.frame(static_cast<double>(i) / kRate, i);
        }
        const std::vector<std::int16_t> frames = Interleave(l, r);
        std::vector<StereoFrames> excerpts;
        for (const std::uint64_t start : SuggestExcerptStarts(kFrames)) {
            const std::size_t count = std::min<std::size_t>(kSuggestExcerptFrames, kFrames - start);
            excerpts.emplace_back(frames.data() + 2 * start, 2 * count);
        }
        const Positions suggested = SuggestSettings(excerpts);
        SCOPED_TRACE(RenderOptionsFor(suggested));
        EXPECT_LE(GainDb(frames, suggested), GainDb(frames, Positions{}) + 0.1);
    }
}

// The stereo mode's suggestion aims at the voice wherever it is panned, the instruments at
// the sides and the centred bass around it, and with centred drums louder than the voice
// (noise bursts, as a snare's) unless the voice is on one side alone: the drums then take
// the phase of its every cell.
TEST(SuggestStereoSettings, AimsAtTheVoice) {
    const Stems s = MakeStems();
    std::uint32_t seed = 1;
    std::vector<double> drums(kFrames);
    double body = 0.0;  // the noise below a kilohertz or so, where a snare is loudest
    for (std::size_t i = 0; i < kFrames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / kRate;
        body += 0.15 * (static_cast<double>(seed >> 8) / (1 << 24) - 0.5 - body);
        drums[i] = body * 40000.0 * std::exp(-12.0 * std::fmod(t, 0.25));
    }
    for (const double drumLevel : {0.0, 1.0}) {
        for (const int pan : {-30, -17, -6, 0, 4, 13, 30}) {
            if (drumLevel > 0 && std::abs(pan) == 30) {
                continue;
            }
            SCOPED_TRACE("voice at pan " + std::to_string(pan) + ", drums " +
                         std::to_string(drumLevel));
            const double angle = AimFor(pan);
            std::vector<double> mixL(kFrames), mixR(kFrames);
            for (std::size_t i = 0; i < kFrames; ++i) {
                const double v = s.voice[i] * std::numbers::sqrt2;
                const double centre = s.bass[i] + drumLevel * drums[i];
                mixL[i] = v * std::cos(angle) + centre + 0.9 * s.left[i] + 0.2 * s.right[i];
                mixR[i] = v * std::sin(angle) + centre + 0.2 * s.left[i] + 0.9 * s.right[i];
            }
            const std::vector<std::int16_t> mix = Interleave(mixL, mixR);
            std::vector<StereoFrames> excerpts;
            for (const std::uint64_t start : VoiceExcerptStarts(kFrames)) {
                const std::size_t count =
                    std::min<std::size_t>(kSuggestExcerptFrames, kFrames - start);
                excerpts.emplace_back(mix.data() + 2 * start, 2 * count);
            }
            EXPECT_NEAR(SuggestStereoSettings(excerpts).pan, pan, 1);
        }
    }
}

}  // namespace
