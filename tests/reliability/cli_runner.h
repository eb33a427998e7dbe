#pragma once

// Runs zerbex2-cli in a child process with resource limits, the way a user's shell
// would, and reports how it ended.

#include <sys/resource.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct CliLimits {
    rlim_t addressSpaceBytes = 0;     // RLIMIT_AS; 0 leaves it alone
    rlim_t cpuSeconds = 0;            // RLIMIT_CPU; 0 leaves it alone
    rlim_t fileSizeBytes = 0;         // RLIMIT_FSIZE, with SIGXFSZ ignored so writes fail instead
    unsigned hangGuardSeconds = 120;  // SIGALRM kills a child that blocks
    std::optional<std::pair<uid_t, gid_t>> runAs;  // user and group, e.g. nobody
    std::vector<std::string> extraEnv;             // NAME=VALUE entries added to the environment
};

struct CliRun {
    bool exited = false;  // false: killed by a signal
    int exitCode = -1;
    int signal = 0;
    std::string out;
    std::string err;
    long maxRssKb = 0;
};

CliRun RunCli(const std::vector<std::string>& args, const CliLimits& limits = {});

// Whether the program was built with a sanitizer, which needs far more address space
// and time than the program itself.
bool BuiltWithSanitizer();

// The user and group of "nobody", if the system has one.
std::optional<std::pair<uid_t, gid_t>> Nobody();

// Names in a folder that look like a write job's temporary file (".NAME.HEX.tmp").
std::vector<std::string> TempFilesIn(const std::filesystem::path& folder);
