// zerbex2-cli play through PortAudio for real, on ALSA devices that capture what they
// play, compared with what zerbex2-cli render writes for the same file and options.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "tests/test_support/alsa_capture.h"
#include "tests/test_support/command.h"
#include "tests/test_support/wav_builder.h"
#include "tests/test_support/write_helpers.h"
#include "trackbars/parameters.h"

namespace {

constexpr std::size_t kBlockBytes = 44100;
const std::vector<std::string> kOptions = {"--pan", "4", "--output-level", "20", "--low", "10"};

class PlayCliTest : public ::testing::Test {
  protected:
    std::string UseAlsaConfig(const std::string& text) {
        const auto path = m_dir / "asound.conf";
        WriteFile(path, Bytes(text.begin(), text.end()));
        return "ALSA_CONFIG_PATH=" + path.string();
    }

    std::filesystem::path Capture() const { return m_dir / "capture.raw"; }

    // A generated 16-bit stereo file of the given length.
    std::string MakeInput(double seconds, std::uint32_t rate) {
        const auto path = m_dir / ("in" + std::to_string(rate) + ".wav");
        const auto frames = static_cast<std::size_t>(seconds * rate);
        WriteFile(path, SimpleWav(TestSignal(frames), 2, rate));
        return path.string();
    }

    // The sample data render writes for the input with kOptions and extra.
    Bytes Rendered(const std::string& input, const std::vector<std::string>& extra = {}) {
        const auto output = (m_dir / "rendered.wav").string();
        std::vector<std::string> args = {ZERBEX_CLI, "render"};
        args.insert(args.end(), kOptions.begin(), kOptions.end());
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {input, output});
        const CommandResult run = RunCommand(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const Bytes file = ReadFile(output);
        const std::vector<ByteRange> data = DataBodies(file);
        EXPECT_EQ(data.size(), 1u);
        return data.empty() ? Bytes{}
                            : Bytes(file.begin() + data[0].offset,
                                    file.begin() + data[0].offset + data[0].size);
    }

    // The tool that plays: this build's, or another given in ZERBEX_CLI_UNDER_TEST (an older
    // build, to see which cases fail there); render is always this build's.
    static std::string Player() {
        const char* other = std::getenv("ZERBEX_CLI_UNDER_TEST");
        return other != nullptr && *other != '\0' ? other : ZERBEX_CLI;
    }

    CommandResult Play(const std::string& env, std::vector<std::string> extra,
                       const std::string& input) {
        std::vector<std::string> args = {Player(), "play"};
        args.insert(args.end(), kOptions.begin(), kOptions.end());
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(input);
        return RunCommand(args, {env});
    }

    TempDir m_dir;
};

// A play run that is interrupted from outside once enough sound was captured.
struct InterruptedPlay {
    int exitCode = -1;
    bool exited = false;
};

InterruptedPlay PlayUntilCaptured(const std::vector<std::string>& argv, const std::string& env,
                                  const std::filesystem::path& capture, std::size_t bytes,
                                  int signal) {
    std::vector<std::string> argStrings = argv;
    std::vector<char*> args = SpawnPointers(argStrings);
    std::vector<std::string> envStrings = EnvironmentWith({env});
    std::vector<char*> envp = SpawnPointers(envStrings);
    pid_t pid = 0;
    InterruptedPlay result;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), envp.data()) != 0) {
        return result;
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code ec;
    while (std::chrono::steady_clock::now() < giveUp &&
           (!std::filesystem::exists(capture, ec) ||
            std::filesystem::file_size(capture, ec) < bytes)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, signal);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    result.exited = WIFEXITED(status);
    result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
    return result;
}

