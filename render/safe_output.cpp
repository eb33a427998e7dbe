#include "safe_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

// ".NAME.XXXXXXXX.tmp", or ".zerbex2.XXXXXXXX.tmp" where NAME is too long for the file
// system to take the longer name.
fs::path TempNameBeside(const fs::path& target, unsigned long token) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08lx.tmp", token & 0xFFFFFFFFul);
    const std::string name = target.filename().string();
    const long nameMax =
        ::pathconf(target.parent_path().empty() ? "." : target.parent_path().c_str(), _PC_NAME_MAX);
    const std::size_t limit = nameMax > 0 ? static_cast<std::size_t>(nameMax) : 255;
    const bool fits = 1 + name.size() + std::strlen(suffix) <= limit;
    return target.parent_path() / ("." + (fits ? name : std::string("zerbex2")) + suffix);
}

// What a link names when it names no file: "pipe:[1234]", "socket:[5678]".
bool NamesNoFile(const fs::path& link) {
    const std::string text = link.string();
    return !text.empty() && text.front() != '/' && text.find(":[") != std::string::npos;
}

constexpr auto kFifoPoll = std::chrono::milliseconds(50);

// A replaced file keeps its own permissions; a new one keeps those the temporary file was
// created with, which the user's umask already shaped.
void CopyPermissions(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    const fs::file_status status = fs::status(from, ec);
    if (!ec && fs::is_regular_file(status)) {
        fs::permissions(to, status.permissions(), ec);
    }
}

}  // namespace

fs::path ResolveOutputTarget(const fs::path& output) {
    std::error_code ec;
    fs::path target = output;
    for (int hops = 0; hops < 40 && fs::is_symlink(target, ec); ++hops) {
        const fs::path link = fs::read_symlink(target, ec);
        if (ec || NamesNoFile(link)) {
            break;
        }
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target;
}

SafeOutput::~SafeOutput() {
    Discard();
}

// A FIFO without a reader would block the open until one comes, deaf to every stop: it is
// opened without waiting, and tried again until a reader comes or the job is stopped.
bool SafeOutput::OpenDirect(const Shared<int>* stop) {
    m_direct = true;
    for (;;) {
        const int fd = ::open(m_target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
                (m_file = ::fdopen(fd, "wb")) == nullptr) {
                Fail();
                ::close(fd);
                return false;
            }
            return true;
        }
        if (errno != ENXIO) {
            return Fail();
        }
        if (stop != nullptr && stop->Get() != 0) {
            errno = EINTR;
            return Fail();
        }
        std::this_thread::sleep_for(kFifoPoll);
    }
}

bool SafeOutput::Create(const fs::path& target, const Shared<int>* stop) {
    m_target = target;
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (fs::is_directory(status)) {
        errno = EISDIR;
        return Fail();
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return OpenDirect(stop);
    }
    m_replaces = fs::exists(status);
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path candidate = TempNameBeside(target, random());
        // "x": fails instead of reusing a file that happens to have the same name.
        m_file = std::fopen(candidate.c_str(), "wbx");
        if (m_file != nullptr) {
            m_temp = candidate;
            return true;
        }
        if (errno != EEXIST) {
            return Fail();
        }
    }
    return Fail();
}

bool SafeOutput::Commit() {
    if (m_file == nullptr) {
        return false;
    }
    bool ok = std::fflush(m_file) == 0;
    ok = ok && (!m_replaces || ::fsync(::fileno(m_file)) == 0);
    ok = (std::fclose(m_file) == 0) && ok;
    m_file = nullptr;
    if (m_direct) {
        return ok || Fail();
    }
    if (ok) {
        CopyPermissions(m_target, m_temp);
        std::error_code ec;
        fs::rename(m_temp, m_target, ec);
        ok = !ec;
    }
    if (ok) {
        m_temp.clear();
    } else {
        Fail();
        Discard();
    }
    return ok;
}

void SafeOutput::Discard() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_temp.empty()) {
        std::error_code ec;
        fs::remove(m_temp, ec);
        m_temp.clear();
    }
}
