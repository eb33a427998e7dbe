#pragma once

// An input made ready to be played again and again: a 16-bit stereo WAV as it is, or, for
// any other audio file, a copy decoded once into the cache folder. The copy is decoded on a
// thread of the input's own and plays while it is written.

#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

#include "jobs/decoded_copy.h"
#include "jobs/play_input.h"
#include "jobs/shared_value.h"
#include "render/job_observer.h"

class DiskSpace;

class InputFile {
  public:
    InputFile() = default;
    // A file read as it is, never decoded.
    explicit InputFile(std::filesystem::path path) : m_path(std::move(path)) {}
    InputFile(InputFile&& other) noexcept = default;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    // Stops the decoding and removes the copy.
    ~InputFile() { Release(); }

    // Ready while a decoding runs that has found nothing wrong so far.
    InputStatus Status() const { return m_copy ? m_copy->Status() : m_status; }
    // What is wrong with the input; nothing when it is ready or the user cancelled.
    std::optional<JobMessage> Refusal() const {
        return m_copy ? InputRefusal(m_copy->Status(), m_copy->Problem())
                      : InputRefusal(m_status, {});
    }
    // What the user should know of an input that was decoded: it held less than it declared.
    std::optional<JobMessage> Warning() const { return m_copy ? m_copy->Warning() : std::nullopt; }
    // The file jobs read: the input itself or, once it is decoded, its copy.
    std::filesystem::path Reads() const { return Decoded() ? m_copy->Path() : m_path; }
    bool Decoded() const {
        return m_copy && m_copy->Ended() && m_copy->Status() == InputStatus::Ready;
    }
    // The decoder still runs: a write or an analysis waits for it (WaitForDecoding).
    bool Decoding() const { return m_copy && !m_copy->Ended(); }
    double DecodingProgress() const { return m_copy ? m_copy->Progress() : 1.0; }
    // The sample data's length as far as it is known (DecodedCopy::Length for a copy).
    WaveLength Length() const { return m_copy ? m_copy->Length() : m_length; }
    // Waits for the decoder to end, telling the observer how far it is; false when cancel came
    // first (the decoding goes on).
    bool WaitForDecoding(const std::stop_token& cancel, JobObserver& observer) const {
        return !m_copy || m_copy->WaitForEnd(cancel, observer);
    }
    // Stops the decoding where it is: it ends as cancelled unless it had ended already, and a
    // copy cut short is removed.
    void StopDecoding();
    // What a playback or a scan reads: the decoded copy as far as it is written, or the input
    // as it is; null when that cannot be opened.
    std::unique_ptr<PlayInput> Open(std::stop_token stop, const Shared<int>* seek = nullptr) const;

  private:
    friend InputFile StartInput(const std::filesystem::path& path, DiskSpace& disk,
                                JobObserver* observer);
    void Release();

    std::filesystem::path m_path;
    InputStatus m_status = InputStatus::Ready;  // of an input that is not decoded
    WaveLength m_length;                        // of an input that is not decoded
    std::shared_ptr<DecodedCopy> m_copy;
    std::thread m_decoder;
};

// Makes path ready and returns at once: what the engine does not read as it is is decoded
// on the input's own thread, which disk's reservations must outlive; observer, when there is
// one, hears the decoding's progress on that thread (DecodedCopy::Decode). A path the engine
// cannot open (missing, a FIFO, a device) is left to the job, which says so.
InputFile StartInput(const std::filesystem::path& path, DiskSpace& disk,
                     JobObserver* observer = nullptr);

// StartInput, then the decoding to its end: progress goes to the observer, cancel stops the
// decoding.
InputFile PrepareInput(const std::filesystem::path& path, const std::stop_token& cancel,
                       DiskSpace& disk, JobObserver& observer);

// A playback's observer that tells the input's warning once, on the playback's thread, when
// the decoding has ended.
class WarnWhenDecoded : public JobObserver {
  public:
    WarnWhenDecoded(const InputFile& input, JobObserver& observer)
        : m_input(input), m_observer(observer) {}

    void Message(const JobMessage& message) override { m_observer.Message(message); }
    void Position(int step) override;
    void HeardFrame(std::int64_t frame) override { m_observer.HeardFrame(frame); }
    void Loop(int start, int end) override { m_observer.Loop(start, end); }
    void Level(int segments) override;
    void Progress(double done) override { m_observer.Progress(done); }
    void PlayedOut() override { m_observer.PlayedOut(); }
    // Tells it now if the decoding has ended and it was not told.
    void Check();

  private:
    const InputFile& m_input;
    JobObserver& m_observer;
    bool m_told = false;
};
