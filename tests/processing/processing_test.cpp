#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "processing/processing.h"
#include "trackbars/parameters.h"

namespace {

std::vector<StereoSample> ProcessAll(const ProcessingParameters& s,
                                     const std::vector<StereoSample>& in) {
    FrameState state;
    std::vector<StereoSample> out;
    out.reserve(in.size());
    for (const StereoSample& frame : in) {
        out.push_back(ProcessFrame(state, s, frame));
    }
    return out;
}

std::vector<StereoSample> Tone(double hz, double ampL, double ampR, std::size_t frames) {
    std::vector<StereoSample> out;
    for (std::size_t i = 0; i < frames; ++i) {
        const double v = std::sin(6.283185307179586 * hz * static_cast<double>(i) / 44100.0);
        out.push_back({static_cast<std::int16_t>(ampL * v), static_cast<std::int16_t>(ampR * v)});
    }
    return out;
}

double Rms(const std::vector<StereoSample>& frames, std::size_t from) {
    double sum = 0;
    for (std::size_t i = from; i < frames.size(); ++i) {
        sum += static_cast<double>(frames[i].left) * frames[i].left +
               static_cast<double>(frames[i].right) * frames[i].right;
    }
    return std::sqrt(sum / static_cast<double>(2 * (frames.size() - from)));
}

const PlayMode kAllModes[] = {PlayMode::Low,  PlayMode::High,  PlayMode::Original, PlayMode::Mode1,
                              PlayMode::Left, PlayMode::Right, PlayMode::Mode2};

TEST(Saturate16, ClampsTruncatesTowardZeroAndMapsNaNToMinimum) {
    EXPECT_EQ(Saturate16(32767.0), 32767);
    EXPECT_EQ(Saturate16(32767.9), 32767);
    EXPECT_EQ(Saturate16(32768.0), 32767);
    EXPECT_EQ(Saturate16(1e300), 32767);
    EXPECT_EQ(Saturate16(std::numeric_limits<double>::infinity()), 32767);
    EXPECT_EQ(Saturate16(-32768.0), -32768);
    EXPECT_EQ(Saturate16(-32768.9), -32768);
    EXPECT_EQ(Saturate16(-1e300), -32768);
    EXPECT_EQ(Saturate16(-std::numeric_limits<double>::infinity()), -32768);
    EXPECT_EQ(Saturate16(1.9), 1);
    EXPECT_EQ(Saturate16(-1.9), -1);
    EXPECT_EQ(Saturate16(-0.5), 0);
    EXPECT_EQ(Saturate16(std::nan("")), -32768);
}

TEST(Coefficients, MatchTheFiguresAt240Hz) {
    const LadderCoefficients c = LadderCoefficientsFor(240);
    EXPECT_NEAR(240 * kLadderFrequencyFactor, 0.010884, 1e-6);
    EXPECT_NEAR(c.k, -0.961006, 1e-6);
    EXPECT_NEAR(c.p, 0.019497, 1e-6);
    EXPECT_NEAR(c.r, 1.847729, 1e-6);
    EXPECT_NEAR(SvfCoefficientFor(240), 0.034193, 1e-6);
    EXPECT_DOUBLE_EQ(kLadderFrequencyFactor, 4.5351473922902495e-05);
    EXPECT_DOUBLE_EQ(kSvfFrequencyFactor, 7.123792865079366e-05);
}

TEST(LevelMeter, ThresholdsPickTheLitSegments) {
    struct Case {
        int sample;
        int segments;
    };
    const Case cases[] = {
        {0, 0},     {1, 1},     {-1, 1},    {2, 2},     {4, 2},      {5, 3},
        {653, 3},   {654, 4},   {2067, 4},  {2068, 5},  {4125, 5},   {4126, 6},
        {10361, 6}, {10362, 7}, {20674, 7}, {20675, 8}, {-32768, 8}, {32767, 8},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MeterSegments(c.sample), c.segments) << "sample " << c.sample;
    }
    // The thresholds are 32767 x 10^(dB/20) rounded down.
    const int dbs[] = {-34, -24, -18, -10, -4};
    const int limits[] = {653, 2067, 4125, 10361, 20674};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(static_cast<int>(32767 * std::pow(10.0, dbs[i] / 20.0)), limits[i]);
    }
}

