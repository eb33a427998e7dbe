// The tool attacked as a hostile user would, on the surfaces added since the decoding side:
// stems, encoders, presets, key and tempo, device names. One row a case, numbered and
// named after what it checks. Nothing of the user's is lost, no wrong
// file is reported as written, and every refusal says why.
//
// The rows run against the tool this build made, or against another given in
// ZERBEX_CLI_UNDER_TEST (an older build, to see which of its cases fail there); what they
// prepare and check with is always this build's.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>

#include "tests/test_support/command.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;

namespace {

const std::string kCli = ZERBEX_CLI;

std::string CliUnderTest() {
    const char* other = std::getenv("ZERBEX_CLI_UNDER_TEST");
    return other != nullptr && *other != '\0' ? other : kCli;
}

// How a case runs the tool: its arguments, in the case's folder, under a file-size limit
// where one is given, piped into another program, or interrupted.
struct CliRun {
    enum class How { Plain, Piped, Interrupted };
    std::vector<std::string> args;
    std::vector<std::string> env = {};
    long fileLimitKb = 0;  // 0: none
    How how = How::Plain;
    std::string before = {};  // shell commands run first, in the folder
};

// The folder a case runs in and what it finds there.
class Scene {
  public:
    Scene() { fs::create_directory(dir / "config"); }

    fs::path operator/(const std::string& name) const { return dir / name; }

    // A stereo WAV of a chord at rate.
    std::string Wav(const std::string& name, double seconds = 1.0, int rate = 44100) {
        EncodeWithFfmpeg(dir / name,
                         "aevalsrc=0.4*sin(440*2*PI*t)+0.1*sin(97*2*PI*t)|0.3*sin(660*2*PI*t)+0.1*"
                         "sin(97*2*PI*t):s=" +
                             std::to_string(rate) + ":d=" + std::to_string(seconds));
        return name;
    }
    // A 16-bit stereo WAV of exactly frames frames.
    std::string Frames(const std::string& name, std::size_t frames) {
        WriteFile(dir / name, SimpleWav(TestSignal(frames)));
        return name;
    }
    void Put(const std::string& name, const std::string& text) {
        WriteFile(dir / name, Bytes(text.begin(), text.end()));
    }
    std::string Text(const std::string& name) const {
        const Bytes bytes = ReadFile(dir / name);
        return {bytes.begin(), bytes.end()};
    }
    void Link(const std::string& name, const std::string& to) const {
        fs::create_symlink(to, dir / name);
    }
    // The presets file the tool reads, with this text.
    void Presets(const std::string& text) { Put("config/zerbex2-presets.ini", text); }
    std::vector<std::string> Env() const {
        return {"XDG_CONFIG_HOME=" + (dir / "config").string(),
                "XDG_CACHE_HOME=" + (dir / "cache").string()};
    }
    // Temporary files a write left in the folder or below it.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> left;
        for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
            const std::string name = entry.path().filename().string();
            if (name.ends_with(".tmp") || name.find(".zerbex2-pair") != std::string::npos) {
                left.push_back(name);
            }
        }
        return left;
    }
    // This build's tool, for what a case prepares or checks.
    CommandResult Tool(std::vector<std::string> args) const {
        args.insert(args.begin(), kCli);
        return InFolder(args, Env());
    }
    CommandResult InFolder(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env) const {
        std::vector<std::string> shell = {"/bin/sh", "-c", "cd \"$1\" && shift && exec \"$@\"",
                                          "sh", dir.Path().string()};
        shell.insert(shell.end(), argv.begin(), argv.end());
        return RunCommand(shell, env);
    }

    TempDir dir;
};

CommandResult RunCase(const Scene& scene, const CliRun& run) {
    std::string script = "cd \"$1\" && shift && ";
    script += run.before.empty() ? "" : run.before + "; ";
    if (run.fileLimitKb > 0) {
        script += "ulimit -f " + std::to_string(run.fileLimitKb) + " && ";
    }
    switch (run.how) {
        case CliRun::How::Plain:
            script += "exec timeout -s KILL 120 \"$@\"";
            break;
        case CliRun::How::Piped:
            script +=
                "{ timeout -s KILL 120 \"$@\"; echo $? > .status; } | cat; "
                "status=$(cat .status); rm -f .status; exit $status";
            break;
        case CliRun::How::Interrupted:
            script += "\"$@\" & pid=$!; sleep 0.5; kill -INT $pid; wait $pid";
            break;
    }
    std::vector<std::string> argv = {"/bin/sh",     "-c", script, "sh", scene.dir.Path().string(),
                                     CliUnderTest()};
    argv.insert(argv.end(), run.args.begin(), run.args.end());
    std::vector<std::string> env = scene.Env();
    env.insert(env.end(), run.env.begin(), run.env.end());
    return RunCommand(argv, env);
}

