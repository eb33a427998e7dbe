// The block path against ProcessFrame, the reference, frame by frame: on the golden data,
// in every mode, with runs cut at random sizes and every parameter and the mode changed
// between runs, and through whole write jobs that change them in the middle of blocks.

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "processing/fast_frames.h"
#include "tests/test_support/wav_builder.h"
#include "trackbars/parameters.h"

namespace {

const std::filesystem::path kGolden = std::filesystem::path(ZERBEX_TEST_DATA) / "golden";
constexpr std::size_t kWavHeaderBytes = 44;

const FrameKernel kKernels[] = {FrameKernel::Plain, FrameKernel::Sse2, FrameKernel::Sse41,
                                FrameKernel::Avx};

const char* KernelName(FrameKernel kernel) {
    switch (kernel) {
        case FrameKernel::Plain:
            return "plain";
        case FrameKernel::Sse2:
            return "sse2";
        case FrameKernel::Sse41:
            return "sse41";
        case FrameKernel::Avx:
            return "avx";
    }
    return "?";
}

// Each mode, mode 2 among them, picked by a number.
void SetModePattern(ProcessingParameters& s, int pattern) {
    constexpr PlayMode kModes[] = {PlayMode::Low,   PlayMode::High, PlayMode::Original,
                                   PlayMode::Mode1, PlayMode::Left, PlayMode::Right,
                                   PlayMode::Mode2};
    s.mode = kModes[pattern % 7];
}

// Moves every parameter the processing reads to a new random place in the ranges the
// trackbars produce, and picks a mode.
void ChangeEverything(ProcessingParameters& s, std::mt19937& random) {
    auto pick = [&random](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    Positions p;
    p.low = pick(0, 40);
    p.high = pick(0, 80);
    p.left = pick(0, 25);
    p.right = pick(0, 25);
    p.outputLevel = pick(0, 25);
    p.pan = pick(-30, 30);
    ApplyPositions(p, s);
    SetModePattern(s, pick(0, 6));
}

struct Frames {
    std::vector<StereoSample> samples;
    Bytes bytes;
};

Frames FramesOf(const Bytes& body) {
    Frames f;
    f.bytes.assign(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(body.size() / 4 * 4));
    const std::vector<std::int16_t> s = SamplesOf(f.bytes);
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        f.samples.push_back({s[i], s[i + 1]});
    }
    return f;
}

Frames GoldenFrames() {
    const Bytes wav = ReadFile(kGolden / "saturating.wav");
    return FramesOf(Bytes(wav.begin() + kWavHeaderBytes, wav.end()));
}

Frames SignalFrames(std::size_t count, std::uint32_t seed) {
    return FramesOf(Samples(TestSignal(count, seed)));
}

// Where the reference and the block path first differ, or npos.
std::size_t FirstDifference(const Bytes& expected, const Bytes& got) {
    if (expected.size() != got.size()) {
        return 0;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != got[i]) {
            return i;
        }
    }
    return std::string::npos;
}

void PutSample(Bytes& out, std::size_t frame, StereoSample s) {
    const auto l = static_cast<std::uint16_t>(s.left);
    const auto r = static_cast<std::uint16_t>(s.right);
    out[4 * frame] = static_cast<std::uint8_t>(l);
    out[4 * frame + 1] = static_cast<std::uint8_t>(l >> 8);
    out[4 * frame + 2] = static_cast<std::uint8_t>(r);
    out[4 * frame + 3] = static_cast<std::uint8_t>(r >> 8);
}

Bytes SwapChannels(const Bytes& frames) {
    Bytes swapped = frames;
    for (std::size_t i = 0; i + 4 <= swapped.size(); i += 4) {
        std::swap_ranges(swapped.begin() + static_cast<std::ptrdiff_t>(i),
                         swapped.begin() + static_cast<std::ptrdiff_t>(i + 2),
                         swapped.begin() + static_cast<std::ptrdiff_t>(i + 2));
    }
    return swapped;
}

