#pragma once

// An input's decoded copy in the cache folder, written by its decoder on a thread of the
// input's own while playbacks read it: a reader waits for the bytes it needs and never reads
// past what the file holds, and learns how the decoding ended.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "container/wave_layout.h"
#include "jobs/play_input.h"
#include "jobs/shared_value.h"
#include "render/job_observer.h"
#include "settings/cache_folder.h"

class DecodedSource;
class DiskSpace;

enum class InputStatus {
    Ready,
    NotAudio,
    NotStereo,
    Unreadable,     // it could not be read, or changed while it was read
    NoSpace,        // the decoded copy does not fit the cache folder's disk
    TooLong,        // the decoded copy is longer than a WAV file can hold
    CacheUnusable,  // the cache folder cannot be used (problem: why)
    Cancelled,
};

// What is wrong with an input in this state; nothing when it is ready or was cancelled.
std::optional<JobMessage> InputRefusal(InputStatus status, const std::string& problem);

class DecodedCopy {
  public:
    // On the decoding thread: decodes input into a new copy in the cache folder, with the
    // space it declares set aside in disk until the decoding ends. Copies a killed program
    // left there are removed first. observer, when there is one, hears the progress on this
    // thread as each piece of the copy is written, and the decoding waits for it.
    void Decode(const std::filesystem::path& input, DiskSpace& disk,
                JobObserver* observer = nullptr);
    // The decoding stops soon after, as cancelled, unless it has ended.
    void Cancel() { m_cancel.request_stop(); }
    // Removes the copy; once the decoding thread has ended.
    void Remove() { m_file.Remove(); }

    bool Ended() const { return Locked(m_ended); }
    InputStatus Status() const { return Locked(m_status); }
    std::string Problem() const { return Locked(m_problem); }
    // Once it ended: the decoder found less than the stream declares, or damaged parts.
    std::optional<JobMessage> Warning() const { return Locked(m_warning); }
    // The copy, once it ended ready.
    std::filesystem::path Path() const;
    // How far through the input the decoder is, 0 .. 1.
    double Progress() const { return m_progress.load(std::memory_order_relaxed); }
    // The sample data's length: the stream's declared one while the decoding runs (or what is
    // decoded, when that is more), the exact one once it ended; unknown before it started.
    WaveLength Length() const;
    // Waits for the decoding to end, telling the observer how far it is; false when cancel
    // came first (the decoding goes on).
    bool WaitForEnd(const std::stop_token& cancel, JobObserver& observer) const;

    // What a playback reads while the copy grows. Its waits give way to a stop, which ends the
    // reading, and to a seek (seek null: none), which ends the wait for sample data.
    static std::unique_ptr<PlayInput> Reader(std::shared_ptr<const DecodedCopy> copy,
                                             std::stop_token stop, const Shared<int>* seek);

  private:
    class Sink;
    class ReaderOf;
    class ProgressOf;

    InputStatus Write(DecodedSource& source, const std::filesystem::path& folder,
                      JobObserver* observer, std::string& problem);
    void Published(std::size_t bytes, bool header);
    void Started(std::uint64_t declaredBytes, std::uint32_t byteRate);
    void Finish(InputStatus status, std::string problem, std::optional<JobMessage> warning);
    std::uint64_t DataBytes() const { return m_written - m_headerBytes; }  // m_mutex held
    // The decoding thread changes these while readers look.
    template <typename T>
    T Locked(const T& member) const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return member;
    }

    CacheFile m_file;  // the decoding thread's until it ends
    std::stop_source m_cancel;
    std::atomic<double> m_progress{0.0};

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_ended = false;
    InputStatus m_status = InputStatus::Ready;
    std::string m_problem;
    std::optional<JobMessage> m_warning;
    std::filesystem::path m_path;
    std::uint64_t m_headerBytes = 0;  // of the file, before the sample data
    std::uint64_t m_written = 0;      // bytes in the file, flushed, header included
    std::uint64_t m_declaredBytes = 0;
    std::uint32_t m_byteRate = 0;
};
