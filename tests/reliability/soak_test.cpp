// Random valid files of random lengths and layouts, rendered by the command-line tool
// with random settings and compared byte for byte with the engine run in-process.
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

#include "cli_runner.h"
#include "fake_window.h"
#include "parameters.h"
#include "wav_builder.h"
#include "wave_job.h"

#ifdef ZERBEX_PACED_SINK
#include "audio/alsa_capture.h"
#endif

namespace fs = std::filesystem;

namespace {

unsigned long EnvNumber(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoul(text, nullptr, 10) : fallback;
}

struct Settings {
    const char* mode;
    int pan, low, high, left, right, outputLevel;
};

constexpr const char* kModes[] = {"mode2", "mode1", "original", "low", "high", "left", "right"};

Settings RandomSettings(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    return {kModes[pick(0, 6)], pick(-30, 30), pick(0, 40), pick(0, 80),
            pick(0, 25),        pick(0, 25),   pick(0, 25)};
}

void ApplyToWindow(const Settings& s, WindowState& state) {
    state.m_nPan = s.pan;
    state.m_nLowSlider = s.low;
    state.m_nHighSlider = s.high;
    state.m_nLeftSlider = s.left;
    state.m_nRightSlider = s.right;
    state.m_nOutputLevel = s.outputLevel;
    UpdateDerivedParameters(state);
    const std::string mode = s.mode;
    state.m_bPlayLow = mode == "low";
    state.m_bPlayHigh = mode == "high";
    state.m_bPlayOriginal = mode == "original";
    state.m_bPlayMode1 = mode == "mode1";
    state.m_bPlayLeft = mode == "left";
    state.m_bPlayRight = mode == "right";
    state.m_bPlayMode2 = mode == "mode2";
}

std::vector<std::string> CliArgs(const Settings& s) {
    return {"--mode",         s.mode,
            "--pan",          std::to_string(s.pan),
            "--low",          std::to_string(s.low),
            "--high",         std::to_string(s.high),
            "--left",         std::to_string(s.left),
            "--right",        std::to_string(s.right),
            "--output-level", std::to_string(s.outputLevel)};
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
                     std::to_string(input.size()) + " bytes, mode " + settings.mode);
        WriteFile(in, input);

        const CliRun run = RunCli(CommandLine("render", settings, {in.string(), out.string()}));
        ASSERT_EQ(run.exitCode, 0) << run.err;

        FakeWindow window;
        ApplyToWindow(settings, window.State());
        JobContext context{window};
        ASSERT_EQ(ProcessWaveFile(context, in.c_str(), reference.c_str(), 0), JobResult::Done);

        const Bytes rendered = ReadFile(out);
        ASSERT_EQ(rendered.size(), input.size());
        ASSERT_EQ(rendered, ReadFile(reference));
    }
    EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

#ifdef ZERBEX_PACED_SINK
// What a playback hands the sound device equals the sample data that render writes. The
// capture device takes sound at ZERBEX_SOAK_PLAY_PACE (2 by default) times a sound card's
// pace. A sanitizer slows the program enough to miss that pace on a busy machine, and a
// late block is then heard as a gap of silence, as on a real card: not what this checks.
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
    const fs::path capture = dir / "capture.raw";
    const fs::path config = dir / "asound.conf";
    const char* paceText = std::getenv("ZERBEX_SOAK_PLAY_PACE");
    const double pace = paceText != nullptr ? std::atof(paceText) : 2.0;

    for (unsigned long i = 0; i < files; ++i) {
        const SoakFile file = RandomValidWav(rng, 2000, 24000);
        const Settings settings = RandomSettings(rng);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", played file " + std::to_string(i) + ", " +
                     std::to_string(file.dataSize) + " bytes of data, mode " + settings.mode);
        WriteFile(in, file.bytes);
        const CliRun render = RunCli(CommandLine("render", settings, {in.string(), out.string()}));
        ASSERT_EQ(render.exitCode, 0) << render.err;
        const Bytes rendered = ReadFile(out);
        const Bytes expected(rendered.begin() + static_cast<long>(file.dataOffset),
                             rendered.begin() + static_cast<long>(file.dataOffset + file.dataSize));

        const std::string text =
            PacedFileDeviceConfig(capture, static_cast<long>(pace * 4 * file.rate));
        WriteFile(config, Bytes(text.begin(), text.end()));
        CliLimits limits;
        limits.hangGuardSeconds = 60;
        limits.extraEnv = {"ALSA_CONFIG_PATH=" + config.string()};
        std::vector<std::string> args = CommandLine("play", settings, {"--once", in.string()});
        const CliRun play = RunCli(args, limits);
        ASSERT_EQ(play.exitCode, 0) << play.err;
        // The sink behind the device may still be writing its last few kilobytes.
        ::testing::AssertionResult played = ::testing::AssertionFailure();
        for (int wait = 0; wait < 40 && !played; ++wait) {
            if (wait > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            }
            played = PlayedExactly(ReadFile(capture), expected);
        }
        ASSERT_TRUE(played);
    }
}
#endif

}  // namespace