class PlayOnceTest : public PlayCliTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(PlayOnceTest, PlaysTheWholeDataOnceExactlyAsRenderWritesIt) {
    const std::uint32_t rate = GetParam();
    const std::string input = MakeInput(3.0, rate);
    const Bytes expected = Rendered(input);
    const std::string env = UseAlsaConfig(PacedFileDeviceConfig(Capture(), 4 * rate));
    const CommandResult run = Play(env, {"--once"}, input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(PlayedExactly(ReadFile(Capture()), expected));
}

INSTANTIATE_TEST_SUITE_P(Rates, PlayOnceTest, ::testing::Values(44100u, 48000u));

// In another key or at another tempo, the stage's pieces add up to what render writes; in the
// stereo mode so do the remover's, its lead-in dropped and its end flushed as render does.
class PlayKeyTempoTest : public PlayCliTest,
                         public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(PlayKeyTempoTest, PlaysWhatRenderWrites) {
    const std::string input = MakeInput(3.0, 44100);
    const Bytes expected = Rendered(input, GetParam());
    std::vector<std::string> extra = GetParam();
    extra.push_back("--once");
    const std::string env = UseAlsaConfig(PacedFileDeviceConfig(Capture(), 4 * 44100));
    const CommandResult run = Play(env, extra, input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(PlayedExactly(ReadFile(Capture()), expected));
}

INSTANTIATE_TEST_SUITE_P(Changes, PlayKeyTempoTest,
                         ::testing::Values(std::vector<std::string>{"--key", "3"},
                                           std::vector<std::string>{"--key=-2.5", "--tempo=90"},
                                           std::vector<std::string>{"--tempo", "140"},
                                           std::vector<std::string>{"--mode", "stereo"},
                                           std::vector<std::string>{"--mode", "stereo", "--key",
                                                                    "-2"}));

// In another key, a file of every rate plays what render writes for it, without a gap: the
// stage's pieces hold at least as many frames at a low rate as at 44.1 kHz, more than a device
// takes at once.
class PlayKeyAtRateTest : public PlayCliTest,
                          public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(PlayKeyAtRateTest, PlaysWhatRenderWritesWithoutAGap) {
    const std::uint32_t rate = GetParam();
    const std::string input = MakeInput(3.0, rate);
    const Bytes expected = Rendered(input, {"--key", "3"});
    const std::string env = UseAlsaConfig(PacedFileDeviceConfig(Capture(), 4 * rate));
    const CommandResult run = Play(env, {"--key", "3", "--once"}, input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(PlayedExactly(ReadFile(Capture()), expected));
}

INSTANTIATE_TEST_SUITE_P(Rates, PlayKeyAtRateTest,
                         ::testing::Values(8000u, 11025u, 22050u, 32000u, 44100u, 48000u, 96000u));

// A file that is decoded first plays exactly what render writes for it.
class PlayDecodedTest : public PlayCliTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PlayDecodedTest, PlaysWhatRenderWrites) {
    const std::string input = (m_dir / GetParam()).string();
    ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                          "aevalsrc=sin(440*2*PI*t)|0.5*sin(700*2*PI*t):s=48000:d=3", input})
                  .exitCode,
              0);
    const Bytes expected = Rendered(input);
    const std::string env = UseAlsaConfig(PacedFileDeviceConfig(Capture(), 4 * 48000));
    const CommandResult run = Play(env, {"--once"}, input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(PlayedExactly(ReadFile(Capture()), expected));
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlayDecodedTest, ::testing::Values("in.mp3", "in.flac"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             return std::string(param.param).substr(3);
                         });

// A decoded input plays while it is decoded: a loop that starts far beyond what the decoder
// has written waits for it, then plays what render writes there (the original mode carries
// no filter state across the jump).
TEST_F(PlayCliTest, LoopAheadOfTheDecoderWaitsAndPlaysWhatRenderWrites) {
    const std::string flac = (m_dir / "long.flac").string();
    ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-i", MakeInput(180.0, 44100), flac}).exitCode,
              0);
    const std::string rendered = (m_dir / "original.wav").string();
    ASSERT_EQ(RunCommand({ZERBEX_CLI, "render", "--mode", "original", flac, rendered}).exitCode, 0);
    const Bytes file = ReadFile(rendered);
    const std::vector<ByteRange> data = DataBodies(file);
    ASSERT_EQ(data.size(), 1u);
    const std::uint64_t step = data[0].size / kPositionSteps;
    const auto start = static_cast<std::size_t>(PositionBytes(90, step));
    const auto end = static_cast<std::size_t>(PositionBytes(91, step));
    const std::size_t blocks = (end - start + kBlockBytes - 1) / kBlockBytes;
    const auto from = file.begin() + static_cast<std::ptrdiff_t>(data[0].offset + start);
    const Bytes expected(from, from + static_cast<std::ptrdiff_t>(blocks * kBlockBytes));

    const std::string env = UseAlsaConfig(PacedFileDeviceConfig(Capture(), 176400));
    const CommandResult run =
        Play(env, {"--mode", "original", "--once", "--loop-start", "90", "--loop-end", "91"}, flac);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(PlayedExactly(ReadFile(Capture()), expected));
}

