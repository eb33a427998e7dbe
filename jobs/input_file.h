#pragma once

// An input made ready to be played again and again: a 16-bit stereo WAV as it is, or, for
// any other audio file, a copy decoded once into the cache folder.

#include <filesystem>
#include <optional>
#include <string>

#include "cache_folder.h"
#include "job_observer.h"
#include "shared_value.h"

class DiskSpace;

enum class InputStatus {
    Ready,
    NotAudio,
    NotStereo,
    Unreadable,     // it could not be read, or changed while it was read
    NoSpace,        // the decoded copy does not fit the cache folder's disk
    TooLong,        // the decoded copy is longer than a WAV file can hold
    CacheUnusable,  // the cache folder cannot be used
    Cancelled,
};

class InputFile {
  public:
    InputStatus Status() const { return m_status; }
    // What is wrong with the input; nothing when it is ready or the user cancelled.
    std::optional<JobMessage> Refusal() const;
    // What the user should know of an input that was decoded: it held less than it declared.
    const std::optional<JobMessage>& Warning() const { return m_warning; }
    // The file jobs read: the input itself or its decoded copy.
    const std::filesystem::path& Reads() const { return m_reads; }
    bool Decoded() const { return !m_decoded.Path().empty(); }

  private:
    friend InputFile PrepareInput(const std::filesystem::path& path, const Shared<int>* cancel,
                                  DiskSpace& disk, JobObserver& observer);

    InputStatus m_status = InputStatus::Ready;
    std::string m_problem;  // why the cache folder cannot be used
    std::optional<JobMessage> m_warning;
    std::filesystem::path m_reads;
    CacheFile m_decoded;
};

// Decodes what the engine does not read as it is; progress goes to the observer, cancel
// stops the decoding. A path the engine cannot open (missing, a FIFO, a device) is left to
// the job, which says so. Copies a killed program left in the cache folder are removed first.
InputFile PrepareInput(const std::filesystem::path& path, const Shared<int>* cancel,
                       DiskSpace& disk, JobObserver& observer);