TEST(ProcessFrame, SilenceStaysSilentInEveryMode) {
    for (PlayMode mode : kAllModes) {
        ProcessingParameters s;
        Positions p;
        p.outputLevel = 0;
        ApplyPositions(p, s);
        s.mode = mode;
        for (const StereoSample& out : ProcessAll(s, std::vector<StereoSample>(2000, {0, 0}))) {
            ASSERT_EQ(out.left, 0);
            ASSERT_EQ(out.right, 0);
            ASSERT_EQ(MeterSegments(MeterSample(out)), 0);
        }
    }
}

TEST(ProcessFrame, OriginalPlaysTheAttenuatedInputWhateverTheOutputGain) {
    ProcessingParameters s;
    Positions p;
    p.outputLevel = 0;
    ApplyPositions(p, s);
    s.mode = PlayMode::Original;
    const auto out = ProcessAll(s, {{32767, -32768}, {-32768, 32767}, {1000, -3}, {3, 2}});
    EXPECT_EQ(out[0].left, 14745);
    EXPECT_EQ(out[0].right, -14745);
    EXPECT_EQ(out[1].left, -14745);
    EXPECT_EQ(out[1].right, 14745);
    EXPECT_EQ(out[2].left, 450);
    EXPECT_EQ(out[2].right, -1);
    EXPECT_EQ(out[3].left, 1);
    EXPECT_EQ(out[3].right, 0);
}

// A write in the modes that pass the input skips the filters: every 16-bit sample, on
// either side of a frame, comes out as ProcessFrame makes it in both modes.
TEST(AttenuateFrames, EverySampleAsTheFramesOfThePassingModes) {
    std::vector<unsigned char> frames;
    std::vector<StereoSample> in;
    for (int v = -32768; v <= 32767; ++v) {
        const StereoSample sample{static_cast<std::int16_t>(v), static_cast<std::int16_t>(-1 - v)};
        in.push_back(sample);
        frames.resize(frames.size() + 4);
        StoreFrameSample(frames.data() + frames.size() - 4, sample);
    }
    AttenuateFrames(frames.data(), in.size());
    for (const PlayMode mode : {PlayMode::Original, PlayMode::Stereo}) {
        ASSERT_TRUE(PassesAttenuatedInput(mode));
        ProcessingParameters s;
        s.mode = mode;
        const auto want = ProcessAll(s, in);
        for (std::size_t i = 0; i < in.size(); ++i) {
            const StereoSample got = FrameSample(frames.data() + 4 * i);
            ASSERT_EQ(got.left, want[i].left) << in[i].left;
            ASSERT_EQ(got.right, want[i].right) << in[i].right;
        }
    }
}

TEST(ProcessFrame, ModeOneIsTheDifferenceOfTheChannels) {
    ProcessingParameters s;
    Positions p;
    s.mode = PlayMode::Mode1;
    for (const StereoSample& out : ProcessAll(s, Tone(440, 20000, 20000, 500))) {
        ASSERT_EQ(out.left, 0);
        ASSERT_EQ(out.right, 0);
    }
    const auto full = ProcessAll(s, {{32767, -32768}});
    EXPECT_EQ(full[0].left, 29490);
    EXPECT_EQ(full[0].right, -29490);
    p.outputLevel = 0;
    ApplyPositions(p, s);
    const auto hot = ProcessAll(s, {{1000, 0}, {32767, -32768}});
    EXPECT_EQ(hot[0].left, 2137);  // 450 x 4.75, truncated
    EXPECT_EQ(hot[0].right, -2137);
    EXPECT_EQ(hot[1].left, 32767);  // saturated after the gain
    EXPECT_EQ(hot[1].right, -32768);
}

TEST(ProcessFrame, LeftAndRightModesSilenceTheOtherChannel) {
    ProcessingParameters s;
    Positions p;
    p.outputLevel = 0;
    ApplyPositions(p, s);
    const auto signal = Tone(700, 25000, -18000, 3000);
    s.mode = PlayMode::Left;
    bool leftSounds = false;
    for (const StereoSample& out : ProcessAll(s, signal)) {
        ASSERT_EQ(out.right, 0);
        leftSounds = leftSounds || out.left != 0;
    }
    EXPECT_TRUE(leftSounds);
    s.mode = PlayMode::Right;
    bool rightSounds = false;
    for (const StereoSample& out : ProcessAll(s, signal)) {
        ASSERT_EQ(out.left, 0);
        rightSounds = rightSounds || out.right != 0;
    }
    EXPECT_TRUE(rightSounds);
}

