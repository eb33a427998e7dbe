#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/scratch_dir.h"
#include "settings/cache_folder.h"

namespace fs = std::filesystem;

namespace {

// A file name from a line of the input: anything but a slash, a NUL or the dot names.
std::string NameOf(const std::string& line) {
    std::string name;
    for (const char c : line) {
        if (c != '/' && c != '\0' && name.size() < 200) {
            name.push_back(c);
        }
    }
    return name == "." || name == ".." ? std::string() : name;
}

}  // namespace

// A cache folder holding the names the input gives (some as links, some as folders) and
// copies of this program's, some held: the clean-up removes exactly the copies nobody holds.
int FuzzCache(const std::uint8_t* data, std::size_t size) {
    static const fs::path root = ScratchSubfolder("cache");
    const fs::path folder = root / "cache";
    const fs::path outside = root / "outside";
    fs::remove_all(folder);
    fs::remove_all(outside);
    fs::create_directories(folder);
    fs::create_directories(outside);
    std::set<std::string> kept;
    std::string line;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != '\n') {
            line.push_back(static_cast<char>(data[i]));
            continue;
        }
        const std::string name = NameOf(line.empty() ? line : line.substr(1));
        const char kind = line.empty() ? 'f' : line[0];
        line.clear();
        if (name.empty() || kept.count(name) != 0 || fs::exists(folder / name)) {
            continue;
        }
        std::error_code ec;
        if (kind == 'l') {  // a link to a file of the user's elsewhere
            std::FILE* target = std::fopen((outside / name).c_str(), "wb");
            if (target != nullptr) {
                std::fclose(target);
            }
            fs::create_symlink(outside / name, folder / name, ec);
        } else if (kind == 'd') {
            fs::create_directory(folder / name, ec);
        } else {
            std::FILE* file = std::fopen((folder / name).c_str(), "wb");
            if (file != nullptr) {
                std::fclose(file);
            }
        }
        if (!ec && fs::exists(fs::symlink_status(folder / name))) {
            const bool regular = fs::is_regular_file(fs::symlink_status(folder / name));
            if (!(regular && IsCacheFileName(name))) {
                kept.insert(name);
            }
        }
    }
    CacheFile held;
    FUZZ_CHECK(held.Create(folder, "decoded"));
    FUZZ_CHECK(IsCacheFileName(held.Path().filename().string()));
    RemoveStaleCacheFiles(folder);
    FUZZ_CHECK(fs::exists(held.Path()));
    std::set<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        left.insert(entry.path().filename().string());
    }
    left.erase(held.Path().filename().string());
    FUZZ_CHECK(left == kept);
    for (const fs::directory_entry& entry : fs::directory_iterator(outside)) {
        FUZZ_CHECK(fs::is_regular_file(entry.path()));  // nothing behind a link was touched
    }
    return 0;
}
