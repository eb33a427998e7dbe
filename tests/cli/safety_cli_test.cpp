// What can go wrong when a user, a script or a hostile file meets the tool on the decoding
// side: nothing of the user's is lost or deleted, nothing hangs, a failure names its cause,
// and no tag costs more than its audio.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/test_support/command.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;

namespace {

const std::string kCli = ZERBEX_CLI;

// A run of a child with what it cost: its own peak memory and processor time.
struct Measured {
    int exitCode = -1;
    long peakKb = 0;
    double cpuSeconds = 0;
};

// Forked, not spawned: a spawned child shares the test's memory until it runs the tool, and
// the system counts the test's peak as the child's.
Measured RunMeasured(const std::vector<std::string>& argv) {
    std::vector<std::string> argStrings = argv;
    const std::vector<char*> args = SpawnPointers(argStrings);
    Measured m;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
        m.exitCode = WEXITSTATUS(status);
    }
    m.peakKb = usage.ru_maxrss;
    m.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return m;
}

// A size in seven bits a byte, as ID3v2 writes it.
Bytes Syncsafe(std::size_t size) {
    Bytes out;
    for (int shift = 21; shift >= 0; shift -= 7) {
        out.push_back(static_cast<std::uint8_t>((size >> shift) & 0x7F));
    }
    return out;
}

class SafetyCli : public ::testing::Test {
  protected:
    TempDir dir;
    TempDir cache;

    CommandResult Cli(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {kCli};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunCommand(argv, {"XDG_CACHE_HOME=" + cache.Path().string()});
    }
    fs::path Encode(const std::string& name, const std::vector<std::string>& extra = {},
                    const std::string& seconds = "1") {
        return EncodeWithFfmpeg(
            dir / name, "aevalsrc=sin(440*2*PI*t)*0.5|sin(660*2*PI*t)*0.4:s=44100:d=" + seconds,
            extra);
    }
    fs::path Wav(const std::string& name, std::uint16_t channels = 2) {
        WriteFile(dir / name, SimpleWav(TestSignal(4000), channels));
        return dir / name;
    }
};