// With both levels at 1 and no saturation on the way, the middle band that mode 2
// subtracts is the high low-pass minus the low low-pass.
TEST(ProcessFrame, MiddleBandIsTheDifferenceOfTheTwoLowPasses) {
    ProcessingParameters s;
    Positions p;
    p.left = 25;
    p.right = 25;
    ApplyPositions(p, s);
    const auto signal = Tone(1000, 6000, 3000, 2000);
    FrameState probe;
    FrameState state;
    s.mode = PlayMode::Left;
    for (const StereoSample& in : signal) {
        const std::int16_t L = Saturate16(in.left * kInputAttenuation);
        const LadderCoefficients low = LadderCoefficientsFor(s.lowCutoff);
        const LadderCoefficients high = LadderCoefficientsFor(s.highCutoff);
        const std::int16_t a = probe.ladderA.Step(L, low);
        const std::int16_t lp2L = probe.ladderC.Step(L, high);
        const std::int16_t lp1L = probe.svfLeft.Step(a, SvfCoefficientFor(s.lowCutoff));
        const StereoSample out = ProcessFrame(state, s, in);
        // Left mode plays L - ML, so ML = L - output.
        ASSERT_EQ(L - out.left, lp2L - lp1L);
    }
}

// The worked example: L - S(MR x pan) = 14745 + 32768 = 47513 is stored as -18023.
TEST(ProcessFrame, ModeTwoWrapsTheFinalSubtractionInsteadOfSaturating) {
    ProcessingParameters s;
    Positions p;
    p.right = 0;  // gain 3.5
    ApplyPositions(p, s);
    FrameState state;
    state.svfRight.low = 32767;  // drives MR to the bottom of the range
    const StereoSample out = ProcessFrame(state, s, {32767, -32768});
    EXPECT_EQ(out.left, -18023);
}

TEST(ProcessFrame, FiltersRunInEveryModeSoASwitchKeepsTheirState) {
    ProcessingParameters s;
    const auto signal = Tone(300, 15000, 9000, 4000);
    FrameState continuous;
    FrameState switched;
    for (std::size_t i = 0; i < signal.size(); ++i) {
        s.mode = PlayMode::Mode2;
        const StereoSample expected = ProcessFrame(continuous, s, signal[i]);
        s.mode = i < 2000 ? PlayMode::Original : PlayMode::Mode2;
        const StereoSample got = ProcessFrame(switched, s, signal[i]);
        if (i >= 2000) {
            ASSERT_EQ(got.left, expected.left) << i;
            ASSERT_EQ(got.right, expected.right) << i;
        }
    }
}

// Cached coefficients must never lag a cut-off change: the result equals a run that
// recomputes them for every frame.
TEST(ProcessFrame, CutOffChangeTakesEffectAtTheNextFrame) {
    ProcessingParameters s;
    const auto signal = Tone(900, 14000, 2000, 3000);
    FrameState cached;
    FrameState uncached;
    for (std::size_t i = 0; i < signal.size(); ++i) {
        s.lowCutoff = LowCutoffFor(static_cast<int>(i / 37 % 41));
        s.highCutoff = HighCutoffFor(static_cast<int>(i / 53 % 81));
        const StereoSample x = ProcessFrame(cached, s, signal[i]);
        uncached.coefficients = FilterCoefficients{};
        const StereoSample y = ProcessFrame(uncached, s, signal[i]);
        ASSERT_EQ(x.left, y.left) << i;
        ASSERT_EQ(x.right, y.right) << i;
    }
}

// A centred vocal goes, a one-sided instrument stays.
TEST(ProcessFrame, ModeTwoRemovesACentredToneButKeepsASideTone) {
    ProcessingParameters s;
    constexpr std::size_t kFrames = 44100;
    constexpr std::size_t kSettle = 4410;
    const auto centred = Tone(1000, 8000, 8000, kFrames);
    const auto side = Tone(1000, 8000, 0, kFrames);
    const double centredRatio = Rms(ProcessAll(s, centred), kSettle) / Rms(centred, kSettle);
    const double sideRatio = Rms(ProcessAll(s, side), kSettle) / Rms(side, kSettle);
    const double differenceDb = 20.0 * std::log10(sideRatio / centredRatio);
    EXPECT_GE(differenceDb, 15.0) << "centred " << centredRatio << ", side " << sideRatio;
}

}  // namespace
