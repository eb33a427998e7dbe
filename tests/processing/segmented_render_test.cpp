// Segmented processing against the sequential run, byte for byte: on the golden data and
// on long signals whose boundaries fall in sound, in silence, in periodic tones and in
// saturating passages, at the cut-off extremes; small warm-ups and checkpoint spacings
// force each way a segment can meet the true run.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "processing/fast_frames.h"
#include "processing/segmented_render.h"
#include "tests/test_support/wav_builder.h"
#include "tests/test_support/write_helpers.h"
#include "trackbars/parameters.h"

namespace {

constexpr std::size_t kFrameBytes = 4;

class MemoryFrames : public FrameIo {
  public:
    explicit MemoryFrames(const Bytes& input) : m_input(input), output(input.size()) {}

    bool Read(std::uint64_t frame, unsigned char* buffer, std::size_t count) override {
        if ((frame + count) * kFrameBytes > m_input.size()) {
            return false;
        }
        std::memcpy(buffer, m_input.data() + frame * kFrameBytes, count * kFrameBytes);
        return true;
    }
    bool Write(std::uint64_t frame, const unsigned char* buffer, std::size_t count) override {
        std::memcpy(output.data() + frame * kFrameBytes, buffer, count * kFrameBytes);
        return true;
    }

  private:
    const Bytes& m_input;

