// zerbex2-cli render --key and --tempo on real files: the pitch and length of what it
// writes, its tags, and the bypass at the original key and tempo.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "tests/test_support/command.h"
#include "tests/test_support/wav_builder.h"

namespace fs = std::filesystem;

namespace {

const std::string kCli = ZERBEX_CLI;
constexpr double kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

CommandResult Render(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {kCli, "render", "--mode", "original"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv);
}

std::vector<std::int16_t> Sine(double hz, double seconds) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds * kRate) * 2);
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lround(12000.0 * std::sin(2 * kPi * hz * static_cast<double>(i) / kRate)));
        samples[2 * i] = samples[2 * i + 1] = v;
    }
    return samples;
}

// The left channel of a WAV this program wrote: the body of its "data" chunk, its last chunk.
std::vector<double> LeftChannel(const Bytes& wav) {
    const auto at = std::search(wav.begin(), wav.end(), std::begin("data"), std::end("data") - 1);
    std::vector<double> left;
    for (auto p = at + 8; p + 4 <= wav.end(); p += 4) {
        left.push_back(static_cast<std::int16_t>(p[0] | (p[1] << 8)));
    }
    return left;
}

// The frequency from the rising zero crossings between from and to seconds, each placed
// between its two samples: over tens of seconds, far finer than a cent.
double Frequency(const std::vector<double>& left, double from, double to) {
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (auto i = static_cast<std::size_t>(from * kRate);
         i + 1 < left.size() && i < static_cast<std::size_t>(to * kRate); ++i) {
        if (left[i] < 0 && left[i + 1] >= 0) {
            const double t = static_cast<double>(i) + left[i] / (left[i] - left[i + 1]);
            first = first < 0 ? t : first;
            last = t;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * kRate / (last - first) : 0;
}

class KeyTempoCli : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        WriteFile(*s_dir / "sine.wav", SimpleWav(Sine(440, 60)));
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    static fs::path Input() { return *s_dir / "sine.wav"; }

    TempDir dir;
    static TempDir* s_dir;
};

TempDir* KeyTempoCli::s_dir = nullptr;

TEST_F(KeyTempoCli, PitchAndLengthFollowKeyAndTempo) {
    const struct Case {
        std::vector<std::string> args;
        double hz;  // 440 Hz times 2 to the semitones / 12
        double seconds;
    } cases[] = {
        {{"--key", "3"}, 523.25, 60}, {{"--key", "-5"}, 329.63, 60},
        {{"--tempo", "80"}, 440, 75}, {{"--key=2.5", "--tempo=125"}, 508.36, 48},
        {{"--key", "-12"}, 220, 60},  {{"--tempo", "150", "--key", "0.4"}, 450.28, 40},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        const fs::path out = dir / "out.wav";
        args.insert(args.end(), {Input(), out});
        const CommandResult r = Render(args);
        ASSERT_EQ(r.exitCode, 0) << c.args[0] << ": " << r.err;
        const std::vector<double> left = LeftChannel(ReadFile(out));
        const double seconds = static_cast<double>(left.size()) / kRate;
        EXPECT_NEAR(seconds, c.seconds, 0.02) << c.args[0] << " " << c.args[1];
        const double cents = 1200 * std::log2(Frequency(left, 2, seconds - 2) / c.hz);
        EXPECT_NEAR(cents, 0, 5) << c.args[0] << " " << c.args[1];
    }
}

// At the original key and tempo nothing passes through the stage: the same bytes as a render
// without the options, in every format, and a changed key writes the same bytes on one
// thread as on two.
TEST_F(KeyTempoCli, NeutralIsBypassedAndAChangeIsTheSameOnEveryThreadCount) {
    for (const char* name : {"a.wav", "a.flac"}) {
        const CommandResult plain = Render({Input(), dir / ("plain-" + std::string(name))});
        const CommandResult neutral = Render(
            {"--key", "0", "--tempo", "100", Input(), dir / ("neutral-" + std::string(name))});
        ASSERT_EQ(plain.exitCode, 0) << plain.err;
        ASSERT_EQ(neutral.exitCode, 0) << neutral.err;
        EXPECT_EQ(ReadFile(dir / ("plain-" + std::string(name))),
                  ReadFile(dir / ("neutral-" + std::string(name))))
            << name;
    }
    const CommandResult one = Render({"-j", "1", "--key", "2", Input(), dir / "one.wav"});
    const CommandResult two = Render({"-j", "2", "--key", "2", Input(), dir / "two.wav"});
    ASSERT_EQ(one.exitCode, 0) << one.err;
    ASSERT_EQ(two.exitCode, 0) << two.err;
    EXPECT_EQ(ReadFile(dir / "one.wav"), ReadFile(dir / "two.wav"));
}

// The note of the settings says what changed, in a WAV's INFO and in an encoded file's tags.
TEST_F(KeyTempoCli, TagsRecordTheChange) {
    ASSERT_EQ(Render({"--key", "-0.4", "--tempo", "90", Input(), dir / "out.wav"}).exitCode, 0);
    const Bytes wav = ReadFile(dir / "out.wav");
    const std::string text(wav.begin(), wav.begin() + 400);
    EXPECT_NE(text.find("ISFT"), std::string::npos);
    EXPECT_NE(text.find("key -0.4 semitones, tempo 90 %"), std::string::npos) << text;

    ASSERT_EQ(Render({"--key", "3", Input(), dir / "out.flac"}).exitCode, 0);
    const CommandResult probe =
        RunCommand({"ffprobe", "-v", "error", "-show_entries", "format_tags=processing", "-of",
                    "default=nw=1", dir / "out.flac"});
    EXPECT_NE(probe.out.find("key +3 semitones"), std::string::npos) << probe.out;
    EXPECT_EQ(probe.out.find("tempo"), std::string::npos) << probe.out;
}

TEST_F(KeyTempoCli, OutOfRangeOrTooFineValuesAreUsageErrors) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--key", "12.5"},
                                                 {"--key", "0.25"},
                                                 {"--key", "x"},
                                                 {"--tempo", "49"},
                                                 {"--tempo", "151"},
                                                 {"--tempo", "90.5"}}) {
        std::vector<std::string> all = args;
        all.insert(all.end(), {Input(), dir / "out.wav"});
        const CommandResult r = Render(all);
        EXPECT_EQ(r.exitCode, 2) << args[0] << " " << args[1];
        EXPECT_NE(r.err.find(args[0] + " must be"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.wav"));
    }
}

}  // namespace
