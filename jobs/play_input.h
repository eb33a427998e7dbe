#pragma once

// Where a playback reads: a WAV file as it is, or a decoded copy that grows while its decoder
// writes it (decoded_copy.h).

#include <cstdint>
#include <filesystem>

#include "container/file_input.h"
#include "container/wave_walk.h"
#include "render/job_observer.h"

class PlayInput : public ByteInput {
  public:
    // Moves to an absolute position; a failure counts as a failed read.
    virtual void Seek(std::int64_t position) = 0;
    virtual std::int64_t Tell() const = 0;
    virtual bool Failed() const = 0;
    // What the user is told when reading failed.
    virtual JobMessage Failure() const { return {JobError::ReadInput}; }
    // The length of the "data" chunk being played, whose header said walked, as known while
    // the playback stands at position bytes into it.
    virtual std::uint64_t DataLength(std::uint64_t walked, std::uint64_t /*position*/) {
        return walked;
    }
};

// A file that is all there: what its header says is its length.
class PlayFile : public PlayInput {
  public:
    bool Open(const std::filesystem::path& path) { return m_file.Open(path); }
    std::size_t Read(unsigned char* buffer, std::size_t n) override {
        return m_file.Read(buffer, n);
    }
    void Seek(std::int64_t position) override { m_file.Seek(position); }
    std::int64_t Tell() const override { return m_file.Tell(); }
    bool Failed() const override { return m_file.Failed(); }

  private:
    FileInput m_file;
};
