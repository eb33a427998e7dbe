#pragma once

// An input made ready to be played again and again: a 16-bit stereo WAV as it is, or, for
// any other audio file, a copy decoded once into the cache folder.

#include <filesystem>
#include <optional>

#include "cache_folder.h"
#include "job_observer.h"
#include "shared_value.h"

enum class InputStatus { Ready, NotAudio, NotStereo, NoSpace, Cancelled };

class InputFile {
  public:
    InputStatus Status() const { return m_status; }
    // What is wrong with the input; nothing when it is ready or the user cancelled.
    std::optional<JobMessage> Refusal() const;
    // The file jobs read: the input itself or its decoded copy.
    const std::filesystem::path& Reads() const { return m_reads; }
    bool Decoded() const { return !m_decoded.Path().empty(); }

  private:
    friend InputFile PrepareInput(const std::filesystem::path& path, const Shared<int>* cancel,
                                  JobObserver& observer);

    InputStatus m_status = InputStatus::Ready;
    std::filesystem::path m_reads;
    CacheFile m_decoded;
};

// Decodes what the engine does not read as it is; progress goes to the observer, cancel
// stops the decoding. A path the engine cannot open (missing, a FIFO, a device) is left to
// the job, which says so. Copies a killed program left in the cache folder are removed first.
InputFile PrepareInput(const std::filesystem::path& path, const Shared<int>* cancel,
                       JobObserver& observer);