// Played once, a loop in steps ends at the block that reaches its end, one in times at its
// very frame (the original mode: no filter state that a start inside the data lacks).
TEST_F(PlayCliTest, OnceStopsAtTheLoopEnd) {
    const std::string input = MakeInput(16.0, 44100);
    const Bytes rendered = Rendered(input, {"--mode", "original"});
    const struct {
        std::vector<std::string> loop;
        std::size_t fromByte;
        std::size_t toByte;
    } cases[] = {
        // 16 seconds: pos(15) = 384,768 bytes, reached with the ninth block.
        {{"--loop-end", "15"}, 0, 9 * kBlockBytes},
        {{"--loop-start", "0:12.35", "--loop-end", "0:14.8"}, 544635 * 4, 652680 * 4},
        {{"--loop-start=12.35s", "--loop-end", "14.800"}, 544635 * 4, 652680 * 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.loop[1]);
        const std::string env = UseAlsaConfig(PacedFileDeviceConfig(Capture(), 176400));
        std::vector<std::string> args = {"--once", "--mode", "original"};
        args.insert(args.end(), c.loop.begin(), c.loop.end());
        const CommandResult run = Play(env, args, input);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const Bytes region(rendered.begin() + static_cast<std::ptrdiff_t>(c.fromByte),
                           rendered.begin() + static_cast<std::ptrdiff_t>(c.toByte));
        EXPECT_TRUE(PlayedExactly(ReadFile(Capture()), region));
    }
}

TEST_F(PlayCliTest, WithoutASoundDeviceTheJobIsRefusedQuietly) {
    const std::string input = MakeInput(1.0, 44100);
    const std::string env = UseAlsaConfig(MissingCardConfig());
    const CommandResult run = Play(env, {}, input);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err,
              "zerbex2-cli: A sound device was not found!\nPlease install one and try again.\n");
}

TEST_F(PlayCliTest, UsageErrorsExitWithStatus2BeforeTouchingTheDevice) {
    const std::string env = UseAlsaConfig(MissingCardConfig());
    const std::vector<std::vector<std::string>> misuses = {
        {ZERBEX_CLI, "play"},
        {ZERBEX_CLI, "play", "a.wav", "b.wav"},
        {ZERBEX_CLI, "play", "--loop-end", "101", "a.wav"},
        {ZERBEX_CLI, "play", "--loop-start", "-1", "a.wav"},
        {ZERBEX_CLI, "play", "--loop-start", "1:61", "a.wav"},
        {ZERBEX_CLI, "play", "--twice", "a.wav"},
    };
    for (const auto& args : misuses) {
        const CommandResult run = RunCommand(args, {env});
        EXPECT_EQ(run.exitCode, 2) << args.back();
        EXPECT_EQ(run.err.find("sound device"), std::string::npos) << run.err;
    }
}

// The frames of a capture that are not silence, in order.
Bytes SoundingFrames(const Bytes& bytes) {
    Bytes sounding;
    for (std::size_t offset = 0; offset + 4 <= bytes.size(); offset += 4) {
        if (!SilentFrame(bytes, offset, 4)) {
            sounding.insert(sounding.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                            bytes.begin() + static_cast<std::ptrdiff_t>(offset + 4));
        }
    }
    return sounding;
}

// How many whole copies of the expected sound a capture of several playbacks holds, one
// after another, the last one possibly cut short. Silence between and within them is left
// out: whether a busy machine starves the device is not the question here.
int WholeCopies(const Bytes& capture, const Bytes& expected, std::string& problem) {
    const Bytes sounding = SoundingFrames(capture);
    const Bytes wanted = SoundingFrames(expected);
    int copies = 0;
    for (std::size_t pos = 0; pos < sounding.size(); pos += wanted.size()) {
        const std::size_t n = std::min(wanted.size(), sounding.size() - pos);
        if (!std::equal(wanted.begin(), wanted.begin() + static_cast<std::ptrdiff_t>(n),
                        sounding.begin() + static_cast<std::ptrdiff_t>(pos))) {
            problem = "copy " + std::to_string(copies + 1) + " differs";
            break;
        }
        copies += n == wanted.size() ? 1 : 0;
    }
    return copies;
}