  public:
    Bytes output;
};

struct SegmentedOutcome {
    Bytes output;
    std::vector<Merge> merges;  // one for each segment after the first
};

// Every segment runs speculatively first, alone or up to group at a time, then each is
// reconciled in order, as the write job does it.
SegmentedOutcome RunInSegments(const Bytes& input, const ProcessingParameters& params,
                               std::size_t n, const SegmentSettings& settings,
                               std::size_t group = 1) {
    MemoryFrames io(input);
    const std::uint64_t frames = input.size() / kFrameBytes;
    const std::vector<std::uint64_t> bounds = PlanBoundaries(io, frames, n, 1, settings);
    std::vector<Segment> segments(bounds.size() - 1);
    for (std::size_t k = 0; k < segments.size(); ++k) {
        segments[k].begin = bounds[k];
        segments[k].end = bounds[k + 1];
    }
    for (std::size_t k = 0; k < segments.size(); k += group) {
        const std::size_t count = std::min(group, segments.size() - k);
        std::vector<Segment*> together;
        for (std::size_t i = k; i < k + count; ++i) {
            together.push_back(&segments[i]);
        }
        EXPECT_EQ(RunSegmentGroup(together.data(), count, params, io, settings, {}),
                  RunStatus::Done);
    }
    SegmentedOutcome outcome;
    FrameState truth = segments[0].finish;
    for (std::size_t k = 1; k < segments.size(); ++k) {
        const Reconciliation r = Reconcile(truth, segments[k], params, io, settings, {});
        EXPECT_EQ(r.status, RunStatus::Done);
        outcome.merges.push_back(r.merge);
    }
    outcome.output = io.output;
    return outcome;
}

using Signal = std::vector<std::int16_t>;

Signal Noise(std::size_t frames) {
    return TestSignal(frames, 7);
}

// Sound, then digital silence to the end: the true filters decay into denormals and the
// 16-bit filters may stay where they stopped.
Signal SoundThenSilence(std::size_t frames) {
    Signal s = TestSignal(frames / 3, 3);
    s.resize(frames * 2, 0);
    return s;
}

// Repeats every 1,100 frames exactly, at the bottom of the low cut-off range.
Signal PeriodicTone(std::size_t frames) {
    Signal s;
    for (std::size_t i = 0; i < frames; ++i) {
        const double phase = 6.283185307179586 * static_cast<double>(i % 1100) / 1100.0;
        s.push_back(static_cast<std::int16_t>(30000 * std::sin(phase)));
        s.push_back(static_cast<std::int16_t>(-20000 * std::sin(3 * phase)));
    }
    return s;
}

// Full-scale square waves against each other: saturation and wrap-around all along.
Signal Saturating(std::size_t frames) {
    Signal s;
    for (std::size_t i = 0; i < frames; ++i) {
        const bool high = (i / 37) % 2 == 0;
        s.push_back(high ? 32767 : -32768);
        s.push_back((i / 53) % 2 == 0 ? -32768 : 32767);
    }
    return s;
}

Signal Golden(std::size_t /*frames*/) {
    const Bytes file =
        ReadFile(std::filesystem::path(ZERBEX_TEST_DATA) / "golden" / "saturating.wav");
    return SamplesOf(Bytes(file.begin() + 44, file.end()));
}

struct Setting {
    const char* name;
    int low;
    int high;
    PlayMode mode;
};

const Setting kSettings[] = {
    {"default", 8, 57, PlayMode::Mode2},
    {"lowest cut-offs", 0, 0, PlayMode::Mode2},
    {"highest cut-offs", 40, 80, PlayMode::Low},
    {"low 40 Hz high top", 0, 80, PlayMode::Left},
    {"hot", 40, 0, PlayMode::High},
};

void Apply(const Setting& p, ProcessingParameters& s) {
    SetParameters(s, {0, p.low, p.high, 0, 0, p.low == 40 && p.high == 0 ? 0 : 25}, p.mode);
}

struct SignalCase {
    const char* name;
    Signal (*make)(std::size_t);
};

const SignalCase kSignals[] = {
    {"noise", Noise},
    {"sound then silence", SoundThenSilence},
    {"periodic tone", PeriodicTone},
    {"saturating", Saturating},
    {"golden", Golden},
};

TEST(SegmentedRender, EqualsTheSequentialRunOnEverySignalAndCutOff) {
    SegmentSettings settings;
    settings.warmUpFrames = 6000;
    settings.checkpointFrames = 700;
    for (const SignalCase& signal : kSignals) {
        const Bytes input = Samples(signal.make(150000));
        for (const Setting& positions : kSettings) {
            ProcessingParameters params;
            Apply(positions, params);
            const Bytes expected = ProcessedBody(input, params);
            for (const std::size_t n : {2, 5}) {
                for (const std::size_t group : {std::size_t{1}, kMaxFrameGroup}) {
                    const SegmentedOutcome got = RunInSegments(input, params, n, settings, group);
                    EXPECT_TRUE(got.output == expected)
                        << signal.name << ", " << positions.name << ", " << n
                        << " segments, groups of " << group;
                }
            }
        }
    }
}

struct PathCase {
    const char* name;
    Signal (*make)(std::size_t);
    std::size_t warmUp;
    std::size_t checkpoint;
    Merge expected;
};

// Noise merges within about 10,000 frames at the default low cut-off: a long warm-up
// merges at the boundary, a short one after a redo, and without a checkpoint after the
// boundary the true run replaces the whole segment. In silence after sound the true
// ladders decay until they are negligible and the 16-bit filters settle.
const PathCase kPaths[] = {
    {"long warm-up", Noise, 40000, 1000, Merge::AtBoundary},
    {"short warm-up", Noise, 50, 1000, Merge::AfterRedo},
    {"no checkpoint", Noise, 50, 1000000, Merge::Never},
    {"silence after sound", SoundThenSilence, 20000, 1000, Merge::AfterRedo},
};

TEST(SegmentedRender, EachWayOfMeetingTheTrueRunGivesTheSequentialBytes) {
    for (const PathCase& c : kPaths) {
        const Bytes input = Samples(c.make(200000));
        ProcessingParameters params;
        SegmentSettings settings;
        settings.warmUpFrames = c.warmUp;
        settings.checkpointFrames = c.checkpoint;
        settings.silentRunFrames = 1000000;  // boundaries stay where they are put
        for (const std::size_t group : {std::size_t{1}, kMaxFrameGroup}) {
            const SegmentedOutcome got = RunInSegments(input, params, 2, settings, group);
            ASSERT_EQ(got.merges.size(), 1u) << c.name;
            EXPECT_EQ(got.merges[0], c.expected) << c.name << ", groups of " << group;
            EXPECT_TRUE(got.output == ProcessedBody(input, params))
                << c.name << ", groups of " << group;
        }
    }
}

// Two warm-ups ending at a boundary agree where the filters forget their start, as on
// noise; not on a periodic tone at the lowest cut-off, which then runs in one piece.
TEST(SegmentedRender, WarmUpsAgreeWhereSegmentsWouldMerge) {
    struct Case {
        const char* name;
        Signal (*make)(std::size_t);
        Setting positions;
        std::uint64_t boundary;
        bool agree;
    };
    const Case cases[] = {
        {"noise", Noise, kSettings[0], 100000, true},
        {"noise, lowest cut-offs", Noise, kSettings[1], 100000, true},
        {"periodic tone, lowest cut-offs", PeriodicTone, kSettings[1], 100000, false},
        {"periodic tone, boundary within the warm-up", PeriodicTone, kSettings[1], 6000, true},
    };
    SegmentSettings settings;
    settings.warmUpFrames = 40000;
    for (const Case& c : cases) {
        const Bytes input = Samples(c.make(150000));
        MemoryFrames io(input);
        ProcessingParameters params;
        Apply(c.positions, params);
        EXPECT_EQ(WarmUpsAgree(io, c.boundary, params, settings), c.agree) << c.name;
    }
}

TEST(SegmentedRender, BoundariesMoveOutOfSilenceWhereTheInputAllows) {
    // Sound, a second of silence around the middle, sound again.
    Signal s = TestSignal(400000, 5);
    std::fill(s.begin() + 2 * 180000, s.begin() + 2 * 224100, 0);
    const Bytes input = Samples(s);
    MemoryFrames io(input);
    SegmentSettings settings;
    settings.warmUpFrames = 20000;
    const std::vector<std::uint64_t> bounds = PlanBoundaries(io, 400000, 2, 1000, settings);
    ASSERT_EQ(bounds.size(), 3u);
    EXPECT_EQ(bounds[1] % 1000, 0u);
    EXPECT_GE(bounds[1], 224100u + settings.warmUpFrames);
    ProcessingParameters params;
    const SegmentedOutcome got = RunInSegments(input, params, 2, settings);
    EXPECT_EQ(got.merges[0], Merge::AtBoundary);
}

// Two ladders whose five values are all negligible give the same outputs while their
// input is 0 and hold the same bits after the first non-zero input: EquivalentStates may
// count them as equal.
TEST(SegmentedRender, NegligibleLaddersAreEquivalent) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(251, 320);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    const auto tiny = [&] { return mantissa(random) * std::pow(10.0, -exponent(random)); };
    for (const int cutoff : {40, 240, 1040, 900, 10875, 14900}) {
        const LadderCoefficients c = LadderCoefficientsFor(cutoff);
        for (int trial = 0; trial < 50; ++trial) {
            LadderLowPass a{tiny(), tiny(), tiny(), tiny(), tiny()};
            LadderLowPass b{tiny(), tiny(), tiny(), tiny(), tiny()};
            FrameState sa;
            FrameState sb;
            sa.ladderA = a;
            sb.ladderA = b;
            RefreshCoefficients(sa.coefficients, cutoff, cutoff);
            RefreshCoefficients(sb.coefficients, cutoff, cutoff);
            EXPECT_TRUE(EquivalentStates(sa, sb));
            EXPECT_FALSE(SameState(sa, sb));
            for (int i = 0; i < 2000; ++i) {
                ASSERT_EQ(a.Step(0, c), b.Step(0, c)) << cutoff;
            }
            const double v = sample(random) | 1;
            ASSERT_EQ(a.Step(v, c), b.Step(v, c));
            sa.ladderA = a;
            sb.ladderA = b;
            EXPECT_TRUE(SameState(sa, sb)) << cutoff << " after input " << v;
        }
    }
}

