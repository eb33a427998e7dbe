// zerbex2-cli render as a user runs it: exit status, messages and the output it writes.
// How it fails is tested with the other file faults in reliability/fault_test.cpp.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cli/options.h"
#include "tests/test_support/command.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;

namespace {

const std::string kCli = ZERBEX_CLI;

CommandResult Render(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {kCli, "render"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv);
}

bool NoTempFilesIn(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".tmp") {
            return false;
        }
    }
    return true;
}

class RenderCli : public ::testing::Test {
  protected:
    TempDir dir;
    fs::path input = dir / "in.wav";
    fs::path output = dir / "out.wav";
    Bytes inputBytes = SimpleWav(TestSignal(20000));

    void SetUp() override { WriteFile(input, inputBytes); }
};

TEST_F(RenderCli, WritesTheProcessedCopyWithTheGivenPositions) {
    const CommandResult r =
        Render({"--mode", "high", "--pan=-12", "--low", "3", "--high", "70", "--left", "2",
                "--right", "20", "--output-level", "9", input, output});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    RenderOptions options;
    options.mode = PlayMode::High;
    options.positions.pan = -12;
    options.positions.low = 3;
    options.positions.high = 70;
    options.positions.left = 2;
    options.positions.right = 20;
    options.positions.outputLevel = 9;
    ProcessingParameters expected;
    ApplyRenderOptions(options, expected);
    EXPECT_TRUE(ReadFile(output) == ExpectedWrite(inputBytes, expected));
}

TEST_F(RenderCli, DefaultsAreModeTwoAtTheStartUpPositions) {
    ASSERT_EQ(Render({input, output}).exitCode, 0);
    const ProcessingParameters startUp;
    EXPECT_TRUE(ReadFile(output) == ExpectedWrite(inputBytes, startUp));
}

