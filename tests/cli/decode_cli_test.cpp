// Inputs of every kind FFmpeg reads, through zerbex2-cli render: each must come out as the
// engine's processing of the same audio decoded to 16-bit stereo at its own rate, with its
// tags; inputs that are no usable audio are refused and leave nothing behind.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/options.h"
#include "jobs/input_file.h"
#include "tests/test_support/command.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;

namespace {

const std::string kCli = ZERBEX_CLI;

class DecodeCli : public ::testing::Test {
  protected:
    TempDir dir;
    TempDir cache;

    CommandResult Cli(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {kCli};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunCommand(argv, {"XDG_CACHE_HOME=" + cache.Path().string()});
    }
    // A short stereo signal (or the channels given) encoded by the ffmpeg tool.
    fs::path Make(const std::string& name, int rate, const std::vector<std::string>& encode,
                  const std::string& channels = "sin(440*2*PI*t)*0.6|sin(1250*2*PI*t)*0.5") {
        return EncodeWithFfmpeg(
            dir / name, "aevalsrc=" + channels + ":s=" + std::to_string(rate) + ":d=0.4", encode);
    }
    // Renders decode as they write; nothing of them may stay in the cache folder.
    bool CacheIsEmpty() const {
        const fs::path folder = cache.Path() / "zerbex2";
        return !fs::exists(folder) || fs::is_empty(folder);
    }
    // The output of decoding into the cache folder and writing that copy with the engine.
    Bytes TwoStepOutput(const fs::path& input, const std::string& mode) {
        // The commands this test runs get the cache folder their own way: leave no trace.
        const char* const previous = std::getenv("XDG_CACHE_HOME");
        const std::string restore = previous != nullptr ? previous : "";
        ::setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
        RenderOptions options;
        options.mode = mode == "mode1" ? PlayMode::Mode1 : PlayMode::Mode2;
        ProcessingParameters params;
        ApplyRenderOptions(options, params);
        const fs::path out = dir / "two-step.wav";
        RecordingObserver observer;
        JobRunner runner;
        const InputFile decoded = PrepareInput(input, {}, runner.Disk(), observer);
        EXPECT_TRUE(decoded.Decoded());
        WriteRequest request;
        request.input = input;
        request.reads = decoded.Reads();
        request.output = out;
        request.params = &params;
        EXPECT_EQ(runner.Write(request, observer), JobResult::Done);
        if (previous != nullptr) {
            ::setenv("XDG_CACHE_HOME", restore.c_str(), 1);
        } else {
            ::unsetenv("XDG_CACHE_HOME");
        }
        return ReadFile(out);
    }
};

// The sample data of a WAV file and its rate.
struct Pcm {
    Bytes data;
    std::uint32_t rate = 0;
};

Pcm PcmOf(const Bytes& wav) {
    Pcm pcm;
    if (wav.size() >= 28) {
        pcm.rate = wav[24] | (wav[25] << 8) | (wav[26] << 16) | (wav[27] << 24);
    }
    for (const ByteRange& body : DataBodies(wav)) {
        pcm.data.insert(pcm.data.end(), wav.begin() + body.offset,
                        wav.begin() + body.offset + body.size);
    }
    return pcm;
}

std::string Tags(const fs::path& file) {
    return RunCommand({"ffprobe", "-v", "error", "-show_entries", "format_tags", "-of",
                       "default=nw=1", file.string()})
        .out;
}

struct Kind {
    const char* file;
    int rate;
    std::vector<std::string> encode;
};

TEST_F(DecodeCli, EveryKindRendersAsTheEngineDoesWithItsDecodedAudio) {
    const std::string surround =
        "0.5*sin(300*2*PI*t)|0.4*sin(500*2*PI*t)|0.3*sin(700*2*PI*t)|"
        "0.2*sin(50*2*PI*t)|0.3*sin(900*2*PI*t)|0.3*sin(1100*2*PI*t)";
    const Kind kinds[] = {
        {"u8.wav", 22050, {"-c:a", "pcm_u8"}},
        {"s24.wav", 96000, {"-c:a", "pcm_s24le"}},
        {"s32.wav", 44100, {"-c:a", "pcm_s32le"}},
        {"f32.wav", 44100, {"-c:a", "pcm_f32le"}},
        {"f64.wav", 48000, {"-c:a", "pcm_f64le"}},
        {"x.flac", 44100, {}},
        {"x.mp3", 44100, {}},
        {"aac.m4a", 44100, {"-c:a", "aac"}},
        {"x.ogg", 44100, {"-c:a", "libvorbis"}},
        {"x.opus", 48000, {"-c:a", "libopus"}},
        {"x.aiff", 44100, {}},
        {"x.wv", 44100, {}},
        {"alac.m4a", 44100, {"-c:a", "alac"}},
        {"surround.flac", 48000, {"-channel_layout", "5.1"}},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.file);
        const std::string name = kind.file;
        const fs::path source = name.starts_with("surround")
                                    ? Make(name, kind.rate, kind.encode, surround)
                                    : Make(name, kind.rate, kind.encode);
        // The decoded audio as the ffmpeg tool makes it, rendered by the engine unchanged.
        const fs::path decoded = dir / (name + ".s16.wav");
        ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-y", "-i", source.string(), "-ac", "2",
                              "-c:a", "pcm_s16le", decoded.string()})
                      .exitCode,
                  0);
        const fs::path expected = dir / (name + ".expected.wav");
        const fs::path out = dir / (name + ".out.wav");
        ASSERT_EQ(Cli({"render", decoded.string(), expected.string()}).exitCode, 0);
        const CommandResult run = Cli({"render", source.string(), out.string()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Pcm want = PcmOf(ReadFile(expected));
        const Pcm got = PcmOf(ReadFile(out));
        EXPECT_EQ(got.rate, static_cast<std::uint32_t>(kind.rate)) << "never resampled";
        EXPECT_GT(got.data.size(), 0u);
        EXPECT_TRUE(got.data == want.data);
        EXPECT_TRUE(CacheIsEmpty());
    }
}

