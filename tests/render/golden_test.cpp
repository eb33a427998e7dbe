// Write jobs over a file made to drive the processing into saturation and wrap-around,
// compared with reference outputs computed independently.

#include <gtest/gtest.h>

#include <random>

#include "processing/processing.h"
#include "tests/test_support/write_helpers.h"

namespace {

const std::filesystem::path kGolden = std::filesystem::path(ZERBEX_TEST_DATA) / "golden";
constexpr std::size_t kHeaderBytes = 44;

struct GoldenCase {
    const char* name;
    const char* reference;
    int pan;
    int outputLevel;
    int leftRight;
    bool lowMode;
};

class GoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenTest, WriteJobMatchesReferenceByteForByte) {
    const GoldenCase& c = GetParam();
    Positions positions;
    positions.pan = c.pan;
    positions.outputLevel = c.outputLevel;
    positions.left = c.leftRight;
    positions.right = c.leftRight;
    ProcessingParameters params;
    SetParameters(params, positions, c.lowMode ? PlayMode::Low : PlayMode::Mode2);

    const Bytes in = ReadFile(kGolden / "saturating.wav");
    RecordingObserver observer;
    const WriteOutcome outcome = RunWriteJob(in, params, observer);
    ASSERT_EQ(outcome.result, JobResult::Done);
    const Bytes& written = outcome.output;
    const Bytes expected = ReadFile(kGolden / c.reference);
    ASSERT_EQ(written.size(), in.size());
    EXPECT_TRUE(std::equal(in.begin(), in.begin() + kHeaderBytes, written.begin()))
        << "the header must be copied unchanged";
    const Bytes data(written.begin() + kHeaderBytes, written.end());
    ASSERT_EQ(data.size(), expected.size());
    std::size_t firstDiff = data.size();
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] != expected[i]) {
            firstDiff = i;
            break;
        }
    }
    EXPECT_EQ(firstDiff, data.size()) << "first differing byte of the data at " << firstDiff;
    EXPECT_TRUE(outcome.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Saturating, GoldenTest,
    ::testing::Values(GoldenCase{"mode2", "saturating.mode2.raw", 0, 25, 13, false},
                      GoldenCase{"low", "saturating.low.raw", 0, 25, 13, true},
                      GoldenCase{"mode2_pan30_hot", "saturating.mode2_pan30_hot.raw", 30, 3, 0,
                                 false}),
    [](const ::testing::TestParamInfo<GoldenCase>& param) { return param.param.name; });

// A user who moves every trackbar each time the meter is refreshed (after the first frame
// of a block, after every 500th, and after the last) changes nothing of a write: it reads
// its settings once, at its start, so the output is what they give, frame by frame.
TEST(WriteJob, KeepsItsStartingParametersWhateverTheUserDoes) {
    constexpr std::size_t kBlockFrames = 44100 / 4;
    const std::size_t frames = 3 * kBlockFrames + 777;
    const Bytes input = SimpleWav(TestSignal(frames, 12));
    const ProcessingParameters start;
    const Bytes expected = ExpectedWrite(input, start);
    std::size_t expectedRefreshes = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const std::size_t inBlock = i % kBlockFrames;
        expectedRefreshes += inBlock % 500 == 0;
        expectedRefreshes += inBlock == kBlockFrames - 1 || i + 1 == frames;
    }

    ProcessingParameters live;
    std::mt19937 random(17);
    RecordingObserver observer;
    observer.onLevel = [&](int) {
        Positions p;
        p.pan = static_cast<int>(random() % 61) - 30;
        p.low = static_cast<int>(random() % 41);
        p.high = static_cast<int>(random() % 81);
        SetParameters(live, p, random() % 2 == 0 ? PlayMode::Original : PlayMode::Low);
    };
    const WriteOutcome outcome = RunWriteJob(input, live, observer);
    ASSERT_EQ(outcome.result, JobResult::Done);
    EXPECT_EQ(observer.Levels().size(), expectedRefreshes);
    EXPECT_TRUE(outcome.output == expected);
}

}  // namespace
