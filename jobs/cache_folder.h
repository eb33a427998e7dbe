#pragma once

// The user's cache folder, where decoded inputs and renders on their way to FLAC live.
// Every file there carries the id of the process that made it, so that files a killed
// process left behind can be told from those of a running one.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

// $XDG_CACHE_HOME/zerbex2, or ~/.cache/zerbex2; created (owner only) when missing.
// Empty when it cannot be had.
std::filesystem::path CacheFolder();

// Removes the files of processes that no longer run.
void RemoveStaleCacheFiles(const std::filesystem::path& folder);

// A file of this process in the cache folder, removed when the object goes.
class CacheFile {
  public:
    CacheFile() = default;
    CacheFile(CacheFile&& other) noexcept;
    CacheFile& operator=(CacheFile&& other) noexcept;
    CacheFile(const CacheFile&) = delete;
    CacheFile& operator=(const CacheFile&) = delete;
    ~CacheFile();

    // Creates a new empty file "PID-TOKEN-kind.wav" in the folder, open for writing.
    bool Create(const std::filesystem::path& folder, const char* kind);
    const std::filesystem::path& Path() const { return m_path; }
    std::FILE* File() const { return m_file; }
    // Flushes and closes the file, keeping it; false when anything failed.
    bool Close();
    void Remove();

  private:
    std::filesystem::path m_path;
    std::FILE* m_file = nullptr;
};