TEST_F(DecodeCli, TagsReachBothOutputsAndFlacHoldsTheWaveSamples) {
    const std::vector<std::string> tags = {
        "-metadata",  "title=Night Song", "-metadata", "artist=Ann Lee",  "-metadata",
        "album=Live", "-metadata",        "date=2024", "-metadata",       "genre=Folk",
        "-metadata",  "track=7",          "-metadata", "comment=take two"};
    for (const char* name : {"tagged.mp3", "tagged.ogg"}) {
        SCOPED_TRACE(name);
        const fs::path source = Make(name, 44100, tags);
        const fs::path wav = dir / (std::string(name) + ".wav");
        const fs::path flac = dir / (std::string(name) + ".Flac");
        // The one-pass render equals decoding first and rendering the copy, header and all.
        const std::string mode = name == std::string("tagged.mp3") ? "mode2" : "mode1";
        ASSERT_EQ(Cli({"render", "--mode", mode, source.string(), wav.string()}).exitCode, 0);
        EXPECT_TRUE(ReadFile(wav) == TwoStepOutput(source, mode));
        ASSERT_EQ(Cli({"render", "--mode", mode, source.string(), flac.string()}).exitCode, 0);
        // A batch with --flac writes what the single render to NAME.flac writes.
        const fs::path batchFlac = dir / "batch" / "tagged.flac";
        fs::create_directories(batchFlac.parent_path());
        ASSERT_EQ(Cli({"render", "--mode", mode, "--flac", "--output-dir",
                       batchFlac.parent_path().string(), source.string()})
                      .exitCode,
                  0);
        for (const fs::path& out : {wav, flac, batchFlac}) {
            const std::string found = Tags(out);
            for (const char* tag : {"title=Night Song", "artist=Ann Lee", "album=Live", "date=2024",
                                    "genre=Folk", "track=7", "comment=take two"}) {
                EXPECT_NE(found.find(tag), std::string::npos) << out << " lacks " << tag;
            }
        }
        for (const fs::path& out : {flac, batchFlac}) {
            const CommandResult fromFlac =
                RunCommand({"ffmpeg", "-v", "error", "-i", out.string(), "-f", "s16le", "-"});
            EXPECT_TRUE(Bytes(fromFlac.out.begin(), fromFlac.out.end()) ==
                        PcmOf(ReadFile(wav)).data)
                << out;
        }
        EXPECT_TRUE(CacheIsEmpty());
    }
}

