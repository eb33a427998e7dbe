// Random valid files of random lengths and layouts, rendered by the command-line tool
// with random settings and compared byte for byte with the engine run in-process.
// ZERBEX_SOAK_FILES sets the number of files (20 by default), ZERBEX_SOAK_SEED the seed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "cli_runner.h"
#include "fake_window.h"
#include "parameters.h"
#include "wav_builder.h"
#include "wave_job.h"

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
    return {"--mode", s.mode,
            "--pan", std::to_string(s.pan),
            "--low", std::to_string(s.low),
            "--high", std::to_string(s.high),
            "--left", std::to_string(s.left),
            "--right", std::to_string(s.right),
            "--output-level", std::to_string(s.outputLevel)};
}

Bytes RandomText(std::mt19937& rng) {
    Bytes text(std::uniform_int_distribution<int>(0, 40)(rng));
    for (std::uint8_t& c : text) {
        c = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(32, 126)(rng));
    }
    return text;
}

// A well-formed 16-bit stereo file: the sample data in one "data" chunk of whole frames,
// with a random choice of format record, metadata chunks (odd sizes included) around it,
// and now and then the format and data inside a LIST.
Bytes RandomValidWav(std::mt19937& rng) {
    auto chance = [&](int percent) {
        return std::uniform_int_distribution<int>(0, 99)(rng) < percent;
    };
    const std::size_t frames = std::uniform_int_distribution<std::size_t>(0, 120000)(rng);
    const std::uint32_t rate = chance(80) ? 44100 : 48000;
    Bytes fmt;
    const int fmtKind = std::uniform_int_distribution<int>(0, 2)(rng);
    if (fmtKind == 0) {
        fmt = Chunk("fmt ", FmtBody(2, rate));
    } else if (fmtKind == 1) {
        fmt = Chunk("fmt ", FmtBody(2, rate, 16, 1, {0, 0}));
    } else {
        fmt = Chunk("fmt ", ExtensibleFmtBody(2, rate, 16));
    }
    const Bytes data = Chunk("data", Samples(TestSignal(frames, static_cast<std::uint32_t>(rng()))));

    std::vector<Bytes> chunks;
    if (chance(40)) {
        chunks.push_back(ListChunk("INFO", {Chunk("INAM", RandomText(rng)),
                                            Chunk("ICMT", RandomText(rng))}));
    }
    if (chance(15)) {
        chunks.push_back(ListChunk("wavl", {fmt, data}));
    } else {
        chunks.push_back(fmt);
        if (chance(50)) {
            chunks.push_back(Chunk("fact", {1, 2, 3, 4}));
        }
        if (chance(50)) {
            chunks.push_back(Chunk("junk", RandomText(rng)));
        }
        chunks.push_back(data);
    }
    if (chance(50)) {
        chunks.push_back(ListChunk("adtl", {Chunk("labl", RandomText(rng))}));
    }
    if (chance(30)) {
        chunks.push_back(Chunk("id3 ", RandomText(rng)));
    }
    return Riff(chunks);
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
        const Bytes input = RandomValidWav(rng);
        const Settings settings = RandomSettings(rng);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", file " + std::to_string(i) + ", " +
                     std::to_string(input.size()) + " bytes, mode " + settings.mode);
        WriteFile(in, input);

        std::vector<std::string> args = CliArgs(settings);
        args.insert(args.begin(), "render");
        args.push_back(in.string());
        args.push_back(out.string());
        const CliRun run = RunCli(args);
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

}  // namespace
