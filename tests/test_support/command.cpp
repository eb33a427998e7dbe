#include "tests/test_support/command.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/test_support/wav_builder.h"

namespace {

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::vector<char*> SpawnPointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> strings = extra;
    const auto overridden = [&extra](const std::string& entry) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        return std::any_of(extra.begin(), extra.end(),
                           [&name](const std::string& e) { return e.rfind(name, 0) == 0; });
    };
    for (char** e = environ; *e != nullptr; ++e) {
        if (!overridden(*e)) {
            strings.emplace_back(*e);
        }
    }
    return strings;
}

CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnv) {
    TempDir dir;
    const auto outPath = dir / "stdout";
    const auto errPath = dir / "stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);

    std::vector<std::string> argStrings = argv;
    std::vector<char*> args = SpawnPointers(argStrings);
    std::vector<std::string> envStrings = EnvironmentWith(extraEnv);
    std::vector<char*> env = SpawnPointers(envStrings);

    CommandResult result;
    pid_t pid = 0;
    // A bare name is looked for on the PATH, as a shell would.
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        result.err = "cannot start " + argv[0];
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    result.out = Slurp(outPath);
    result.err = Slurp(errPath);
    return result;
}

std::filesystem::path EncodeWithFfmpeg(const std::filesystem::path& path, const std::string& source,
                                       const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", source};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(path.string());
    EXPECT_EQ(RunCommand(argv).exitCode, 0) << source;
    return path;
}