// An empty folder or output name, as a script with an unset variable passes it, must not
// become a render over the second input.
TEST_F(SafetyCli, EmptyNamesAreUsageErrorsAndTouchNothing) {
    const fs::path first = Encode("x.mp3");
    const fs::path second = Encode("z.mp3");
    const Bytes before = ReadFile(second);
    const std::vector<std::vector<std::string>> cases = {
        {"render", "--output-dir", "", first, second},
        {"render", "--output-dir=", first, second},
        {"render", Wav("in.wav"), ""},
        {"render", "", second},
    };
    for (const std::vector<std::string>& args : cases) {
        const CommandResult r = Cli(args);
        EXPECT_EQ(r.exitCode, 2) << args[1] << " " << args[2];
        EXPECT_NE(r.err.find("Try 'zerbex2-cli --help'"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(ReadFile(second) == before);
    for (const auto& entry : fs::directory_iterator(fs::current_path())) {
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
    }
}

// Each failure says what is wrong, about which file, in the system's words where it has any.
TEST_F(SafetyCli, MessagesNameTheFileAndTheRealCause) {
    const fs::path in = Wav("in.wav");
    const fs::path missing = dir / "missing.wav";
    const fs::path nowhere = dir / "no" / "such" / "out.wav";
    const fs::path mono = Wav("mono.wav", 1);
    const fs::path notFolder = Wav("notes.wav");
    WriteFile(cache / "zerbex2", Bytes(4, 1));  // the cache folder is a file
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string says;
    } cases[] = {
        {{"render", missing, dir / "a.wav"},
         1,
         "zerbex2-cli: " + missing.string() +
             ": Error reading input wave file...: No such file or directory\n"},
        {{"render", in, nowhere},
         1,
         "zerbex2-cli: " + nowhere.string() +
             ": Error creating output wave file...: No such file or directory\n"},
        {{"render", mono, dir / "m.wav"},
         1,
         "zerbex2-cli: " + mono.string() + ": Error code 1101, Input not stereo! \n"},
        {{"render", "--output-dir", notFolder, in}, 1, notFolder.string() + " is not a folder"},
        {{"play", "--once", Encode("p.mp3")},
         1,
         "The cache folder " + (cache / "zerbex2").string() +
             " cannot be used: it is not a folder"},
    };
    for (const auto& c : cases) {
        const CommandResult r = Cli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    // Names the temporary name would make too long, and a link to a pipe, are written.
    const fs::path longName = dir / (std::string(250, 'n') + ".wav");
    EXPECT_EQ(Cli({"render", in, longName}).exitCode, 0);
    EXPECT_TRUE(fs::exists(longName));
    const CommandResult piped = Cli({"render", in, "/dev/stdout"});
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_TRUE(Bytes(piped.out.begin(), piped.out.end()) == ReadFile(longName));
}

// A FIFO nobody reads would block the output's open for ever: one Ctrl-C ends it.
TEST_F(SafetyCli, AFifoWithoutAReaderEndsOnOneInterrupt) {
    const fs::path fifo = dir / "out.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string in = Wav("in.wav").string();
    char* args[] = {const_cast<char*>(kCli.c_str()), const_cast<char*>("render"),
                    const_cast<char*>(in.c_str()), const_cast<char*>(fifo.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, args[0], nullptr, nullptr, args, environ), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ::kill(pid, SIGINT);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (ended == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    EXPECT_EQ(ended, pid) << "still waiting for a reader after Ctrl-C";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

// A batch tells each file it replaced; with --no-clobber it leaves them as they are.
TEST_F(SafetyCli, BatchesSayWhatTheyReplaceAndNoClobberLeavesIt) {
    const fs::path in = Wav("song.wav");
    const fs::path out = dir / "out";
    fs::create_directory(out);
    const Bytes old(100, 7);
    WriteFile(out / "song.wav", old);
    CommandResult r = Cli({"render", "--no-clobber", "--output-dir", out, in});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find((out / "song.wav").string() + " exists; left as it was"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(ReadFile(out / "song.wav") == old);
    r = Cli({"render", "--output-dir", out, in});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find((out / "song.wav").string() + " replaced"), std::string::npos) << r.err;
    EXPECT_FALSE(ReadFile(out / "song.wav") == old);
    EXPECT_EQ(Cli({"render", "--no-clobber", in, dir / "x.wav"}).exitCode, 2);
}

// A file that holds less than it declares is written as far as it goes, and the tool says so.
TEST_F(SafetyCli, ADecodedInputCutShortIsWrittenWithAWarning) {
    const Bytes whole = ReadFile(Encode("whole.flac", {}, "10"));
    const fs::path cut = dir / "cut.flac";
    WriteFile(cut,
              Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 3)));
    const CommandResult r = Cli({"render", cut, dir / "cut.wav"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("zerbex2-cli: " + cut.string() + ": decoded "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(" of the 10 s it declares"), std::string::npos) << r.err;
}

// Bytes of a FLAC file's metadata blocks up to its audio frames, and the frames.
std::pair<Bytes, Bytes> FlacParts(const Bytes& flac) {
    std::size_t at = 4;
    for (bool last = false; !last && at + 4 <= flac.size();) {
        last = (flac[at] & 0x80) != 0;
        at += 4 + ((flac[at + 1] << 16) | (flac[at + 2] << 8) | flac[at + 3]);
    }
    return {Bytes(flac.begin(), flac.begin() + 4 + 4 + 34),
            Bytes(flac.begin() + static_cast<std::ptrdiff_t>(at), flac.end())};
}

// Tags that would cost minutes of processor time or gigabytes of memory to read are left
// unread; the audio is written.
TEST_F(SafetyCli, TagsTooManyOrTooLargeCostLittle) {
    auto [head, frames] = FlacParts(ReadFile(Encode("plain.flac")));
    head[4] &= 0x7F;  // the stream info is no longer the last block
    Bytes comments;
    AppendLe32(comments, 4);
    comments.insert(comments.end(), {'t', 'e', 's', 't'});
    AppendLe32(comments, 200000);
    for (int i = 0; i < 200000; ++i) {
        const std::string tag = "K" + std::to_string(i) + "=v";
        AppendLe32(comments, static_cast<std::uint32_t>(tag.size()));
        comments.insert(comments.end(), tag.begin(), tag.end());
    }
    const Bytes blockHeader = {0x84, static_cast<std::uint8_t>(comments.size() >> 16),
                               static_cast<std::uint8_t>(comments.size() >> 8),
                               static_cast<std::uint8_t>(comments.size())};
    WriteFile(dir / "comments.flac", Concat({head, blockHeader, comments, frames}));

    // An ID3v2.4 tag of one 100 MB text frame before the MP3 frames, written a piece at a
    // time so that the test itself stays small.
    const std::size_t value = 100u << 20;
    {
        std::ofstream tagged(dir / "tagged.mp3", std::ios::binary);
        const Bytes id3 = Concat({{'I', 'D', '3', 4, 0, 0},
                                  Syncsafe(10 + value),
                                  {'T', 'X', 'X', 'X'},
                                  Syncsafe(value),
                                  {0, 0}});
        tagged.write(reinterpret_cast<const char*>(id3.data()), id3.size());
        const std::string piece(1 << 20, 'x');
        for (std::size_t written = 0; written < value; written += piece.size()) {
            tagged.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        }
        const Bytes mp3 = ReadFile(Encode("plain.mp3", {"-id3v2_version", "0"}));
        tagged.write(reinterpret_cast<const char*>(mp3.data()),
                     static_cast<std::streamsize>(mp3.size()));
    }
    for (const char* name : {"comments.flac", "tagged.mp3"}) {
        const Measured m = RunMeasured(
            {kCli, "render", (dir / name).string(), (dir / (std::string(name) + ".wav")).string()});
        EXPECT_EQ(m.exitCode, 0) << name;
        EXPECT_LT(m.cpuSeconds, 20.0) << name;
        EXPECT_LT(m.peakKb, 200 * 1024) << name;
        EXPECT_GT(fs::file_size(dir / (std::string(name) + ".wav")), 100000u) << name;
    }
}

// Tags reach the output as clean text, and no longer than a WAV header should hold.
TEST_F(SafetyCli, TagsReachTheOutputAsCleanBoundedText) {
    const std::string title = "bad\xFF\x01name";
    const std::string comment(100 << 10, 'c');  // over the 64 KB a tag may take
    const fs::path in =
        Encode("tagged.flac", {"-metadata", "title=" + title, "-metadata", "comment=" + comment});
    ASSERT_EQ(Cli({"render", in, dir / "out.wav"}).exitCode, 0);
    const Bytes out = ReadFile(dir / "out.wav");
    const std::string text(out.begin(), out.end());
    EXPECT_NE(text.find("INAM"), std::string::npos);
    EXPECT_NE(text.find("bad\xEF\xBF\xBDname"), std::string::npos);
    EXPECT_LT(out.size(), 44100u * 4 + (128u << 10)) << "the comment is cut, the header small";
    const std::uint32_t riffSize = out[4] | (out[5] << 8) | (out[6] << 16) | (out[7] << 24);
    EXPECT_EQ(riffSize, out.size() - 8);
}

// Suggestions for a decoded input look at a few excerpts, with no copy of the whole song.
TEST_F(SafetyCli, SuggestNeedsNoCopyOfTheSong) {
    WriteFile(cache / "zerbex2", Bytes(4, 1));  // no cache folder to be had
    const CommandResult r = Cli({"suggest", Encode("song.flac", {}, "30")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("zerbex2-cli render --pan"), std::string::npos) << r.out;
}

}  // namespace
