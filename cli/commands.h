#pragma once

#include <string>
#include <vector>

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kMaxThreads = 1024;  // the most -j allows

// Prints a usage error with the hint to --help; returns kExitUsage.
int UsageError(const std::string& message);
bool StderrIsTerminal();

int RunRender(const std::vector<std::string>& args);
int RunPlay(const std::vector<std::string>& args);
int RunSuggest(const std::vector<std::string>& args);
int RunDevices(const std::vector<std::string>& args);
