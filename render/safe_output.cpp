#include "safe_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <random>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path TempNameBeside(const fs::path& target, unsigned long token) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08lx.tmp", token & 0xFFFFFFFFul);
    return target.parent_path() / ("." + target.filename().string() + suffix);
}

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
        if (ec) {
            break;
        }
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target;
}

SafeOutput::~SafeOutput() {
    Discard();
}

bool SafeOutput::Create(const fs::path& target) {
    m_target = target;
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (fs::is_directory(status)) {
        return false;
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        m_direct = true;
        m_file = std::fopen(target.c_str(), "wb");
        return m_file != nullptr;
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
            return false;
        }
    }
    return false;
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
        return ok;
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