// Runs the frames through both paths in runs of random length from 1 to maxRun frames;
// before each run, change(params) may move any parameter. Both paths see the same
// parameters for every frame. Returns the two outputs. The grouped path runs the same
// frames alone, and in a group beside their channel-swapped copy, each checked against its
// own reference.
template <typename Change>
std::pair<Bytes, Bytes> RunBoth(FrameKernel kernel, const Frames& in, ProcessingParameters& params,
                                std::size_t maxRun, std::uint32_t seed, Change change) {
    std::mt19937 random(seed);
    FrameState reference{};
    FrameState fast{};
    Bytes expected = in.bytes;
    Bytes got = in.bytes;
    FrameState swappedReference{};
    Bytes swappedExpected = SwapChannels(in.bytes);
    FrameState groupStates[3] = {};
    Bytes grouped[3] = {in.bytes, in.bytes, swappedExpected};
    std::size_t done = 0;
    while (done < in.samples.size()) {
        change(params, random);
        const std::size_t run =
            std::min(in.samples.size() - done,
                     std::uniform_int_distribution<std::size_t>(1, maxRun)(random));
        for (std::size_t i = done; i < done + run; ++i) {
            PutSample(expected, i, ProcessFrame(reference, params, in.samples[i]));
            const StereoSample swapped{in.samples[i].right, in.samples[i].left};
            PutSample(swappedExpected, i, ProcessFrame(swappedReference, params, swapped));
        }
        FrameState* states[3];
        unsigned char* frames[3];
        for (std::size_t g = 0; g < 3; ++g) {
            states[g] = &groupStates[g];
            frames[g] = grouped[g].data() + 4 * done;
        }
        ProcessFrameGroupWith(kernel, states, frames, 1, run, params);
        ProcessFrameGroupWith(kernel, states + 1, frames + 1, 2, run, params);
        ProcessFramesWith(kernel, fast, params, got.data() + 4 * done, run);
        done += run;
    }
    for (std::size_t g = 0; g < 3; ++g) {
        EXPECT_EQ(FirstDifference(g == 2 ? swappedExpected : expected, grouped[g]),
                  std::string::npos)
            << "group run " << g;
    }
    return {expected, got};
}

class FastPathTest : public ::testing::TestWithParam<FrameKernel> {
  protected:
    void SetUp() override {
        if (!FrameKernelAvailable(GetParam())) {
            GTEST_SKIP() << "this processor lacks the instruction set";
        }
    }
};

TEST_P(FastPathTest, GoldenDataInEveryModeAndGoldenSettings) {
    const Frames in = GoldenFrames();
    ASSERT_GT(in.samples.size(), 1000u);
    struct Setting {
        int pan, outputLevel, leftRight;
    };
    for (const Setting setting : {Setting{0, 25, 13}, Setting{30, 3, 0}, Setting{-17, 0, 25}}) {
        for (int pattern = 0; pattern < 7; ++pattern) {
            ProcessingParameters s;
            Positions p;
            p.pan = setting.pan;
            p.outputLevel = setting.outputLevel;
            p.left = setting.leftRight;
            p.right = setting.leftRight;
            ApplyPositions(p, s);
            SetModePattern(s, pattern);
            const auto [expected, got] =
                RunBoth(GetParam(), in, s, 3000, 11u + static_cast<unsigned>(pattern),
                        [](ProcessingParameters&, std::mt19937&) {});
            EXPECT_EQ(FirstDifference(expected, got), std::string::npos)
                << "pan " << setting.pan << ", mode pattern " << pattern;
        }
    }
}

TEST_P(FastPathTest, EveryParameterAndTheModeChangingBetweenRunsOfRandomLength) {
    const Frames in = GoldenFrames();
    ProcessingParameters s;
    const auto [expected, got] =
        RunBoth(GetParam(), in, s, 40, 5, [](ProcessingParameters& p, std::mt19937& random) {
            if (random() % 4 != 0) {
                ChangeEverything(p, random);
            }
        });
    EXPECT_EQ(FirstDifference(expected, got), std::string::npos);
}

TEST_P(FastPathTest, SingleFrameRunsAndLongRunsOnMusicLikeSignal) {
    const Frames in = SignalFrames(30000, 3);
    for (const std::size_t maxRun : {std::size_t{1}, std::size_t{2}, std::size_t{11025}}) {
        ProcessingParameters s;
        const auto [expected, got] = RunBoth(GetParam(), in, s, maxRun, 9,
                                             [](ProcessingParameters& p, std::mt19937& random) {
                                                 if (random() % 50 == 0) {
                                                     ChangeEverything(p, random);
                                                 }
                                             });
        EXPECT_EQ(FirstDifference(expected, got), std::string::npos) << "runs up to " << maxRun;
    }
}