TEST_F(DecodeCli, InputsThatAreNoUsableAudioAreRefusedAndLeaveNothingBehind) {
    const Bytes old(33, 0x5A);
    const fs::path out = dir / "out.flac";
    WriteFile(out, old);
    const fs::path mono = Make("mono.mp3", 44100, {}, "sin(440*2*PI*t)");
    const fs::path picture = dir / "picture.png";
    ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "color=red:s=16x16",
                          "-frames:v", "1", picture.string()})
                  .exitCode,
              0);
    const fs::path text = dir / "notes.wav";
    WriteFile(text, Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    const fs::path empty = dir / "empty.mp3";
    WriteFile(empty, {});
    const Bytes m4a = ReadFile(Make("whole.m4a", 44100, {"-c:a", "aac"}));
    const fs::path truncated = dir / "truncated.m4a";
    WriteFile(truncated, Bytes(m4a.begin(), m4a.begin() + 64));
    const fs::path folder = dir / "folder.mp3";
    fs::create_directory(folder);
    // 200 bytes whose header declares a chunk of gigabytes, which FFmpeg would buffer whole.
    const fs::path huge = fs::path(ZERBEX_TEST_DATA) / "fuzz/decode/huge-declared-chunk.wav";

    const std::string notAudio = "Error code 1103, Input is not an audio file! \n";
    const struct {
        fs::path input;
        std::string message;
    } refusals[] = {
        {mono, "zerbex2-cli: " + mono.string() + ": Error code 1101, Input not stereo! \n"},
        {picture, "zerbex2-cli: " + picture.string() + ": " + notAudio},
        {text, "zerbex2-cli: " + text.string() + ": " + notAudio},
        {empty, "zerbex2-cli: " + empty.string() + ": " + notAudio},
        {truncated, "zerbex2-cli: " + truncated.string() + ": " + notAudio},
        {folder, "zerbex2-cli: " + folder.string() + ": " + notAudio},
        {huge, "zerbex2-cli: " + huge.string() + ": " + notAudio},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.input.string());
        for (const char* command : {"render", "play"}) {
            const CommandResult run = command == std::string("render")
                                          ? Cli({"render", refusal.input.string(), out.string()})
                                          : Cli({"play", "--once", refusal.input.string()});
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.err, refusal.message) << command;
        }
        EXPECT_TRUE(ReadFile(out) == old);
        EXPECT_TRUE(CacheIsEmpty());
    }
    // Refusing any of them took no more memory than a render does (the largest of all the
    // commands run so far, sanitizer shadow included).
    struct rusage children {};
    ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &children), 0);
    EXPECT_LT(children.ru_maxrss, 1024L * 1024) << "KB";
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        if (entry.path().extension() == ".tmp") {
            left.push_back(entry.path().string());
        }
    }
    EXPECT_TRUE(left.empty());
}

// FFmpeg lives in a module loaded on first need: a tool that cannot find it still renders
// a 16-bit WAV, and says plainly why it cannot read anything else.
TEST_F(DecodeCli, WithoutTheCodecModuleWavStillRendersAndOtherInputsSayWhy) {
    const fs::path lone = dir / "elsewhere" / "zerbex2-cli";
    fs::create_directories(lone.parent_path());
    fs::copy_file(kCli, lone);
    const fs::path wav = Make("in.wav", 44100, {"-c:a", "pcm_s16le"});
    const fs::path flac = Make("in.flac", 44100, {});
    const auto run = [&](const std::string& cli, const fs::path& in, const fs::path& out) {
        return RunCommand({cli, "render", in.string(), out.string()},
                          {"XDG_CACHE_HOME=" + cache.Path().string()});
    };
    const CommandResult fromFlac = run(lone.string(), flac, dir / "flac.wav");
    if (fromFlac.exitCode == 0) {
        GTEST_SKIP() << "a codec module is installed on this machine";
    }
    EXPECT_EQ(fromFlac.exitCode, 1);
    EXPECT_NE(fromFlac.err.find("zerbex2-cli: the audio codecs (FFmpeg) could not be loaded"),
              std::string::npos)
        << fromFlac.err;
    EXPECT_FALSE(fs::exists(dir / "flac.wav"));
    ASSERT_EQ(run(lone.string(), wav, dir / "lone.wav").exitCode, 0);
    ASSERT_EQ(run(kCli, wav, dir / "beside.wav").exitCode, 0);
    EXPECT_TRUE(ReadFile(dir / "lone.wav") == ReadFile(dir / "beside.wav"));
}

}  // namespace
