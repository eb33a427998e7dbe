#include "fuzz/scratch_dir.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path BaseFolder() {
    if (const char* chosen = std::getenv("ZERBEX_FUZZ_TMP")) {
        return chosen;
    }
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    return fs::temp_directory_path();
}

constexpr char kPrefix[] = "zerbex-fuzz-";

// libFuzzer ends some runs without exit handlers: clear what dead processes left behind.
void RemoveStaleDirs(const fs::path& base) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(base, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kPrefix, 0) != 0) {
            continue;
        }
        const long pid = std::strtol(name.c_str() + sizeof kPrefix - 1, nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            fs::remove_all(entry.path(), ec);
        }
    }
}

fs::path MakeScratchDir() {
    const fs::path base = BaseFolder();
    RemoveStaleDirs(base);
    fs::path dir = base / (kPrefix + std::to_string(::getpid()));
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    return dir;
}

void RemoveScratchDir() {
    std::error_code ec;
    fs::remove_all(ScratchDir(), ec);
}

}  // namespace

const fs::path& ScratchDir() {
    // Never destroyed: the exit handler still needs it after static destructors ran.
    static const fs::path* dir = [] {
        const fs::path* made = new fs::path(MakeScratchDir());
        std::atexit(RemoveScratchDir);
        return made;
    }();
    return *dir;
}

fs::path ScratchSubfolder(const std::string& name) {
    fs::path folder = ScratchDir() / name;
    fs::create_directories(folder);
    return folder;
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
