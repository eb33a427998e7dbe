#include "cache_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

fs::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
        return entry->pw_dir;
    }
    return {};
}

// The process id a cache file name begins with (after a dot for the write job's own
// temporary files); 0 when the name is none of ours.
pid_t OwnerOf(const std::string& name) {
    std::size_t i = name.starts_with('.') ? 1 : 0;
    pid_t pid = 0;
    const std::size_t first = i;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && i - first < 10; ++i) {
        pid = pid * 10 + (name[i] - '0');
    }
    return i > first && i < name.size() && name[i] == '-' ? pid : 0;
}

bool Running(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

}  // namespace

fs::path CacheFolder() {
    fs::path base;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else if (const fs::path home = HomeFolder(); !home.empty()) {
        base = home / ".cache";
    } else {
        return {};
    }
    fs::path folder = base / "zerbex2";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        return {};
    }
    fs::permissions(folder, fs::perms::owner_all, ec);
    return folder;
}

void RemoveStaleCacheFiles(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const pid_t owner = OwnerOf(it->path().filename().string());
        if (owner > 0 && !Running(owner)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

CacheFile::CacheFile(CacheFile&& other) noexcept
    : m_path(std::exchange(other.m_path, {})), m_file(std::exchange(other.m_file, nullptr)) {}

CacheFile& CacheFile::operator=(CacheFile&& other) noexcept {
    if (this != &other) {
        Remove();
        m_path = std::exchange(other.m_path, {});
        m_file = std::exchange(other.m_file, nullptr);
    }
    return *this;
}

CacheFile::~CacheFile() {
    Remove();
}

bool CacheFile::Create(const fs::path& folder, const char* kind) {
    Remove();
    if (folder.empty()) {
        return false;
    }
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[96];
        std::snprintf(name, sizeof name, "%ld-%08x-%s.wav", static_cast<long>(::getpid()),
                      static_cast<unsigned>(random()), kind);
        const fs::path candidate = folder / name;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        m_path = candidate;
        m_file = ::fdopen(fd, "wb");
        if (m_file == nullptr) {
            ::close(fd);
            Remove();
            return false;
        }
        return true;
    }
    return false;
}

bool CacheFile::Close() {
    if (m_file == nullptr) {
        return !m_path.empty();
    }
    const bool flushed = std::fflush(m_file) == 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    return flushed && closed;
}

void CacheFile::Remove() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_path.empty()) {
        std::error_code ec;
        fs::remove(m_path, ec);
        m_path.clear();
    }
}