// Values no trackbar produces are used as they are: unstable filters run into infinity and
// NaN, which saturate to the same samples on both paths.
TEST_P(FastPathTest, ParametersOutsideTheTrackbarRangesIncludingInfinityAndNaN) {
    const Frames in = SignalFrames(4000, 8);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> gains = {0.0f, -3.5f, 1e30f, inf, -inf, nan, 2.2f};
    const std::vector<int> cutoffs = {0, -500, 30000, 44100, 1 << 30, 240};
    for (std::size_t g = 0; g < gains.size(); ++g) {
        ProcessingParameters s;
        const auto [expected, got] =
            RunBoth(GetParam(), in, s, 300, 21u + static_cast<unsigned>(g),
                    [&](ProcessingParameters& p, std::mt19937& random) {
                        SetModePattern(p, static_cast<int>(random() % 7));
                        p.leftGain = gains[random() % gains.size()];
                        p.rightGain = gains[g];
                        p.pan = PanPair{gains[random() % gains.size()], gains[g]};
                        p.outputGain = random() % 3 == 0 ? gains[g] : 1.5f;
                        p.lowCutoff = cutoffs[random() % cutoffs.size()];
                        p.highCutoff = cutoffs[(g + random() % 2) % cutoffs.size()];
                    });
        EXPECT_EQ(FirstDifference(expected, got), std::string::npos) << "gain " << gains[g];
    }
}

// A user keeps switching to the original mode and back while one long run is under way. Filters run
// alike in every mode, so each frame must be the reference's mode-2 or original output,
// and both must occur: the mode is read for every frame, not once per run.
TEST_P(FastPathTest, ModeSwitchedDuringALongRunTakesEffectFromFrameToFrame) {
    const Frames in = SignalFrames(100000, 14);
    const std::size_t n = in.samples.size();
    std::vector<StereoSample> mode2(n);
    std::vector<StereoSample> original(n);
    {
        const ProcessingParameters s;
        ProcessingParameters o;
        o.mode = PlayMode::Original;
        FrameState a{};
        FrameState b{};
        for (std::size_t i = 0; i < n; ++i) {
            mode2[i] = ProcessFrame(a, s, in.samples[i]);
            original[i] = ProcessFrame(b, o, in.samples[i]);
        }
    }
    const auto same = [](StereoSample x, StereoSample y) {
        return x.left == y.left && x.right == y.right;
    };
    bool sawBoth = false;
    // A loaded machine may run a whole attempt before the user thread is scheduled again.
    for (int attempt = 0; attempt < 500 && !sawBoth; ++attempt) {
        ProcessingParameters live;
        std::atomic<bool> done{false};
        std::atomic<int> flips{0};
        std::thread user([&live, &done, &flips] {
            for (int v = 1; !done.load(std::memory_order_relaxed); v ^= 1) {
                live.mode = v != 0 ? PlayMode::Original : PlayMode::Mode2;
                flips.fetch_add(1, std::memory_order_relaxed);
            }
        });
        while (flips.load(std::memory_order_relaxed) < 2) {
            std::this_thread::yield();  // the user is at work before the run starts
        }
        FrameState state{};
        Bytes bytes = in.bytes;
        ProcessFramesWith(GetParam(), state, live, bytes.data(), n);
        done = true;
        user.join();
        const std::vector<std::int16_t> got = SamplesOf(bytes);
        std::size_t asMode2 = 0;
        std::size_t asOriginal = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const StereoSample g{got[2 * i], got[2 * i + 1]};
            const bool m = same(g, mode2[i]);
            const bool o = same(g, original[i]);
            ASSERT_TRUE(m || o) << "frame " << i << " is neither mode 2 nor the original";
            asMode2 += m && !o;
            asOriginal += o && !m;
        }
        sawBoth = asMode2 > 0 && asOriginal > 0;
    }
    EXPECT_TRUE(sawBoth);
}

INSTANTIATE_TEST_SUITE_P(Kernels, FastPathTest, ::testing::ValuesIn(kKernels),
                         [](const ::testing::TestParamInfo<FrameKernel>& param) {
                             return std::string(KernelName(param.param));
                         });

TEST(FastPath, BestKernelIsAvailable) {
    EXPECT_TRUE(FrameKernelAvailable(BestFrameKernel()));
}

}  // namespace
