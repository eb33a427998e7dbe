// Faults around the files of a render, through the real command-line tool: inputs that
// are no regular file, outputs that cannot be written, the input named as the output,
// links, devices, awkward names and interruptions. A failed render ends with a clear
// message and exit status 1, changes no file and leaves no temporary file behind.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "settings/job_messages.h"
#include "tests/reliability/cli_runner.h"
#include "tests/test_support/wav_builder.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;

namespace {

const Bytes kKeep = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};

bool IsRoot() {
    return ::geteuid() == 0;
}

// A tmpfs mounted over a folder for the life of the object, when the system allows it.
class TmpfsMount {
  public:
    TmpfsMount(const fs::path& where, const std::string& options) : m_where(where) {
        fs::create_directories(where);
        m_mounted = ::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~TmpfsMount() {
        if (m_mounted) {
            ::umount2(m_where.c_str(), MNT_DETACH);
        }
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool Mounted() const { return m_mounted; }
    bool MakeReadOnly() {
        return ::mount(nullptr, m_where.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    fs::path m_where;
    bool m_mounted = false;
};

// What a name refers to, without following a link: its type, and its bytes or how many
// entries it holds.
struct FileState {
    fs::file_type type;
    Bytes bytes;
    std::ptrdiff_t entries = 0;
    bool operator==(const FileState&) const = default;
};

FileState StateOf(const fs::path& path) {
    FileState state{fs::symlink_status(path).type(), {}};
    if (state.type == fs::file_type::regular) {
        state.bytes = ReadFile(path);
    } else if (state.type == fs::file_type::directory) {
        state.entries = std::distance(fs::directory_iterator(path), fs::directory_iterator());
    }
    return state;
}

// One failing render: its files, where a temporary file would be left, and its limits.
struct Scene {
    explicit Scene(fs::path where) : dir(std::move(where)) {}

    fs::path dir;
    fs::path in = dir / "in.wav";
    fs::path out = dir / "out.wav";
    fs::path folder = dir;
    CliLimits limits;
    std::unique_ptr<TmpfsMount> mount;
    std::string skip;             // why the case cannot run here
    std::function<void()> after;  // undoes what would keep the folder from being removed
};

// Root may write anywhere and into /dev: some cases need a private stand-in.
void FullDevice(Scene& s) {
    s.out = "/dev/full";
    if (IsRoot()) {
        s.out = s.dir / "full";
        if (::mknod(s.out.c_str(), S_IFCHR | 0666, ::makedev(1, 7)) != 0) {
            s.skip = "cannot create a device node";
        } else if (const int fd = ::open(s.out.c_str(), O_WRONLY); fd < 0) {
            s.skip = "device nodes are not usable here";
        } else {
            ::close(fd);
        }
    }
    s.folder = s.out.parent_path();
}

void SmallFileSystem(Scene& s, const char* options, bool readOnly) {
    if (!IsRoot()) {
        s.skip = "mounting a file system needs root";
        return;
    }
    s.folder = s.dir / "mounted";
    s.mount = std::make_unique<TmpfsMount>(s.folder, options);
    if (!s.mount->Mounted()) {
        s.skip = "mount is not permitted here";
        return;
    }
    s.out = s.folder / "out.wav";
    WriteFile(s.out, kKeep);
    if (readOnly && !s.mount->MakeReadOnly()) {
        s.skip = "cannot remount read-only";
    }
}

void UnwritableFolder(Scene& s) {
    s.folder = s.dir / "locked";
    fs::create_directory(s.folder);
    s.out = s.folder / "out.wav";
    WriteFile(s.out, kKeep);
    const auto readAndEnter = fs::perms::owner_read | fs::perms::owner_exec |
                              fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(s.dir, readAndEnter | fs::perms::owner_write);
    fs::permissions(s.folder, readAndEnter);
    s.after = [folder = s.folder] { fs::permissions(folder, fs::perms::owner_all); };
    if (IsRoot()) {
        // Permission bits do not stop root: write as an ordinary user instead.
        s.limits.runAs = Nobody();
        if (!s.limits.runAs) {
            s.skip = "running as root and there is no user 'nobody'";
        }
    }
}

struct FaultCase {
    const char* name;
    JobError message;
    std::function<void(Scene&)> prepare;
};

const FaultCase kFaults[] = {
    // Inputs that are no regular file are refused without blocking on them.
    {"fifo as input", JobError::ReadInput,
     [](Scene& s) { ASSERT_EQ(::mkfifo((s.in = s.dir / "fifo.wav").c_str(), 0644), 0); }},
    {"/dev/zero as input", JobError::ReadInput, [](Scene& s) { s.in = "/dev/zero"; }},
    {"link to /dev/zero as input", JobError::ReadInput,
     [](Scene& s) { fs::create_symlink("/dev/zero", s.in = s.dir / "zero.wav"); }},
    {"missing input", JobError::ReadInput, [](Scene& s) { s.in = s.dir / "missing.wav"; }},
    {"mono input", JobError::NotStereo,
     [](Scene& s) { WriteFile(s.in, SimpleWav(TestSignal(3000, 2), 1)); }},
    // The input under any spelling is never written over.
    {"the input itself", JobError::SameFile, [](Scene& s) { s.out = s.in; }},
    {"symbolic link to the input", JobError::SameFile,
     [](Scene& s) { fs::create_symlink("in.wav", s.out = s.dir / "link.wav"); }},
    {"hard link to the input", JobError::SameFile,
     [](Scene& s) { fs::create_hard_link(s.in, s.out = s.dir / "hard.wav"); }},
    {"the input through ..", JobError::SameFile,
     [](Scene& s) {
         fs::create_directory(s.dir / "sub");
         s.out = s.dir / "sub" / ".." / "in.wav";
     }},
    {"the input through .", JobError::SameFile, [](Scene& s) { s.out = s.dir / "." / "in.wav"; }},
    // Outputs that cannot be made or written.
    {"folder as output", JobError::CreateOutput,
     [](Scene& s) { fs::create_directory(s.out = s.dir / "folder.wav"); }},
    {"output in a missing folder", JobError::CreateOutput,
     [](Scene& s) { s.out = s.dir / "no such folder" / "out.wav"; }},
    {"unwritable folder", JobError::CreateOutput, UnwritableFolder},
    {"read-only file system", JobError::CreateOutput,
     [](Scene& s) { SmallFileSystem(s, "size=1m", true); }},
    {"full device", JobError::WriteOutput, FullDevice},
    {"full file system", JobError::WriteOutput,
     [](Scene& s) { SmallFileSystem(s, "size=64k", false); }},
    {"file size limit", JobError::WriteOutput,
     [](Scene& s) { s.limits.fileSizeBytes = 64 * 1024; }},
};

TEST(RenderFaults, FailedRenderChangesNoFileAndLeavesNoTemporaryFile) {
    std::vector<std::string> skipped;
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Scene s(dir.Path());
        WriteFile(s.in, SimpleWav(TestSignal(40000, 7)));  // 160 kB of samples
        WriteFile(s.out, kKeep);
        s.limits.hangGuardSeconds = 30;
        c.prepare(s);
        const FileState in = StateOf(s.in);
        const FileState out = StateOf(s.out);
        CliRun run;
        if (s.skip.empty()) {
            run = RunCli({"render", s.in.string(), s.out.string()}, s.limits);
            if (s.limits.runAs && (run.exitCode == 126 || run.exitCode == 127)) {
                s.skip = "the tool cannot be started as 'nobody' from its build folder";
            }
        }
        if (s.after) {
            s.after();
        }
        if (!s.skip.empty()) {
            skipped.push_back(std::string(c.name) + ": " + s.skip);
            continue;
        }
        EXPECT_TRUE(run.exited) << "killed by signal " << run.signal;
        EXPECT_EQ(run.exitCode, 1) << run.err;
        // The tool adds the system's reason after the message's own text.
        std::string text = MessageText({c.message});
        text.erase(text.find_last_not_of(" \n") + 1);
        EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
        EXPECT_TRUE(TempFilesIn(s.folder).empty()) << s.folder;
        EXPECT_TRUE(StateOf(s.in) == in) << s.in << " was changed";
        EXPECT_TRUE(StateOf(s.out) == out) << s.out << " was changed";
    }
    for (const std::string& why : skipped) {
        std::cout << "[  SKIPPED ] " << why << '\n';
    }
}

// Links and devices are written through, never replaced; no name is too awkward.
TEST(RenderFaults, LinksDevicesAndAwkwardNamesAreWrittenThrough) {
    TempDir dir;
    const fs::path folder = dir / "dossier d'été \"final\"";
    fs::create_directory(folder);
    const fs::path in = folder / "my song 'live' \"take 2\" — Ünïcødé 日本語.wav";
    const Bytes input = SimpleWav(TestSignal(20000, 7));
    WriteFile(in, input);
    const fs::path target = folder / "target.wav";
    WriteFile(target, kKeep);
    fs::create_symlink("target.wav", folder / "link.wav");

    struct Case {
        fs::path out;
        fs::path lands;  // where the processed copy ends up; empty for a device
    };
    const Case cases[] = {
        {folder / "out $HOME `x` ; *.wav", folder / "out $HOME `x` ; *.wav"},
        {folder / "link.wav", target},
        {"/dev/null", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out.string());
        const fs::file_type type = fs::symlink_status(c.out).type();
        const CliRun run = RunCli({"render", in.string(), c.out.string()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        if (type != fs::file_type::not_found) {
            EXPECT_EQ(fs::symlink_status(c.out).type(), type) << "it was replaced";
        }
        if (!c.lands.empty()) {
            EXPECT_TRUE(ReadFile(c.lands) == ExpectedWrite(input, ProcessingParameters{}));
        }
        EXPECT_TRUE(ReadFile(in) == input);
        EXPECT_TRUE(TempFilesIn(folder).empty());
    }
}

// Ctrl-C or SIGTERM stops a render: the old output stays and no temporary file is left.
TEST(RenderFaults, InterruptedRenderLeavesTheOutputAsItWas) {
    TempDir dir;
    // Six minutes of sound: long enough to be caught in the middle.
    const fs::path big = dir / "big.wav";
    WriteFile(big, SimpleWav(std::vector<std::int16_t>(44100 * 2 * 360, 1234)));
    const fs::path out = dir / "out.wav";
    const std::string cli = ZERBEX_CLI;
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        WriteFile(out, kKeep);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, 2);
            ::execl(cli.c_str(), cli.c_str(), "render", big.c_str(), out.c_str(), nullptr);
            ::_exit(127);
        }
        // Once its temporary file is there, the render is under way.
        for (int i = 0; i < 5000 && TempFilesIn(dir.Path()).empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(pid, signal);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(ReadFile(out), kKeep);
        EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
    }
}

}  // namespace