TEST(SegmentedRender, StatesDifferingInAnyOneValueAreNotTheSame) {
    const std::vector<void (*)(FrameState&)> changes = {
        [](FrameState& s) { s.ladderA.xPrev = std::nextafter(s.ladderA.xPrev, 1.0); },
        [](FrameState& s) { s.ladderB.y1 = -s.ladderB.y1; },
        [](FrameState& s) { s.ladderC.y3 = std::nextafter(s.ladderC.y3, 1.0); },
        [](FrameState& s) { s.ladderD.y4 = std::nextafter(s.ladderD.y4, -1.0); },
        [](FrameState& s) { ++s.svfLeft.low; },
        [](FrameState& s) { --s.svfRight.band; },
        [](FrameState& s) { s.coefficients.fsv = std::nextafter(s.coefficients.fsv, 1.0); },
        [](FrameState& s) { s.coefficients.low.r = std::nextafter(s.coefficients.low.r, 1.0); },
    };
    ProcessingParameters params;
    FrameState base;
    Bytes frames = Samples(TestSignal(3000, 2));
    ProcessFrames(base, params, frames.data(), 3000);
    for (std::size_t i = 0; i < changes.size(); ++i) {
        FrameState changed = base;
        changes[i](changed);
        EXPECT_TRUE(SameState(base, base));
        EXPECT_FALSE(SameState(base, changed)) << "change " << i;
        EXPECT_FALSE(EquivalentStates(base, changed)) << "change " << i;
    }
}

}  // namespace
