// Random valid files of random lengths and layouts, rendered by the command-line tool
// with random settings and compared byte for byte with the engine run in-process and with
// the frame-by-frame processing of each data body.
// The same files, shorter, are played with play --once into an ALSA device that captures
// what it is given, and must sound exactly as they render.
// ZERBEX_SOAK_FILES sets the number of files rendered (20 by default),
// ZERBEX_SOAK_PLAY_FILES the number played (5), ZERBEX_SOAK_SEED the seed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "cli/options.h"
#include "tests/reliability/cli_runner.h"
#include "tests/test_support/alsa_capture.h"
#include "tests/test_support/wav_builder.h"
#include "tests/test_support/write_helpers.h"
#include "trackbars/parameters.h"

namespace fs = std::filesystem;

namespace {

unsigned long EnvNumber(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoul(text, nullptr, 10) : fallback;
}

struct Settings {
    PlayMode mode;
    Positions positions;
};

// Every mode, and every trackbar anywhere in its range.
Settings RandomSettings(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    constexpr PlayMode kModes[] = {PlayMode::Mode2, PlayMode::Mode1, PlayMode::Original,
                                   PlayMode::Low,   PlayMode::High,  PlayMode::Left,
                                   PlayMode::Right};
    Settings settings{kModes[pick(0, 6)], {}};
    for (const Knob knob :
         {Knob::Pan, Knob::Low, Knob::High, Knob::Left, Knob::Right, Knob::OutputLevel}) {
        PositionOf(settings.positions, knob) = pick(RowOf(knob).min, RowOf(knob).max);
    }
    return settings;
}

std::vector<std::string> CliArgs(const Settings& s) {
    std::vector<std::string> args = {"--mode", ModeName(s.mode)};
    for (const Knob knob :
         {Knob::Pan, Knob::Low, Knob::High, Knob::Left, Knob::Right, Knob::OutputLevel}) {
        args.push_back(std::string("--") + RowOf(knob).name);
        args.push_back(std::to_string(PositionOf(s.positions, knob)));
    }
    return args;
}

Bytes RandomText(std::mt19937& rng) {
    Bytes text(std::uniform_int_distribution<int>(0, 40)(rng));
    for (std::uint8_t& c : text) {
        c = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(32, 126)(rng));
    }
    return text;
}

struct SoakFile {
    Bytes bytes;
    std::size_t dataOffset = 0;  // where the sample data begins
    std::size_t dataSize = 0;
    std::uint32_t rate = 44100;
};

// A well-formed 16-bit stereo file: the sample data in one "data" chunk of whole frames,
// with a random choice of format record, metadata chunks (odd sizes included) around it,
// and now and then the format and data inside a LIST.
SoakFile RandomValidWav(std::mt19937& rng, std::size_t minFrames, std::size_t maxFrames) {
    auto chance = [&](int percent) {
        return std::uniform_int_distribution<int>(0, 99)(rng) < percent;
    };
    SoakFile file;
    const std::size_t frames =
        std::uniform_int_distribution<std::size_t>(minFrames, maxFrames)(rng);
    file.rate = chance(80) ? 44100 : 48000;
    Bytes fmt;
    const int fmtKind = std::uniform_int_distribution<int>(0, 2)(rng);
    if (fmtKind == 0) {
        fmt = Chunk("fmt ", FmtBody(2, file.rate));
    } else if (fmtKind == 1) {
        fmt = Chunk("fmt ", FmtBody(2, file.rate, 16, 1, {0, 0}));
    } else {
        fmt = Chunk("fmt ", ExtensibleFmtBody(2, file.rate, 16));
    }
    const Bytes data =
        Chunk("data", Samples(TestSignal(frames, static_cast<std::uint32_t>(rng()))));
    file.dataSize = data.size() - 8;

    constexpr std::size_t kRiffHeader = 12;
    constexpr std::size_t kListHeader = 12;
    std::vector<Bytes> chunks;
    std::size_t before = kRiffHeader;
    auto add = [&](Bytes chunk) {
        before += chunk.size();
        chunks.push_back(std::move(chunk));
    };
    if (chance(40)) {
        add(ListChunk("INFO", {Chunk("INAM", RandomText(rng)), Chunk("ICMT", RandomText(rng))}));
    }
    if (chance(15)) {
        file.dataOffset = before + kListHeader + fmt.size() + 8;
        add(ListChunk("wavl", {fmt, data}));
    } else {
        add(fmt);
        if (chance(50)) {
            add(Chunk("fact", {1, 2, 3, 4}));
        }
        if (chance(50)) {
            add(Chunk("junk", RandomText(rng)));
        }
        file.dataOffset = before + 8;
        add(data);
    }
    if (chance(50)) {
        add(ListChunk("adtl", {Chunk("labl", RandomText(rng))}));
    }
    if (chance(30)) {
        add(Chunk("id3 ", RandomText(rng)));
    }
    file.bytes = Riff(chunks);
    return file;
}

constexpr std::size_t kFrameBytes = 4;

