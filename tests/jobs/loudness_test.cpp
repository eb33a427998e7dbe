// Loudness on writes: the output's integrated loudness brought to the input's or a target with
// its true peak under -1 dBTP, in every mode, measured with libebur128 on the written file.

#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>

#include "render/render_pool.h"
#include "tests/test_support/command.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFrames = 44100 * 8;

struct Level {
    double integrated;
    double truePeakDb;
};

Level Measure(const std::vector<std::int16_t>& samples) {
    ebur128_state* state = ebur128_init(2, 44100, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_short(state, samples.data(), samples.size() / 2);
    Level level{};
    ebur128_loudness_global(state, &level.integrated);
    double peak = 0;
    for (unsigned c = 0; c < 2; ++c) {
        double channel = 0;
        ebur128_true_peak(state, c, &channel);
        peak = std::max(peak, channel);
    }
    ebur128_destroy(&state);
    level.truePeakDb = 20 * std::log10(peak);
    return level;
}

// A song as a mastered one is: tones that swell and fade, a part in the centre, a little noise
// and a drum every half second, its peaks at -0.5 dBFS; the modes' loss brought back then
// needs the limiter on the drums.
std::vector<std::int16_t> LoudSong() {
    std::vector<double> song(2 * kFrames);
    std::uint32_t noise = 7;
    double peak = 0;
    for (std::size_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / 44100;
        const double swell = 0.6 + 0.4 * std::sin(2 * M_PI * 0.7 * t);
        const double centre = swell * std::sin(2 * M_PI * 330 * t);
        for (std::size_t c = 0; c < 2; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double hiss = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.1;
            const double side = 0.5 * std::sin(2 * M_PI * (c == 0 ? 110 : 165) * t);
            const double beat = std::fmod(t, 0.5);
            const double drum = std::exp(-beat * 30) * std::sin(2 * M_PI * 70 * beat);
            song[2 * i + c] = 0.3 * (centre + side + hiss) + drum;
            peak = std::max(peak, std::abs(song[2 * i + c]));
        }
    }
    std::vector<std::int16_t> samples(song.size());
    for (std::size_t i = 0; i < song.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(std::lround(song[i] / peak * 30900.0));
    }
    return samples;
}

std::vector<std::int16_t> Write(const fs::path& input, const fs::path& output, PlayMode mode,
                                const Loudness& loudness) {
    ProcessingParameters params;
    SetParameters(params, {}, mode);
    RenderPool pool(2);
    WriteRequest request;
    request.input = input;
    request.output = output;
    request.params = &params;
    request.pool = &pool;
    request.loudness = loudness;
    RecordingObserver observer;
    EXPECT_EQ(JobRunner().Write(request, observer), JobResult::Done);
    const Bytes written = ReadFile(output);
    return SamplesOf(Bytes(written.begin() + 44, written.end()));
}

}  // namespace

TEST(Loudness, WritesMatchTheInputOrTheTargetWithTheTruePeakUnderOneDecibel) {
    TempDir dir;
    const fs::path input = dir / "song.wav";
    const std::vector<std::int16_t> song = LoudSong();
    WriteFile(input, SimpleWav(song));
    const double inputLufs = Measure(song).integrated;
    // A decoded input is measured as it plays: the same samples, losslessly.
    const fs::path flac =
        EncodeWithFfmpeg(dir / "song.flac", "amovie=" + input.string(), {"-c:a", "flac"});
    const struct {
        PlayMode mode;
        Loudness loudness;
        double expected;
        bool decoded = false;
    } cases[] = {
        {PlayMode::Original, {Loudness::Kind::Match, 0}, inputLufs},
        {PlayMode::Mode1, {Loudness::Kind::Match, 0}, inputLufs},
        {PlayMode::Mode2, {Loudness::Kind::Match, 0}, inputLufs},
        {PlayMode::Stereo, {Loudness::Kind::Match, 0}, inputLufs},
        {PlayMode::Low, {Loudness::Kind::Match, 0}, inputLufs},
        {PlayMode::High, {Loudness::Kind::Match, 0}, inputLufs},
        {PlayMode::Left, {Loudness::Kind::Match, 0}, inputLufs},
        {PlayMode::Right, {Loudness::Kind::Match, 0}, inputLufs},
        {PlayMode::Mode2, {Loudness::Kind::Target, -23}, -23},
        {PlayMode::Mode2, {Loudness::Kind::Match, 0}, inputLufs, true},
        {PlayMode::Stereo, {Loudness::Kind::Target, -23}, -23, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(ModeName(c.mode)) + " to " + std::to_string(c.expected) +
                     (c.decoded ? ", decoded" : ""));
        const fs::path from = c.decoded ? flac : input;
        const std::vector<std::int16_t> plain = Write(from, dir / "plain.wav", c.mode, {});
        const std::vector<std::int16_t> loud = Write(from, dir / "loud.wav", c.mode, c.loudness);
        ASSERT_EQ(loud.size(), plain.size()) << "every frame written once, none delayed out";
        const Level level = Measure(loud);
        EXPECT_NEAR(level.integrated, c.expected, 0.5);
        EXPECT_LE(level.truePeakDb, -1.0);
    }
}

// Where the limiter has nothing to do, the output is the plain one times the gain, frame for
// frame: its lookahead delays nothing that is written.
TEST(Loudness, AGainTheLimiterLeavesAloneScalesEveryFrameInPlace) {
    TempDir dir;
    const fs::path input = dir / "quiet.wav";
    std::vector<std::int16_t> song = TestSignal(kFrames, 5);
    for (std::int16_t& s : song) {
        s = static_cast<std::int16_t>(s / 8);
    }
    WriteFile(input, SimpleWav(song));
    const std::vector<std::int16_t> plain = Write(input, dir / "plain.wav", PlayMode::Mode2, {});
    const double target = Measure(plain).integrated + 6.0;
    const std::vector<std::int16_t> louder =
        Write(input, dir / "louder.wav", PlayMode::Mode2, {Loudness::Kind::Target, target});
    ASSERT_EQ(louder.size(), plain.size());
    double cross = 0;
    double power = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        cross += static_cast<double>(plain[i]) * louder[i];
        power += static_cast<double>(plain[i]) * plain[i];
    }
    const double gain = cross / power;
    EXPECT_NEAR(20 * std::log10(gain), 6.0, 0.2);
    std::size_t off = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        off += std::abs(plain[i] * gain - louder[i]) > 1.0 ? 1 : 0;
    }
    EXPECT_EQ(off, 0u);
}

TEST(Loudness, TextsReadBackAndOthersAreRefused) {
    for (const char* text : {"off", "match", "-14", "-16.5", "-70", "-5"}) {
        const std::optional<Loudness> read = ParseLoudness(text);
        ASSERT_TRUE(read) << text;
        EXPECT_EQ(LoudnessText(*read), text);
    }
    for (const char* text : {"", "on", "-71", "-4.9", "-14 LUFS", "nan", "14"}) {
        EXPECT_FALSE(ParseLoudness(text)) << text;
    }
}
