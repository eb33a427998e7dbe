#include "scratch_dir.h"

#include <unistd.h>

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

fs::path MakeScratchDir() {
    const fs::path dir = BaseFolder() / ("zerbex-fuzz-" + std::to_string(::getpid()));
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
    static const fs::path dir = [] {
        fs::path made = MakeScratchDir();
        std::atexit(RemoveScratchDir);
        return made;
    }();
    return dir;
}

fs::path ScratchSubfolder(const std::string& name) {
    const fs::path folder = ScratchDir() / name;
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
