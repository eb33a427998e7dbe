#pragma once

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
