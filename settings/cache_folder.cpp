#include "settings/cache_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr char kPrefix[] = "zerbex2-";
constexpr char kSuffix[] = ".wav";

fs::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
        return entry->pw_dir;
    }
    return {};
}

// Why an existing folder cannot hold copies; empty when it can.
std::string Unusable(const fs::path& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return "it is not a folder";
    }
    if (info.st_uid != ::geteuid()) {
        return "it belongs to another user";
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return std::strerror(errno);
    }
    return {};
}

}  // namespace

fs::path XdgBaseFolder(const char* variable, const char* underHome) {
    if (const char* xdg = std::getenv(variable); xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const fs::path home = HomeFolder();
    return home.empty() ? fs::path() : home / underHome;
}

std::optional<fs::path> CacheFolder(std::string& problem) {
    const fs::path base = XdgBaseFolder("XDG_CACHE_HOME", ".cache");
    if (base.empty()) {
        problem = "there is no home folder to hold it";
        return std::nullopt;
    }
    const fs::path folder = base / "zerbex2";
    std::error_code ec;
    fs::create_directories(base, ec);
    // Created owner-only; one that exists is used as it is, never changed.
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = folder.string() + " cannot be made: " + std::strerror(errno);
        return std::nullopt;
    }
    if (const std::string why = Unusable(folder); !why.empty()) {
        problem = folder.string() + " cannot be used: " + why;
        return std::nullopt;
    }
    return folder;
}

bool IsCacheFileName(const std::string& name) {
    // KIND-TOKEN between the prefix and the suffix: KIND in lower-case letters, TOKEN the 16
    // hex digits Create gives it.
    static const std::regex kMiddle("[a-z]+-[0-9a-f]{16}");
    const std::size_t prefix = std::strlen(kPrefix);
    const std::size_t suffix = std::strlen(kSuffix);
    return name.size() > prefix + suffix && name.starts_with(kPrefix) && name.ends_with(kSuffix) &&
           std::regex_match(name.begin() + static_cast<std::ptrdiff_t>(prefix),
                            name.end() - static_cast<std::ptrdiff_t>(suffix), kMiddle);
}

void RemoveStaleCacheFiles(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        // Only regular files of our own names, never through a link.
        if (!IsCacheFileName(path.filename().string()) || !it->is_regular_file(ec) ||
            it->is_symlink(ec)) {
            continue;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // A copy whose program still runs is locked by it.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlink(path.c_str());
        }
        ::close(fd);
    }
}

CacheFile& CacheFile::operator=(CacheFile&& other) noexcept {
    if (this != &other) {
        Remove();
        m_path = std::exchange(other.m_path, {});
        m_file = std::exchange(other.m_file, nullptr);
        m_lock = std::exchange(other.m_lock, -1);
    }
    return *this;
}

bool CacheFile::Create(const fs::path& folder, const char* kind) {
    Remove();
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[96];
        std::snprintf(name, sizeof name, "%s%s-%08x%08x%s", kPrefix, kind,
                      static_cast<unsigned>(random()), static_cast<unsigned>(random()), kSuffix);
        const fs::path candidate = folder / name;
        const int fd =
            ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        m_path = candidate;
        m_lock = fd;
        const int writer = ::dup(fd);
        m_file = writer >= 0 && ::flock(fd, LOCK_SH) == 0 ? ::fdopen(writer, "wb") : nullptr;
        if (m_file == nullptr) {
            if (writer >= 0) {
                ::close(writer);
            }
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
        ::unlink(m_path.c_str());
        m_path.clear();
    }
    if (m_lock >= 0) {
        ::close(m_lock);
        m_lock = -1;
    }
}