struct Case {
    const char* name;  // "P1_..." after the point of the issue
    std::function<CliRun(Scene&)> setUp;
    int exitCode;
    std::vector<std::string> says;  // each found in standard error
    std::function<void(Scene&, const CommandResult&)> check = {};
};

// The bytes of a FLAC stream after its metadata blocks: its audio frames.
Bytes FlacFrames(const Bytes& flac) {
    std::size_t at = 4;
    for (bool last = false; !last && at + 4 <= flac.size();) {
        last = (flac[at] & 0x80) != 0;
        at += 4 + ((flac[at + 1] << 16) | (flac[at + 2] << 8) | flac[at + 3]);
    }
    return at <= flac.size() ? Bytes(flac.begin() + static_cast<std::ptrdiff_t>(at), flac.end())
                             : Bytes{};
}

// The energy of a WAV file's samples after its first second, in dB.
double LevelDb(const fs::path& wav) {
    const Bytes file = ReadFile(wav);
    const std::vector<ByteRange> data = DataBodies(file);
    if (data.empty()) {
        return 0;
    }
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = data[0].offset + 44100 * 4; i + 1 < data[0].offset + data[0].size;
         i += 2) {
        const auto sample = static_cast<std::int16_t>(file[i] | (file[i + 1] << 8));
        sum += static_cast<double>(sample) * sample;
        ++n;
    }
    return 10 * std::log10(sum / std::max<std::size_t>(n, 1) + 1e-9);
}

const std::string kGoodPreset =
    "mode = mode2\npan = 0\nlow = 8\nhigh = 57\nleft = 13\nright = 13\noutput-level = 25\n";

// The pair of a stems write into M4A, under a file-size limit that the vocals (silent in the
// original mode) fit but the index written at the end of the output does not.
CliRun StemsPastTheLimit(Scene& s) {
    s.Wav("long.wav", 60);
    const CommandResult probe = s.Tool({"render", "--mode", "original", "long.wav", "probe.m4a"});
    EXPECT_EQ(probe.exitCode, 0) << probe.err;
    const Bytes written = ReadFile(s / "probe.m4a");
    const std::string text(written.begin(), written.end());
    const std::size_t index = text.rfind("moov");
    EXPECT_NE(index, std::string::npos);
    fs::remove(s / "probe.m4a");
    s.Put("out.m4a", "old output");
    s.Put("out-vocals.m4a", "old vocals");
    return {{"render", "--mode", "original", "--stems", "long.wav", "out.m4a"},
            {},
            static_cast<long>((index + (written.size() - index) / 2) / 1024)};
}