TEST_F(RenderCli, OverwritesAnExistingOutputAndKeepsItsPermissions) {
    WriteFile(output, Bytes(5000, 0xAB));
    ::chmod(output.c_str(), 0640);
    ASSERT_EQ(Render({input, output}).exitCode, 0);
    EXPECT_EQ(ReadFile(output).size(), inputBytes.size());
    EXPECT_EQ(fs::status(output).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(NoTempFilesIn(dir.Path()));
}

// A batch writes DIR/NAME.wav for each input, reports each failure by its input and goes
// on; names that clash, or an output that is an input, stop it before anything is written.
TEST_F(RenderCli, BatchWritesEachInputIntoTheFolderAndReportsFailures) {
    const fs::path outDir = dir / "out";
    fs::create_directory(outDir);
    fs::create_directory(dir / "sub");
    const fs::path second = dir / "sub" / "second.take.wav";
    const Bytes secondBytes = SimpleWav(TestSignal(30000, 4));
    WriteFile(second, secondBytes);
    const fs::path mono = dir / "mono.wav";
    WriteFile(mono, SimpleWav(std::vector<std::int16_t>(1000, 9), 1));
    const std::string missing = (dir / "missing.wav").string();

    CommandResult r =
        Render({"--low", "3", "-j", "2", "--output-dir", outDir, input, mono, missing, second});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(
        r.err.find("zerbex2-cli: " + mono.string() + ": Error code 1101, Input not stereo!\n"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("zerbex2-cli: " + missing +
                         ": Error reading input wave file...: No such file or directory\n"),
              std::string::npos)
        << r.err;
    RenderOptions options;
    options.positions.low = 3;
    ProcessingParameters params;
    ApplyRenderOptions(options, params);
    EXPECT_TRUE(ReadFile(outDir / "in.wav") == ExpectedWrite(inputBytes, params));
    EXPECT_TRUE(ReadFile(outDir / "second.take.wav") == ExpectedWrite(secondBytes, params));
    EXPECT_FALSE(fs::exists(outDir / "mono.wav"));
    EXPECT_TRUE(NoTempFilesIn(outDir));

    r = Render({"--output-dir=" + outDir.string(), input});
    EXPECT_EQ(r.exitCode, 0) << r.err;

    fs::remove_all(outDir);
    fs::create_directory(outDir);
    const fs::path sameName = dir / "sub" / "in.wav";
    WriteFile(sameName, inputBytes);
    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{"--output-dir", outDir, input, second, sameName},
          std::vector<std::string>{"--output-dir", dir.Path() / "sub", input, second}}) {
        r = Render(refused);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(fs::is_empty(outDir));
    EXPECT_TRUE(ReadFile(second) == secondBytes);
}

// A file with nothing to play ends the playback instead of starting it again for ever.
TEST_F(RenderCli, PlayingAFileWithoutSampleDataEnds) {
    const fs::path noData = dir / "no-data.wav";
    WriteFile(noData, Riff({Chunk("fmt ", FmtBody(2)), Chunk("junk", Bytes(3000, 'n'))}));
    const CommandResult r = RunCommand({kCli, "play", noData.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

// The command that suggest prints runs as it is, whatever the input's name, and writes
// NAME-karaoke.wav beside the input.
TEST_F(RenderCli, SuggestPrintsACommandTheShellRunsAsItIs) {
    const fs::path bin = fs::path(kCli).parent_path();
    for (const std::string name : {"plain.wav", "it's a $ong (live).wav"}) {
        const fs::path song = dir / name;
        WriteFile(song, inputBytes);
        const CommandResult suggested = RunCommand({kCli, "suggest", song});
        ASSERT_EQ(suggested.exitCode, 0) << suggested.err;
        const std::string out = suggested.out;
        const std::size_t last = out.rfind("zerbex2-cli render ");
        ASSERT_NE(last, std::string::npos) << out;
        const std::string command = out.substr(last, out.find('\n', last) - last);
        const CommandResult ran =
            RunCommand({"sh", "-c", command}, {"PATH=" + bin.string() + ":/usr/bin:/bin"});
        EXPECT_EQ(ran.exitCode, 0) << command << ran.err;
        const fs::path made = dir / (song.stem().string() + "-karaoke.wav");
        EXPECT_TRUE(fs::exists(made)) << command;
    }
}

// The stereo mode at every thread count, with key and tempo after it; the vocals beside each
// output, in its format, for a single render and a batch.
TEST_F(RenderCli, StereoWritesTheSameAtEveryThreadCountAndStemsGoBesideEachOutput) {
    const fs::path outDir = dir / "out";
    fs::create_directory(outDir);
    const fs::path other = dir / "other.wav";
    WriteFile(other, SimpleWav(TestSignal(150000, 6)));
    struct Case {
        std::vector<std::string> args;
        std::vector<fs::path> written;
    };
    const Case cases[] = {
        {{"--mode", "stereo", "--focus", "30", "--pan", "5", other, output}, {output}},
        {{"--mode", "stereo", "--key", "2", "--tempo", "90", other, output}, {output}},
        {{"--stems", "--mode", "stereo", other, dir / "s.flac"},
         {dir / "s.flac", dir / "s-vocals.flac"}},
        {{"--stems", "--mode", "mode2", other, dir / "m.mp3"},
         {dir / "m.mp3", dir / "m-vocals.mp3"}},
        {{"--stems", "--mode", "stereo", "--output-dir", outDir, input, other},
         {outDir / "in.wav", outDir / "in-vocals.wav", outDir / "other.wav",
          outDir / "other-vocals.wav"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args[2]);
        std::vector<Bytes> first;
        for (const char* jobs : {"4", "1"}) {
            std::vector<std::string> args = {"-j", jobs};
            args.insert(args.end(), c.args.begin(), c.args.end());
            const CommandResult r = Render(args);
            ASSERT_EQ(r.exitCode, 0) << r.err;
            for (std::size_t i = 0; i < c.written.size(); ++i) {
                ASSERT_TRUE(fs::exists(c.written[i])) << c.written[i];
                const Bytes bytes = ReadFile(c.written[i]);
                if (first.size() < c.written.size()) {
                    first.push_back(bytes);
                } else {
                    EXPECT_TRUE(bytes == first[i]) << c.written[i];
                }
                fs::remove(c.written[i]);
            }
        }
    }
    EXPECT_TRUE(NoTempFilesIn(dir.Path()));
    EXPECT_TRUE(NoTempFilesIn(outDir));

    // A's vocals and the input named A-vocals would be one file: refused before anything.
    const fs::path clash = dir / "in-vocals.wav";
    WriteFile(clash, inputBytes);
    const CommandResult r = Render({"--stems", "--output-dir", outDir, input, clash});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(outDir));
}

TEST(RenderCliUsage, UsageErrorsSayWhatIsWrongAndExitWithTwo) {
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"render", "--pan", "31", "a", "b"},
         "--pan must be a whole number from -30 to 30 (got '31')"},
        {{"render", "--low=-1", "a", "b"}, "--low must be a whole number from 0 to 40 (got '-1')"},
        {{"render", "--high", "x", "a", "b"}, "--high must be a whole number from 0 to 80"},
        {{"render", "--output-level"}, "option --output-level needs a value"},
        {{"render", "--mode", "karaoke", "a", "b"}, "left, right, stereo (got 'karaoke')"},
        {{"render", "--focus", "101", "a", "b"},
         "--focus must be a whole number from 0 to 100 (got '101')"},
        {{"play", "--focus=-1", "a"}, "--focus must be a whole number from 0 to 100"},
        {{"render", "--frobnicate", "a", "b"}, "unknown option '--frobnicate'"},
        {{"render", "a"}, "render needs INPUT and OUTPUT"},
        {{"render", "a", "b", "c"}, "render takes exactly INPUT and OUTPUT"},
        {{"suggest"}, "suggest needs INPUT"},
        {{"suggest", "a", "b"}, "suggest takes exactly INPUT"},
        {{"suggest", "--pan", "3", "a"}, "unknown option '--pan'"},
        {{"mix", "a", "b"}, "unknown command 'mix'"},
        {{}, "missing command"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {kCli};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const CommandResult r = RunCommand(argv);
        EXPECT_EQ(r.exitCode, 2) << c.mentions;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Try 'zerbex2-cli --help'"), std::string::npos);
    }
}

TEST(RenderCliUsage, HelpListsTheCommandAndEveryOption) {
    const CommandResult r = RunCommand({kCli, "--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* word :
         {"Usage: zerbex2-cli", "render", "suggest", "--mode", "--pan", "--low", "--high", "--left",
          "--right", "--output-level", "stereo", "--focus", "--stems"}) {
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(RunCommand({kCli, "render", "--help"}).exitCode, 0);
}

// Text as roff writes it: a minus sign is "\-".
std::string Roff(const std::string& text) {
    std::string roff;
    for (const char c : text) {
        roff += c == '-' ? std::string("\\-") : std::string(1, c);
    }
    return roff;
}

// The manual page is written from the tool's help: every trackbar with an option is there,
// with its range and default as the table gives them.
TEST(RenderCliUsage, ManualPageDescribesEveryTrackbarOption) {
    const Bytes page = ReadFile(ZERBEX_CLI_MAN_PAGE);
    const std::string text(page.begin(), page.end());
    for (const KnobRow& row : kKnobs) {
        if (row.name[0] == '\0') {
            continue;
        }
        SCOPED_TRACE(row.name);
        const std::string option = ".BI " + Roff(std::string("--") + row.name) + " \" n\"\n";
        const std::size_t at = text.find(option);
        ASSERT_NE(at, std::string::npos) << option;
        const std::string paragraph = text.substr(at, text.find(".TP", at) - at);
        for (const int value : {row.min, row.max}) {
            EXPECT_NE(paragraph.find(Roff(KnobValueText(row, value))), std::string::npos)
                << paragraph;
        }
        EXPECT_NE(paragraph.find("default " + KnobValueText(row, row.start)), std::string::npos)
            << paragraph;
    }
}

}  // namespace
