#pragma once

// The user's cache folder, where inputs decoded for playing live while they are needed. A
// copy is locked (flock) for as long as its program has it open, so that copies a killed
// program left behind can be told from those of a running one on any machine that shares the
// folder. Nothing but files of this program's own names, unlocked, is ever removed there.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

// $variable when it holds an absolute path, else underHome in the user's home folder: the
// XDG base folders ("XDG_CONFIG_HOME", ".config"). Empty when there is no home folder.
std::filesystem::path XdgBaseFolder(const char* variable, const char* underHome);

// $XDG_CACHE_HOME/zerbex2, or ~/.cache/zerbex2, created owner-only when missing. An existing
// one must be a folder of the user's own that the user can write; otherwise nothing, and
// problem tells why ("it belongs to another user").
std::optional<std::filesystem::path> CacheFolder(std::string& problem);

// Removes this program's copies that no running program holds.
void RemoveStaleCacheFiles(const std::filesystem::path& folder);

// Whether a file name is one this program gives its copies.
bool IsCacheFileName(const std::string& name);

// A copy of this program's in the cache folder, locked and removed when the object goes.
class CacheFile {
  public:
    CacheFile() = default;
    CacheFile(CacheFile&& other) noexcept { *this = std::move(other); }
    CacheFile& operator=(CacheFile&& other) noexcept;
    CacheFile(const CacheFile&) = delete;
    CacheFile& operator=(const CacheFile&) = delete;
    ~CacheFile() { Remove(); }

    // Creates a new empty file "zerbex2-KIND-TOKEN.wav" in the folder, open for writing.
    bool Create(const std::filesystem::path& folder, const char* kind);
    const std::filesystem::path& Path() const { return m_path; }
    std::FILE* File() const { return m_file; }
    // Flushes and closes the file for writing, keeping it and its lock; false when anything
    // failed.
    bool Close();
    void Remove();

  private:
    std::filesystem::path m_path;
    std::FILE* m_file = nullptr;
    int m_lock = -1;  // a descriptor that holds the file's lock while the copy is ours
};