void BothOld(Scene& s, const std::string& output, const std::string& vocals) {
    EXPECT_EQ(s.Text(output), "old output");
    if (fs::is_regular_file(s / vocals)) {
        EXPECT_EQ(s.Text(vocals), "old vocals");
    } else {
        EXPECT_TRUE(fs::is_fifo(s / vocals)) << vocals << " is gone";
    }
    EXPECT_EQ(s.Leftovers(), std::vector<std::string>{});
}

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        // --- 1: a failed commit of the output takes no vocals with it ---------------------
        {"P1_FailedOutputCommitKeepsTheOldVocals",
         StemsPastTheLimit,
         1,
         {"File too large"},
         [](Scene& s, const CommandResult&) { BothOld(s, "out.m4a", "out-vocals.m4a"); }},
        {"P1_AFifoAtTheVocalsNameIsNeverRemoved",
         [](Scene& s) {
             s.Wav("long.wav", 20);
             s.Put("out.wav", "old output");
             return CliRun{{"render", "--mode", "original", "--stems", "long.wav", "out.wav"},
                           {},
                           600,
                           CliRun::How::Plain,
                           "mkfifo out-vocals.wav && "
                           "(timeout 60 cat out-vocals.wav >/dev/null 2>&1 </dev/null &)"};
         },
         1,
         {"File too large"},
         [](Scene& s, const CommandResult&) { BothOld(s, "out.wav", "out-vocals.wav"); }},
        // --- 2: --no-clobber and the "replaced" notice count the vocals ---------------------
        {"P2_NoClobberLeavesExistingVocals",
         [](Scene& s) {
             s.Wav("a.wav");
             s.Wav("b.wav");
             fs::create_directory(s / "out");
             s.Put("out/a-vocals.wav", "old vocals");
             return CliRun{
                 {"render", "--no-clobber", "--stems", "--output-dir", "out", "a.wav", "b.wav"}};
         },
         0,
         {"out/a-vocals.wav exists; left as it was (--no-clobber)"},
         [](Scene& s, const CommandResult&) {
             EXPECT_EQ(s.Text("out/a-vocals.wav"), "old vocals");
             EXPECT_FALSE(fs::exists(s / "out/a.wav")) << "half a pair";
             EXPECT_TRUE(fs::exists(s / "out/b.wav") && fs::exists(s / "out/b-vocals.wav"));
         }},
        {"P2_ReplacedVocalsAreTold",
         [](Scene& s) {
             s.Wav("a.wav");
             fs::create_directory(s / "out");
             s.Put("out/a-vocals.wav", "old vocals");
             return CliRun{{"render", "--stems", "--output-dir", "out", "a.wav"}};
         },
         0,
         {"out/a-vocals.wav replaced"}},
        // --- 4: two outputs of a batch that are one file through a link ----------------------
        {"P4_BatchOutputsLinkedToOneFile",
         [](Scene& s) {
             s.Wav("a.wav");
             s.Wav("b.wav");
             fs::create_directory(s / "out");
             s.Put("out/a.wav", "old a");
             s.Link("out/b.wav", "a.wav");
             return CliRun{{"render", "--output-dir", "out", "a.wav", "b.wav"}};
         },
         1,
         {"nothing was written"},
         [](Scene& s, const CommandResult& r) {
             EXPECT_EQ(s.Text("out/a.wav"), "old a");
             EXPECT_EQ(r.err.find("replaced"), std::string::npos) << r.err;
         }},
        {"P4_BatchOutputsLinkedToOneFileThatIsNotThereYet",
         [](Scene& s) {
             s.Wav("a.wav");
             s.Wav("b.wav");
             fs::create_directory(s / "out");
             s.Link("out/b.wav", "a.wav");
             return CliRun{{"render", "--output-dir", "out", "a.wav", "b.wav"}};
         },
         1,
         {"nothing was written"},
         [](Scene& s, const CommandResult&) { EXPECT_FALSE(fs::exists(s / "out/a.wav")); }},
        // --- 5: outputs that cannot be gone back into ----------------------------------------
        {"P5_M4aIntoAFifoIsRefused",
         [](Scene& s) {
             s.Wav("in.wav");
             return CliRun{{"render", "in.wav", "x.m4a"},
                           {},
                           0,
                           CliRun::How::Plain,
                           "mkfifo x.m4a && (timeout 60 cat x.m4a >/dev/null 2>&1 </dev/null &)"};
         },
         1,
         {"x.m4a: M4A cannot be written to a pipe"},
         [](Scene& s, const CommandResult&) { EXPECT_TRUE(fs::is_fifo(s / "x.m4a")); }},
        {"P5_Mp3IntoAPipeIsRefused",
         [](Scene& s) {
             s.Wav("in.wav");
             s.Link("so.mp3", "/dev/stdout");
             return CliRun{{"render", "in.wav", "so.mp3"}, {}, 0, CliRun::How::Piped};
         },
         1,
         {"MP3 cannot be written to a pipe"},
         [](Scene&, const CommandResult& r) { EXPECT_EQ(r.out, ""); }},
        {"P5_FlacIntoAPipeIsTheFilesAudio",
         [](Scene& s) {
             s.Wav("in.wav");
             s.Link("so.flac", "/dev/stdout");
             EXPECT_EQ(s.Tool({"render", "in.wav", "file.flac"}).exitCode, 0);
             return CliRun{{"render", "in.wav", "so.flac"}, {}, 0, CliRun::How::Piped};
         },
         0,
         {},
         [](Scene& s, const CommandResult& r) {
             const Bytes piped(r.out.begin(), r.out.end());
             ASSERT_GT(piped.size(), 8u);
             EXPECT_EQ(std::string(piped.begin(), piped.begin() + 4), "fLaC");
             EXPECT_EQ(piped[4] & 0x7F, 0) << "STREAMINFO first";
             EXPECT_TRUE(FlacFrames(piped) == FlacFrames(ReadFile(s / "file.flac")))
                 << "the same frames as the file's, and nothing after them";
         }},
        {"P5_DecodedWavIntoAPipeSaysWhyItCannot",
         [](Scene& s) {
             EncodeWithFfmpeg(s / "in.flac", "aevalsrc=sin(440*2*PI*t)|sin(550*2*PI*t):d=1");
             s.Link("so.wav", "/dev/stdout");
             return CliRun{{"render", "in.flac", "so.wav"}, {}, 0, CliRun::How::Piped};
         },
         1,
         {"so.wav: Error writing output wave file...: a WAV of a decoded input fills in its "
          "sizes at its end, which a pipe cannot take"}},
        // --- 6: stems whose two names are one file ---------------------------------------------
        {"P6_VocalsLinkedToTheOutputIsRefused",
         [](Scene& s) {
             s.Wav("in.wav");
             s.Link("out-vocals.wav", "out.wav");
             return CliRun{{"render", "--stems", "in.wav", "out.wav"}};
         },
         1,
         {"out-vocals.wav: Enter a different filename"},
         [](Scene& s, const CommandResult&) { EXPECT_FALSE(fs::exists(s / "out.wav")); }},
        {"P6_OutputLinkedToTheVocalsIsRefused",
         [](Scene& s) {
             s.Wav("in.wav");
             s.Link("out.wav", "out-vocals.wav");
             return CliRun{{"render", "--stems", "in.wav", "out.wav"}};
         },
         1,
         {"Enter a different filename"},
         [](Scene& s, const CommandResult&) { EXPECT_FALSE(fs::exists(s / "out-vocals.wav")); }},
        // --- 8: numbers parsed strictly ---------------------------------------------------------
        {"P8_KeyMinusMinus3",
         [](Scene& s) {
             s.Wav("in.wav");
             return CliRun{{"render", "--key", "--3", "in.wav", "o.wav"}};
         },
         2,
         {"--key must be"}},
        {"P8_KeyPlusMinus1_5",
         [](Scene& s) {
             s.Wav("in.wav");
             return CliRun{{"render", "--key", "+-1.5", "in.wav", "o.wav"}};
         },
         2,
         {"--key must be"}},
        {"P8_KeyMinusMinus1_5",
         [](Scene& s) {
             s.Wav("in.wav");
             return CliRun{{"render", "--key=--1.5", "in.wav", "o.wav"}};
         },
         2,
         {"--key must be"}},
        {"P8_KeyThatOverflows",
         [](Scene& s) {
             s.Wav("in.wav");
             return CliRun{{"render", "--key", "+-429496730", "in.wav", "o.wav"}};
         },
         2,
         {"--key must be"}},
        {"P8_KeyMinusMinus3InThePresetsFile",
         [](Scene& s) {
             s.Wav("in.wav");
             s.Presets("[Mine]\n" + kGoodPreset + "key = --3\n");
             return CliRun{{"render", "--preset", "Mine", "in.wav", "o.wav"}};
         },
         2,
         {"key must be a number from", "unknown preset 'Mine'"},
         [](Scene& s, const CommandResult&) { EXPECT_FALSE(fs::exists(s / "o.wav")); }},
        // --- 10: streams too short for their format -----------------------------------------
        {"P10_NoFramesToMp3",
         [](Scene& s) {
             return CliRun{{"render", s.Frames("zero.wav", 0), "o.mp3"}};
         },
         1,
         {"the input holds no audio"},
         [](Scene& s, const CommandResult&) { EXPECT_FALSE(fs::exists(s / "o.mp3")); }},
        {"P10_NoFramesToOpus",
         [](Scene& s) {
             return CliRun{{"render", s.Frames("zero.wav", 0), "o.opus"}};
         },
         1,
         {"the input holds no audio"},
         [](Scene& s, const CommandResult&) { EXPECT_FALSE(fs::exists(s / "o.opus")); }},
        {"P10_NoFramesToOgg",
         [](Scene& s) {
             return CliRun{{"render", s.Frames("zero.wav", 0), "o.ogg"}};
         },
         1,
         {"the input holds no audio"},
         [](Scene& s, const CommandResult&) { EXPECT_FALSE(fs::exists(s / "o.ogg")); }},
        {"P10_OneFrameToOpus",
         [](Scene& s) {
             return CliRun{{"render", s.Frames("one.wav", 1), "o.opus"}};
         },
         1,
         {"too few for a file of this format"},
         [](Scene& s, const CommandResult&) { EXPECT_FALSE(fs::exists(s / "o.opus")); }},
        {"P10_OneFrameToM4a",
         [](Scene& s) {
             return CliRun{{"render", s.Frames("one.wav", 1), "o.m4a"}};
         },
         1,
         {"too few for a file of this format"},
         [](Scene& s, const CommandResult&) { EXPECT_FALSE(fs::exists(s / "o.m4a")); }},
        {"P10_NoFramesInAnotherKeyIsAnEmptyWav",
         [](Scene& s) {
             return CliRun{{"render", "--key", "3", s.Frames("zero.wav", 0), "o.wav"}};
         },
         0,
         {},
         [](Scene& s, const CommandResult& r) {
             EXPECT_EQ(r.err.find("not an audio file"), std::string::npos) << r.err;
             const CommandResult probe =
                 RunCommand({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of",
                             "csv=p=0", (s / "o.wav").string()});
             EXPECT_EQ(probe.exitCode, 0) << probe.err;
         }},
        // --- 11: bit rates an MP3 cannot have --------------------------------------------------
        {"P11_Bitrate8",
         [](Scene& s) {
             return CliRun{{"render", "--bitrate", "8", s.Wav("in.wav"), "o.mp3"}};
         },
         1,
         {"cannot have 8 kbps", "32, 40, 48, 56, 64, 80, 96, 112, 128"},
         [](Scene& s, const CommandResult&) { EXPECT_FALSE(fs::exists(s / "o.mp3")); }},
        {"P11_Bitrate24",
         [](Scene& s) {
             return CliRun{{"render", "--bitrate", "24", s.Wav("in.wav"), "o.mp3"}};
         },
         1,
         {"cannot have 24 kbps"}},
        {"P11_Bitrate33",
         [](Scene& s) {
             return CliRun{{"render", "--bitrate", "33", s.Wav("in.wav"), "o.mp3"}};
         },
         1,
         {"cannot have 33 kbps"}},
        {"P11_Bitrate100",
         [](Scene& s) {
             return CliRun{{"render", "--bitrate", "100", s.Wav("in.wav"), "o.mp3"}};
         },
         1,
         {"cannot have 100 kbps"}},
        {"P11_Bitrate16At22kHzIsWritten",
         [](Scene& s) {
             return CliRun{{"render", "--bitrate", "16", s.Wav("in.wav", 1, 22050), "o.mp3"}};
         },
         0,
         {}},
        // --- 12: a name that is an extension alone -----------------------------------------
        {"P12_ANameThatIsOnlyAnExtension",
         [](Scene& s) {
             s.Put(".mp3", "mine");
             return CliRun{{"render", s.Wav("in.wav"), ".mp3"}};
         },
         2,
         {"a file named only .mp3 has no name before its extension"},
         [](Scene& s, const CommandResult&) { EXPECT_EQ(s.Text(".mp3"), "mine"); }},
        // --- 13: a file-size limit -------------------------------------------------------------
        {"P13_FileSizeLimitIsToldAndLeavesNoTemporary",
         [](Scene& s) {
             return CliRun{{"render", s.Wav("long.wav", 10), "o.wav"}, {}, 300};
         },
         1,
         {"o.wav: Error writing output wave file...: File too large"},
         [](Scene& s, const CommandResult&) {
             EXPECT_FALSE(fs::exists(s / "o.wav"));
             EXPECT_EQ(s.Leftovers(), std::vector<std::string>{});
         }},
        // --- 15: a presets file of thousands ---------------------------------------------------
        {"P15_PresetsFileOfThousandsLoadsAtOnce",
         [](Scene& s) {
             std::string text;
             for (int i = 0; i < 7692; ++i) {
                 text += "[p" + std::to_string(i) + "]\n" + kGoodPreset + "\n";
             }
             s.Presets(text);
             s.Wav("in.wav");
             return CliRun{{"render", "--preset", "p1", "in.wav", "o.wav"}};
         },
         0,
         {"the file holds more than 500 presets"},
         [](Scene&, const CommandResult& r) {
             EXPECT_LT(std::count(r.err.begin(), r.err.end(), '\n'), 3) << "one word, not 7,192";
         }},
        // --- 16: a device name of a hundred kilobytes -----------------------------------------
        {"P16_AHugeDeviceNameIsElided",
         [](Scene& s) {
             s.Put("null.conf", "pcm.!default { type null }\n");
             return CliRun{
                 {"play", "--once", "--device", std::string(100000, 'D'), s.Wav("in.wav")},
                 {"ALSA_CONFIG_PATH=" + (s / "null.conf").string()}};
         },
         0,
         {"is not there; playing on the default device"},
         [](Scene&, const CommandResult& r) { EXPECT_LT(r.err.size(), 400u) << r.err.size(); }},
        // --- 18: messages ----------------------------------------------------------------------
        {"P18_FullOrLimitedMp3SaysItsFormatAndCause",
         [](Scene& s) {
             return CliRun{{"render", s.Wav("long.wav", 30), "o.mp3"}, {}, 100};
         },
         1,
         {"o.mp3: Error writing output MP3 file...: File too large"}},
        {"P18_Mp3ThatCannotBeCreatedSaysItsFormat",
         [](Scene& s) {
             return CliRun{{"render", s.Wav("in.wav"), "nowhere/o.mp3"}};
         },
         1,
         {"nowhere/o.mp3: Error creating output MP3 file...: No such file or directory"}},
        {"P18_PlayOfAMissingFileSaysWhy",
         [](Scene& s) {
             s.Put("null.conf", "pcm.!default { type null }\n");
             return CliRun{{"play", "--once", "missing.mp3"},
                           {"ALSA_CONFIG_PATH=" + (s / "null.conf").string()}};
         },
         1,
         {"missing.mp3: Error reading input wave file...: No such file or directory"}},
        {"P18_NoSoundDeviceLineSaysWhoseItIs",
         [](Scene& s) {
             s.Put("missing.conf", "pcm.!default { type hw card 7 }\n");
             return CliRun{{"play", "--once", s.Wav("in.wav")},
                           {"ALSA_CONFIG_PATH=" + (s / "missing.conf").string()}};
         },
         1,
         {"zerbex2-cli: A sound device was not found!"}},
        {"P18_InterruptedNewOutputWasNeverThere",
         [](Scene& s) {
             s.Wav("long.wav", 600, 44100);
             return CliRun{
                 {"render", "-j", "1", "long.wav", "cc.mp3"}, {}, 0, CliRun::How::Interrupted};
         },
         1,
         {"interrupted; nothing was written to cc.mp3"},
         [](Scene& s, const CommandResult&) { EXPECT_FALSE(fs::exists(s / "cc.mp3")); }},
        {"P18_NoDeviceToListIsSaid",
         [](Scene& s) {
             s.Put("missing.conf", "pcm.!default { type hw card 7 }\n");
             return CliRun{{"devices"}, {"ALSA_CONFIG_PATH=" + (s / "missing.conf").string()}};
         },
         1,
         {"zerbex2-cli: no sound output device found"}},
        {"P18_ControlBytesOfThePresetsFileAreEscaped",
         [](Scene& s) {
             s.Presets("[Mine]\n" + kGoodPreset + "\x1b]0;owned\x07\x1b[2J = 1\n");
             return CliRun{{"render", "--preset", "Mine", s.Wav("in.wav"), "o.wav"}};
         },
         2,
         {"\\x1b]0;owned\\x07\\x1b[2J"},
         [](Scene&, const CommandResult& r) {
             EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
             EXPECT_EQ(r.err.find('\x07'), std::string::npos);
         }},
        {"P18_ControlBytesOfAFileNameAreEscaped",
         [](Scene&) {
             return CliRun{{"render", "no\x1b[2Jsuch.wav", "o.wav"}};
         },
         1,
         {"no\\x1b[2Jsuch.wav: Error reading input wave file"},
         [](Scene&, const CommandResult& r) { EXPECT_EQ(r.err.find('\x1b'), std::string::npos); }},
        // --- 19: a byte-order mark -------------------------------------------------------------
        {"P19_ByteOrderMarkBeforeTheFirstPreset",
         [](Scene& s) {
             s.Presets("\xEF\xBB\xBF[Mine]\n" + kGoodPreset);
             return CliRun{{"render", "--preset", "Mine", s.Wav("in.wav"), "o.wav"}};
         },
         0,
         {},
         [](Scene&, const CommandResult& r) { EXPECT_EQ(r.err, ""); }},
        // --- 20: a suggestion for a centred tone ----------------------------------------------
        {"P20_SuggestionForACentredToneRemovesNoLessThanTheStartUp",
         [](Scene& s) {
             EncodeWithFfmpeg(s / "tone.wav",
                              "aevalsrc=0.5*sin(440*2*PI*t)|0.5*sin(440*2*PI*t):s=44100:d=10");
             return CliRun{{"suggest", "tone.wav"}};
         },
         0,
         {},
         [](Scene& s, const CommandResult& r) {
             // The suggested command line: "zerbex2-cli render --pan P ... --right R tone.wav".
             const std::string prefix = "zerbex2-cli render ";
             const std::size_t from = r.out.find(prefix + "--pan ");
             ASSERT_NE(from, std::string::npos) << r.out;
             const std::size_t end = r.out.find(" tone.wav", from);
             ASSERT_NE(end, std::string::npos) << r.out;
             const std::string line =
                 r.out.substr(from + prefix.size(), end - from - prefix.size());
             std::vector<std::string> args = {"render"};
             std::istringstream words(line);
             for (std::string word; words >> word;) {
                 args.push_back(word);
             }
             const char* const names[] = {"--pan", "--low", "--high", "--left", "--right"};
             ASSERT_EQ(args.size(), 11u) << line;
             for (std::size_t i = 0; i < 5; ++i) {
                 EXPECT_EQ(args[1 + 2 * i], names[i]) << line;
             }
             args.insert(args.end(), {"tone.wav", "suggested.wav"});
             ASSERT_EQ(s.Tool(args).exitCode, 0);
             ASSERT_EQ(s.Tool({"render", "tone.wav", "startup.wav"}).exitCode, 0);
             EXPECT_LE(LevelDb(s / "suggested.wav"), LevelDb(s / "startup.wav") + 0.1) << line;
         }},
        // --- 21: --no-clobber in the help ------------------------------------------------------
        {"P21_NoClobberIsInTheHelp",
         [](Scene&) { return CliRun{{"--help"}}; },
         0,
         {},
         [](Scene&, const CommandResult& r) {
             EXPECT_NE(r.out.find("--no-clobber"), std::string::npos);
         }},
    };
    return cases;
}

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class HostileCli : public ::testing::TestWithParam<Case> {};

TEST_P(HostileCli, NothingLostNoWrongFileAndTheTrueReason) {
    const Case& c = GetParam();
    Scene scene;
    const CliRun run = c.setUp(scene);
    const CommandResult r = RunCase(scene, run);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    for (const std::string& text : c.says) {
        EXPECT_NE(r.err.find(text), std::string::npos) << "says: " << text << "\n" << r.err;
    }
    if (c.check) {
        c.check(scene, r);
    }
}

INSTANTIATE_TEST_SUITE_P(Attacked, HostileCli, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& param) {
                             return std::string(param.param.name);
                         });

// The man page tells --no-clobber as the help does.
TEST(HostileCliManPage, TellsNoClobber) {
    const Bytes page = ReadFile(ZERBEX_CLI_MAN_PAGE);
    EXPECT_NE(std::string(page.begin(), page.end()).find("\\-\\-no\\-clobber"), std::string::npos);
}

}  // namespace
