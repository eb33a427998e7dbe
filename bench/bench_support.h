#pragma once

// What the benchmarks share: a deterministic stereo signal, an observer that only passes
// messages on, and a scratch folder for the files of the write-job benchmarks.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "render/job_observer.h"

// Interleaved 16-bit stereo frames as little-endian bytes: tones in the middle and on the
// sides with a little noise, like a mix with a centred voice.
std::vector<unsigned char> SignalBytes(std::size_t frames);

// Writes a plain 16-bit stereo 44,100 Hz WAV file of the given number of frames.
void WriteSignalWav(const std::filesystem::path& path, std::size_t frames);

// Shows nothing but the messages, on stderr.
class QuietObserver : public JobObserver {
  public:
    void Message(const JobMessage& message) override;
};

// A fresh folder in the system's temporary folder, removed with its contents.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path operator/(const char* name) const { return m_path / name; }

  private:
    std::filesystem::path m_path;
};
