// Faults around the files of a write job, through the real command-line tool: inputs
// that are no regular file, outputs that cannot be written, links and awkward names.
// Every case must end with a clear message and exit status, leave existing files as they
// were and leave no temporary file behind.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli_runner.h"
#include "fake_window.h"
#include "parameters.h"
#include "wav_builder.h"
#include "wave_job.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitFailed = 1;

const Bytes kKeep = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};

Bytes ValidWav(std::size_t frames) {
    return SimpleWav(TestSignal(frames, 7));
}

bool IsRoot() {
    return ::geteuid() == 0;
}

// A tmpfs mounted over a folder for the life of the object, when the system allows it.
class TmpfsMount {
  public:
    TmpfsMount(const fs::path& where, const std::string& options) : m_where(where) {
        fs::create_directories(where);
        m_mounted = ::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
        m_error = m_mounted ? 0 : errno;
    }
    ~TmpfsMount() {
        if (m_mounted) {
            ::umount2(m_where.c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return m_mounted; }
    const char* Error() const { return std::strerror(m_error); }
    bool MakeReadOnly() {
        return ::mount(nullptr, m_where.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    fs::path m_where;
    bool m_mounted = false;
    int m_error = 0;
};

class CliFaultTest : public ::testing::Test {
  protected:
    // A failed render: exit status 1, the message on stderr, nothing left behind.
    void ExpectFailure(const CliRun& run, const std::string& message, const fs::path& folder) {
        EXPECT_TRUE(run.exited) << "killed by signal " << run.signal;
        EXPECT_EQ(run.exitCode, kExitFailed) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << "stderr: " << run.err;
        EXPECT_TRUE(TempFilesIn(folder).empty()) << "a temporary file was left in " << folder;
    }

    void ExpectKept(const fs::path& path) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << path;
        EXPECT_EQ(ReadFile(path), kKeep) << path << " was changed";
    }

    TempDir m_dir;
};

TEST_F(CliFaultTest, InputsThatAreNoRegularFileAreRefusedWithoutBlocking) {
    const fs::path out = m_dir / "out.wav";
    WriteFile(out, kKeep);
    const fs::path fifo = m_dir / "fifo.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const fs::path zeroLink = m_dir / "zero.wav";
    fs::create_symlink("/dev/zero", zeroLink);

    // A folder is no audio file: it has its own refusal, tested with the other kinds.
    for (const fs::path& input : {fifo, fs::path("/dev/zero"), zeroLink, m_dir / "missing.wav"}) {
        SCOPED_TRACE(input.string());
        CliLimits limits;
        limits.hangGuardSeconds = 30;
        const CliRun run = RunCli({"render", input.string(), out.string()}, limits);
        ExpectFailure(run, kMsgReadError, m_dir.Path());
        ExpectKept(out);
    }
}

TEST_F(CliFaultTest, OutputNamingTheInputIsRefused) {
    const fs::path in = m_dir / "in.wav";
    const Bytes original = ValidWav(3000);
    WriteFile(in, original);
    fs::create_directory(m_dir / "sub");
    const fs::path symlink = m_dir / "link.wav";
    fs::create_symlink("in.wav", symlink);
    const fs::path hardlink = m_dir / "hard.wav";
    fs::create_hard_link(in, hardlink);

    for (const fs::path& out : {in, symlink, hardlink, m_dir / "sub" / ".." / "in.wav"}) {
        SCOPED_TRACE(out.string());
        const CliRun run = RunCli({"render", in.string(), out.string()});
        ExpectFailure(run, kMsgSameFile, m_dir.Path());
        EXPECT_EQ(ReadFile(in), original) << "the input was changed";
    }
    EXPECT_TRUE(fs::is_symlink(symlink));
}

TEST_F(CliFaultTest, OutputThroughALinkReplacesTheFileBehindItAndKeepsTheLink) {
    const fs::path in = m_dir / "in.wav";
    WriteFile(in, ValidWav(3000));
    const fs::path target = m_dir / "target.wav";
    WriteFile(target, kKeep);
    const fs::path link = m_dir / "link.wav";
    fs::create_symlink("target.wav", link);

    const CliRun run = RunCli({"render", in.string(), link.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::file_size(target), fs::file_size(in));
    EXPECT_TRUE(TempFilesIn(m_dir.Path()).empty());
}

TEST_F(CliFaultTest, NamesWithSpacesQuotesAndNonAsciiCharacters) {
    const fs::path folder = m_dir / "dossier d'été \"final\"";
    fs::create_directory(folder);
    const fs::path in = folder / "my song 'live' \"take 2\" — Ünïcødé 日本語.wav";
    const fs::path out = folder / "out $HOME `x` ; *.wav";
    const Bytes input = ValidWav(20000);
    WriteFile(in, input);

    const CliRun run = RunCli({"render", in.string(), out.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    FakeWindow window;
    UpdateDerivedParameters(window.State());
    JobContext context{window};
    const fs::path reference = m_dir / "reference.wav";
    ASSERT_EQ(ProcessWaveFile(context, in.c_str(), reference.c_str(), 0), JobResult::Done);
    EXPECT_EQ(ReadFile(out), ReadFile(reference));
    EXPECT_EQ(ReadFile(in), input);
    EXPECT_TRUE(TempFilesIn(folder).empty());
}

TEST_F(CliFaultTest, FullDeviceAsOutputFailsAndStaysADevice) {
    fs::path full = "/dev/full";
    if (IsRoot()) {
        // Root may write into /dev: use a private node of the same device instead.
        full = m_dir / "full";
        if (::mknod(full.c_str(), S_IFCHR | 0666, ::makedev(1, 7)) != 0) {
            GTEST_SKIP() << "cannot create a device node: " << std::strerror(errno);
        }
        const int fd = ::open(full.c_str(), O_WRONLY);
        if (fd < 0) {
            GTEST_SKIP() << "device nodes are not usable here: " << std::strerror(errno);
        }
        ::close(fd);
    }
    const fs::path in = m_dir / "in.wav";
    WriteFile(in, ValidWav(50000));

    const CliRun run = RunCli({"render", in.string(), full.string()});
    ExpectFailure(run, kMsgWriteError, full.parent_path());
    EXPECT_TRUE(fs::is_character_file(full)) << "the device was replaced";

    const CliRun toNull = RunCli({"render", in.string(), "/dev/null"});
    EXPECT_EQ(toNull.exitCode, 0) << toNull.err;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(CliFaultTest, FullFileSystemKeepsTheOldOutput) {
    if (!IsRoot()) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    const fs::path small = m_dir / "small";
    TmpfsMount mount(small, "size=64k");
    if (!mount.Mounted()) {
        GTEST_SKIP() << "mount is not permitted here: " << mount.Error();
    }
    const fs::path in = m_dir / "in.wav";
    WriteFile(in, ValidWav(40000));  // 160 kB of samples
    const fs::path out = small / "out.wav";
    WriteFile(out, kKeep);

    const CliRun run = RunCli({"render", in.string(), out.string()});
    ExpectFailure(run, kMsgWriteError, small);
    ExpectKept(out);
}

TEST_F(CliFaultTest, FileSizeLimitKeepsTheOldOutput) {
    const fs::path in = m_dir / "in.wav";
    WriteFile(in, ValidWav(40000));
    const fs::path out = m_dir / "out.wav";
    WriteFile(out, kKeep);

    CliLimits limits;
    limits.fileSizeBytes = 64 * 1024;
    const CliRun run = RunCli({"render", in.string(), out.string()}, limits);
    ExpectFailure(run, kMsgWriteError, m_dir.Path());
    ExpectKept(out);
}

TEST_F(CliFaultTest, UnwritableFolderKeepsTheOldOutput) {
    const fs::path in = m_dir / "in.wav";
    WriteFile(in, ValidWav(3000));
    const fs::path folder = m_dir / "locked";
    fs::create_directory(folder);
    const fs::path out = folder / "out.wav";
    WriteFile(out, kKeep);
    fs::permissions(m_dir.Path(), fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);

    CliLimits limits;
    if (IsRoot()) {
        // Permission bits do not stop root: write as an ordinary user instead.
        limits.runAs = Nobody();
        if (!limits.runAs) {
            GTEST_SKIP() << "running as root and there is no user 'nobody'";
        }
    }
    const CliRun run = RunCli({"render", in.string(), out.string()}, limits);
    if (run.exitCode == 126 || run.exitCode == 127) {
        GTEST_SKIP() << "the tool cannot be started as 'nobody' from its build folder";
    }
    fs::permissions(folder, fs::perms::owner_all);
    ExpectFailure(run, kMsgCreateError, folder);
    ExpectKept(out);
}

TEST_F(CliFaultTest, ReadOnlyFileSystemKeepsTheOldOutput) {
    if (!IsRoot()) {
        GTEST_SKIP() << "mounting a file system needs root";
    }
    const fs::path frozen = m_dir / "frozen";
    TmpfsMount mount(frozen, "size=1m");
    if (!mount.Mounted()) {
        GTEST_SKIP() << "mount is not permitted here: " << mount.Error();
    }
    const fs::path out = frozen / "out.wav";
    WriteFile(out, kKeep);
    ASSERT_TRUE(mount.MakeReadOnly()) << std::strerror(errno);
    const fs::path in = m_dir / "in.wav";
    WriteFile(in, ValidWav(3000));

    const CliRun run = RunCli({"render", in.string(), out.string()});
    ExpectFailure(run, kMsgCreateError, frozen);
    ExpectKept(out);
}

TEST_F(CliFaultTest, OutputThatCannotBeAFileIsRefused) {
    const fs::path in = m_dir / "in.wav";
    WriteFile(in, ValidWav(3000));
    const fs::path folder = m_dir / "folder.wav";
    fs::create_directory(folder);

    for (const fs::path& out : {folder, m_dir / "no such folder" / "out.wav"}) {
        SCOPED_TRACE(out.string());
        const CliRun run = RunCli({"render", in.string(), out.string()});
        ExpectFailure(run, kMsgCreateError, m_dir.Path());
    }
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(CliFaultTest, RefusedInputKeepsTheOldOutput) {
    const fs::path in = m_dir / "mono.wav";
    WriteFile(in, SimpleWav(TestSignal(3000, 2), 1));
    const fs::path out = m_dir / "out.wav";
    WriteFile(out, kKeep);

    const CliRun run = RunCli({"render", in.string(), out.string()});
    ExpectFailure(run, kMsgNotStereo, m_dir.Path());
    ExpectKept(out);
}

}  // namespace
