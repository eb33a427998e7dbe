// Write jobs over a file made to drive the processing into saturation and wrap-around,
// compared with reference outputs computed independently.

#include <gtest/gtest.h>

#include "fake_window.h"
#include "parameters.h"
#include "wav_builder.h"
#include "wave_job.h"

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
    FakeWindow window;
    WindowState& s = window.State();
    s.m_nPan = c.pan;
    s.m_nOutputLevel = c.outputLevel;
    s.m_nLeftSlider = c.leftRight;
    s.m_nRightSlider = c.leftRight;
    UpdateDerivedParameters(s);
    s.m_bPlayLow = c.lowMode ? 1 : 0;

    TempDir dir;
    const auto out = dir / "out.wav";
    JobContext context{window};
    const std::string input = (kGolden / "saturating.wav").string();
    ASSERT_EQ(ProcessWaveFile(context, input.c_str(), out.c_str(), 0), JobResult::Done);

    const Bytes in = ReadFile(kGolden / "saturating.wav");
    const Bytes written = ReadFile(out);
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
    EXPECT_TRUE(window.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Saturating, GoldenTest,
    ::testing::Values(GoldenCase{"mode2", "saturating.mode2.raw", 0, 25, 13, false},
                      GoldenCase{"low", "saturating.low.raw", 0, 25, 13, true},
                      GoldenCase{"mode2_pan30_hot", "saturating.mode2_pan30_hot.raw", 30, 3, 0,
                                 false}),
    [](const ::testing::TestParamInfo<GoldenCase>& info) { return info.param.name; });

}  // namespace
