#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

// Points the cache folder at a folder of the test's for as long as it lives.
class CacheHome {
  public:
    explicit CacheHome(const std::filesystem::path& base) {
        const char* previous = std::getenv("XDG_CACHE_HOME");
        m_had = previous != nullptr;
        m_previous = m_had ? previous : "";
        ::setenv("XDG_CACHE_HOME", base.c_str(), 1);
    }
    ~CacheHome() {
        if (m_had) {
            ::setenv("XDG_CACHE_HOME", m_previous.c_str(), 1);
        } else {
            ::unsetenv("XDG_CACHE_HOME");
        }
    }
    CacheHome(const CacheHome&) = delete;
    CacheHome& operator=(const CacheHome&) = delete;

  private:
    bool m_had = false;
    std::string m_previous;
};

// The files in the cache folder under base; none when there is no such folder.
inline std::size_t CopiesUnder(const std::filesystem::path& base) {
    std::error_code ec;
    std::size_t copies = 0;
    for (std::filesystem::directory_iterator it(base / "zerbex2", ec), end; !ec && it != end;
         it.increment(ec)) {
        ++copies;
    }
    return copies;
}
