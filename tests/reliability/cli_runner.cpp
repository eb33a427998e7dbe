#include "tests/reliability/cli_runner.h"

#include "tests/test_support/command.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

void SetLimit(int resource, rlim_t value) {
    if (value != 0) {
        const rlimit limit{value, value};
        ::setrlimit(resource, &limit);
    }
}

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void ExecChild(const std::vector<char*>& argv, const std::vector<char*>& envp,
                            const CliLimits& limits, int outFd, int errFd) {
    ::dup2(outFd, STDOUT_FILENO);
    ::dup2(errFd, STDERR_FILENO);
    const int devNull = ::open("/dev/null", O_RDONLY);
    if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
    }
    SetLimit(RLIMIT_AS, limits.addressSpaceBytes);
    SetLimit(RLIMIT_CPU, limits.cpuSeconds);
    if (limits.fileSizeBytes != 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        SetLimit(RLIMIT_FSIZE, limits.fileSizeBytes);
    }
    if (limits.runAs) {
        const auto [uid, gid] = *limits.runAs;
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
            ::_exit(126);
        }
    }
    ::alarm(limits.hangGuardSeconds);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

constexpr std::size_t kMaxCapture = 1 << 20;  // a flood of messages is cut here

void DrainPipes(int outFd, int errFd, std::string& out, std::string& err) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                if (sinks[i]->size() < kMaxCapture) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(got));
                }
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

CliRun RunCli(const std::vector<std::string>& args, const CliLimits& limits) {
    std::vector<std::string> all{ZERBEX_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv = SpawnPointers(all);
    std::vector<std::string> environment = EnvironmentWith(limits.extraEnv);
    std::vector<char*> envp = SpawnPointers(environment);

    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ExecChild(argv, envp, limits, outPipe[1], errPipe[1]);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    CliRun run;
    DrainPipes(outPipe[0], errPipe[0], run.out, run.err);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.exited = WIFEXITED(status);
    run.exitCode = run.exited ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.maxRssKb = usage.ru_maxrss;
    return run;
}

bool BuiltWithSanitizer() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

std::optional<std::pair<uid_t, gid_t>> Nobody() {
    if (const passwd* entry = ::getpwnam("nobody")) {
        return std::make_pair(entry->pw_uid, entry->pw_gid);
    }
    return std::nullopt;
}

std::vector<std::string> TempFilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 5 && name.front() == '.' && name.ends_with(".tmp")) {
            found.push_back(name);
        }
    }
    return found;
}
