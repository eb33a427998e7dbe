#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "container/wave_walk.h"

// An input file read in order through the C library's buffer, with its place and its failures.
class FileInput : public ByteInput {
  public:
    FileInput() = default;
    ~FileInput() override;
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;

    // Opens a regular file for reading; false for anything else (a folder, a FIFO, a
    // device would block or never end) or when it cannot be opened.
    bool Open(const std::filesystem::path& path);
    std::size_t Read(unsigned char* buffer, std::size_t n) override;
    // Moves to an absolute position; a failure counts as a failed read.
    void Seek(std::int64_t position);
    std::int64_t Tell() const;
    bool Failed() const { return m_failed; }
    std::FILE* File() const { return m_file; }

  private:
    std::FILE* m_file = nullptr;
    bool m_failed = false;
};