// The rendered sample data from its first sounding frame on: silence before it cannot be
// told from the silence a device starts with.
Bytes Audible(const Bytes& rendered, const SoakFile& file) {
    const auto begin = rendered.begin() + static_cast<std::ptrdiff_t>(file.dataOffset);
    const Bytes data(begin, begin + static_cast<std::ptrdiff_t>(file.dataSize));
    const std::size_t first = FirstSoundingFrame(data, kFrameBytes);
    return Bytes(data.begin() + static_cast<std::ptrdiff_t>(first), data.end());
}

std::vector<std::string> CommandLine(const char* command, const Settings& settings,
                                     const std::vector<std::string>& files) {
    std::vector<std::string> args = CliArgs(settings);
    args.insert(args.begin(), command);
    args.insert(args.end(), files.begin(), files.end());
    return args;
}

TEST(SoakTest, RandomFilesRenderAsTheEngineDoes) {
    const unsigned long files = EnvNumber("ZERBEX_SOAK_FILES", 20);
    const unsigned long seed = EnvNumber("ZERBEX_SOAK_SEED", 1);
    RecordProperty("seed", std::to_string(seed));
    std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
    TempDir dir;
    const fs::path in = dir / "in.wav";
    const fs::path out = dir / "out.wav";
    const fs::path reference = dir / "reference.wav";

    for (unsigned long i = 0; i < files; ++i) {
        const Bytes input = RandomValidWav(rng, 0, 120000).bytes;
        const Settings settings = RandomSettings(rng);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", file " + std::to_string(i) + ", " +
                     std::to_string(input.size()) + " bytes, mode " + ModeName(settings.mode));
        WriteFile(in, input);

        const CliRun run = RunCli(CommandLine("render", settings, {in.string(), out.string()}));
        ASSERT_EQ(run.exitCode, 0) << run.err;

        // The engine in-process, in one piece and in order, with no format from a job before.
        ProcessingParameters params;
        SetParameters(params, settings.positions, settings.mode);
        WriteRequest request;
        request.input = in;
        request.output = reference;
        request.params = &params;
        RecordingObserver observer;
        ASSERT_EQ(JobRunner().Write(request, observer), JobResult::Done);

        const Bytes rendered = ReadFile(out);
        ASSERT_EQ(rendered.size(), input.size());
        ASSERT_EQ(rendered, ReadFile(reference));
        ASSERT_TRUE(rendered == ExpectedWrite(input, params));
    }
    EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

// What a playback hands the sound device equals the sample data that render writes, at the
// file's rate. The capture device takes sound at ZERBEX_SOAK_PLAY_PACE (2 by default) times a
// sound card's pace. A sanitizer slows the program enough to miss that pace on a busy
// machine, and a late block is then heard as a gap of silence, as on a real card: not what
// this checks.
TEST(SoakTest, RandomFilesPlayAsTheyRender) {
    if (BuiltWithSanitizer()) {
        GTEST_SKIP() << "real-time playback is not checked under a sanitizer";
    }
    const unsigned long files = EnvNumber("ZERBEX_SOAK_PLAY_FILES", 5);
    const unsigned long seed = EnvNumber("ZERBEX_SOAK_SEED", 1) + 1;
    std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
    TempDir dir;
    const fs::path in = dir / "in.wav";
    const fs::path out = dir / "out.wav";
    const fs::path capture = dir / "capture.wav";
    const fs::path config = dir / "asound.conf";
    const char* paceText = std::getenv("ZERBEX_SOAK_PLAY_PACE");
    const double pace = paceText != nullptr ? std::atof(paceText) : 2.0;

    for (unsigned long i = 0; i < files; ++i) {
        const SoakFile file = RandomValidWav(rng, 2000, 24000);
        const Settings settings = RandomSettings(rng);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", played file " + std::to_string(i) + ", " +
                     std::to_string(file.dataSize) + " bytes of data, mode " +
                     ModeName(settings.mode));
        WriteFile(in, file.bytes);
        const CliRun render = RunCli(CommandLine("render", settings, {in.string(), out.string()}));
        ASSERT_EQ(render.exitCode, 0) << render.err;
        const Bytes expected = Audible(ReadFile(out), file);
        if (expected.empty()) {
            continue;  // all silence: nothing to tell a gap from
        }

        const std::string text =
            PacedFileDevice("!default", capture, static_cast<long>(pace * 4 * file.rate));
        WriteFile(config, Bytes(text.begin(), text.end()));
        CliLimits limits;
        limits.hangGuardSeconds = 60;
        limits.extraEnv = {"ALSA_CONFIG_PATH=" + config.string()};
        const CliRun play = RunCli(CommandLine("play", settings, {"--once", in.string()}), limits);
        ASSERT_EQ(play.exitCode, 0) << play.err;
        // The sink behind the device may still be writing its last few kilobytes.
        ::testing::AssertionResult played = ::testing::AssertionFailure();
        CapturedSound captured;
        for (int wait = 0; wait < 40 && !played; ++wait) {
            if (wait > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            }
            played = ReadCapture(capture, captured);
            if (played) {
                played = PlayedExactly(captured.sound, expected, kFrameBytes);
            }
        }
        ASSERT_TRUE(played);
        EXPECT_EQ(captured.rate, static_cast<int>(file.rate));
        EXPECT_EQ(captured.channels, 2);
        EXPECT_EQ(captured.bits, 16);
    }
}

}  // namespace
