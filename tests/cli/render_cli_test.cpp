// zerbex2-cli render as a user runs it: exit status, messages, and what happens to files.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <filesystem>

#include "command.h"
#include "job_runner.h"
#include "options.h"
#include "parameters.h"
#include "window_state.h"

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
    options.pan = -12;
    options.low = 3;
    options.high = 70;
    options.left = 2;
    options.right = 20;
    options.outputLevel = 9;
    WindowState expected;
    ApplyRenderOptions(options, expected);
    EXPECT_TRUE(ReadFile(output) == ExpectedWrite(inputBytes, expected));
}

TEST_F(RenderCli, DefaultsAreModeTwoAtTheStartUpPositions) {
    ASSERT_EQ(Render({input, output}).exitCode, 0);
    WindowState startUp;
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

TEST_F(RenderCli, NeverWritesOverItsOwnInputUnderAnySpelling) {
    const fs::path hardLink = dir / "hard.wav";
    const fs::path symLink = dir / "sym.wav";
    fs::create_hard_link(input, hardLink);
    fs::create_symlink(input, symLink);
    const fs::path dotted = dir.Path() / "." / "in.wav";
    for (const fs::path& out : {input, hardLink, symLink, dotted}) {
        const CommandResult r = Render({input, out});
        EXPECT_EQ(r.exitCode, 1) << out;
        EXPECT_EQ(r.err,
                  "Enter a different filename. Trying to write to the input filename is not "
                  "allowed.\n");
        EXPECT_TRUE(ReadFile(input) == inputBytes) << out;
    }
    EXPECT_TRUE(NoTempFilesIn(dir.Path()));
}

TEST_F(RenderCli, RefusedOrUnreadableInputLeavesTheOutputAsItWas) {
    const Bytes previous(777, 0x5A);
    WriteFile(output, previous);
    const fs::path mono = dir / "mono.wav";
    WriteFile(mono, SimpleWav(std::vector<std::int16_t>(1000, 9), 1));
    CommandResult r = Render({mono, output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error code 1101, Input not stereo! \n");
    EXPECT_TRUE(ReadFile(output) == previous);

    r = Render({(dir / "missing.wav").string(), output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error reading input wave file...\n");
    EXPECT_TRUE(ReadFile(output) == previous);

    r = Render({input, (dir / "no-such-folder" / "out.wav").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error creating output wave file...\n");
    EXPECT_TRUE(NoTempFilesIn(dir.Path()));
}

// Devices are written into, never replaced: /dev/full reports a full disk, /dev/null
// swallows the output, and both stay devices.
TEST_F(RenderCli, DevicesAreWrittenIntoAndFullDiskIsAWriteError) {
    if (!fs::is_character_file("/dev/full") || !fs::is_character_file("/dev/null")) {
        GTEST_SKIP() << "no /dev/full or /dev/null";
    }
    CommandResult r = Render({input, "/dev/full"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error writing output wave file...\n");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));

    r = Render({input, "/dev/null"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// Ctrl-C or SIGTERM stops a render: the old output stays and no temporary file is left.
TEST_F(RenderCli, InterruptedRenderLeavesTheOutputAsItWas) {
    // Six minutes of sound: long enough to be caught in the middle.
    const fs::path big = dir / "big.wav";
    WriteFile(big, SimpleWav(std::vector<std::int16_t>(44100 * 2 * 360, 1234)));
    const Bytes previous(321, 0x42);
    WriteFile(output, previous);
    const std::string bigPath = big.string();
    const std::string outPath = output.string();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, 2);
        ::execl(kCli.c_str(), kCli.c_str(), "render", bigPath.c_str(), outPath.c_str(), nullptr);
        ::_exit(127);
    }
    // Once its temporary file is there, the render is under way.
    for (int i = 0; i < 5000 && NoTempFilesIn(dir.Path()); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_TRUE(ReadFile(output) == previous);
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
    EXPECT_NE(r.err.find("zerbex2-cli: " + missing + ": Error reading input wave file...\n"),
              std::string::npos)
        << r.err;
    RenderOptions options;
    options.low = 3;
    WindowState params;
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
    const fs::path text = dir / "notes.wav";
    WriteFile(text, Bytes(3000, 'n'));
    const CommandResult r = RunCommand({kCli, "play", text.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
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
        {{"render", "--mode", "karaoke", "a", "b"}, "--mode must be one of"},
        {{"render", "--frobnicate", "a", "b"}, "unknown option '--frobnicate'"},
        {{"render", "a"}, "render needs INPUT and OUTPUT"},
        {{"render", "a", "b", "c"}, "render takes exactly INPUT and OUTPUT"},
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
    for (const char* word : {"Usage: zerbex2-cli", "render", "--mode", "--pan", "--low", "--high",
                             "--left", "--right", "--output-level"}) {
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(RunCommand({kCli, "render", "--help"}).exitCode, 0);
}

}  // namespace