TEST_F(PlayCliTest, PlaysTheFileOverAndOverUntilInterrupted) {
    const std::string input = MakeInput(0.5, 44100);
    const Bytes rendered = Rendered(input);
    // Each playback opens the device anew; the capture keeps them all.
    const std::string env = UseAlsaConfig(PacedFileDeviceConfig(Capture(), 176400, true));
    std::vector<std::string> argv = {ZERBEX_CLI, "play"};
    argv.insert(argv.end(), kOptions.begin(), kOptions.end());
    argv.push_back(input);
    // Room for three playbacks with the silence around each.
    const InterruptedPlay run =
        PlayUntilCaptured(argv, env, Capture(), 3 * (rendered.size() + 90000), SIGINT);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0);
    std::string problem;
    EXPECT_GE(WholeCopies(ReadFile(Capture()), rendered, problem), 2) << problem;
    EXPECT_EQ(problem, "");
}

class PlayInterruptTest : public PlayCliTest, public ::testing::WithParamInterface<int> {};

TEST_P(PlayInterruptTest, SignalStopsAfterTheQueuedBlocksPlayOut) {
    const std::string input = MakeInput(6.0, 44100);
    const Bytes rendered = Rendered(input);
    const std::string env = UseAlsaConfig(PacedFileDeviceConfig(Capture(), 176400));
    std::vector<std::string> argv = {ZERBEX_CLI, "play"};
    argv.insert(argv.end(), kOptions.begin(), kOptions.end());
    argv.push_back(input);
    const InterruptedPlay run = PlayUntilCaptured(argv, env, Capture(), 200000, GetParam());
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0);

    // Whole blocks from the start, however many were handed over before the signal.
    const Bytes capture = ReadFile(Capture());
    std::size_t end = capture.size();
    while (end > 0 && capture[end - 1] == 0) {
        --end;
    }
    const std::size_t sounding = end - FirstSoundingFrame(capture, 4);
    const std::size_t blocks = (sounding + kBlockBytes - 1) / kBlockBytes;
    ASSERT_GE(blocks, 1u);
    ASSERT_LT(blocks * kBlockBytes, rendered.size()) << "the signal did not stop the playback";
    const Bytes played(rendered.begin(), rendered.begin() + blocks * kBlockBytes);
    EXPECT_TRUE(PlayedExactly(capture, played));
}

INSTANTIATE_TEST_SUITE_P(Signals, PlayInterruptTest, ::testing::Values(SIGINT, SIGTERM));

}  // namespace

namespace {

// `devices` lists the default and a second device of the same configuration; `play --device`
// plays on the one named or numbered, and a device that is not there leaves the default
// playing, with a message.
TEST_F(PlayCliTest, DevicesAreListedAndPlayGoesToTheOneChosen) {
    const auto first = m_dir / "first.wav";
    const auto second = m_dir / "second.wav";
    const std::string env = UseAlsaConfig(PacedFileDevice("!default", first, 176400) +
                                          PacedFileDevice("zerbex_second", second, 176400));
    const CommandResult listed = RunCommand({ZERBEX_CLI, "devices"}, {env});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::string secondIndex;
    std::istringstream lines(listed.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\tzerbex_second\t") != std::string::npos) {
            secondIndex = line.substr(0, line.find('\t'));
        }
    }
    ASSERT_FALSE(secondIndex.empty()) << listed.out;
    EXPECT_NE(listed.out.find("\tdefault\tALSA\tdefault\n"), std::string::npos) << listed.out;

    const std::string input = MakeInput(1.0, 44100);
    const Bytes rendered = Rendered(input);
    const struct {
        std::string device;
        bool onSecond;
        bool message;
    } cases[] = {
        {"zerbex_second", true, false},
        {secondIndex, true, false},
        {"default", false, false},
        {"unplugged_card", false, true},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(first);
        std::filesystem::remove(second);
        const CommandResult run = Play(env, {"--once", "--device", c.device}, input);
        EXPECT_EQ(run.exitCode, 0) << c.device << run.err;
        EXPECT_EQ(run.err.find("is not there; playing on the default device") != std::string::npos,
                  c.message)
            << c.device << run.err;
        CapturedSound captured;
        ASSERT_TRUE(ReadCapture(c.onSecond ? second : first, captured)) << c.device;
        EXPECT_TRUE(PlayedExactly(captured.sound, rendered)) << c.device;
        EXPECT_FALSE(std::filesystem::exists(c.onSecond ? first : second)) << c.device;
    }
}

}  // namespace
