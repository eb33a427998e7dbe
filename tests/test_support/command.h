#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Runs a program with arguments (no shell), capturing its output and exit status.
struct CommandResult {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnv = {});

// argv/envp for posix_spawn: null-terminated pointers into strings that must outlive them.
std::vector<char*> SpawnPointers(std::vector<std::string>& strings);
// This process's environment with extra "NAME=value" entries in place of its own of those
// names.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& extra);

// Writes path with the ffmpeg tool from a lavfi source ("sine=d=1", "aevalsrc=..."), with
// extra output options (codec, tags) before the name; a test failure when it cannot.
std::filesystem::path EncodeWithFfmpeg(const std::filesystem::path& path, const std::string& source,
                                       const std::vector<std::string>& extra = {});
