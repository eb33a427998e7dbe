#include "stream_output.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "fast_frames.h"
#include "job_state.h"
#include "safe_output.h"
#include "segmented_render.h"
#include "stream_driver.h"
#include "wave_probe.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBlockSamples = 1 << 16;  // 16-bit samples handed over at once
constexpr std::size_t kBlocksQueued = 4;
constexpr std::size_t kWriteBufferBytes = 1 << 20;

// Processes and writes the decoded frames on a thread of its own, in order, with one
// filter state from the first frame on and the parameters as they were at the start, as
// every write job. At most a few blocks wait, so memory stays flat.
class ProcessingWriter {
  public:
    ProcessingWriter(std::FILE* out, const ProcessingParameters& params) : m_out(out) {
        CopyParameters(params, m_params);
        m_thread = std::thread([this] { Run(); });
    }
    ~ProcessingWriter() { Finish(); }
    ProcessingWriter(const ProcessingWriter&) = delete;
    ProcessingWriter& operator=(const ProcessingWriter&) = delete;

    // Takes the next frames; false once a write failed.
    bool Put(const std::vector<std::int16_t>& frames) {
        m_filling.insert(m_filling.end(), frames.begin(), frames.end());
        return m_filling.size() < kBlockSamples || Hand();
    }

    // Writes everything taken; false when any write failed.
    bool Finish() {
        if (!m_thread.joinable()) {
            return !m_failed;
        }
        if (!m_filling.empty()) {
            Hand();
        }
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_changed.notify_all();
        m_thread.join();
        return !m_failed;
    }

  private:
    bool Hand() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_full.size() < kBlocksQueued || m_failed; });
        if (m_failed) {
            return false;
        }
        m_full.push_back(std::move(m_filling));
        m_filling.clear();
        if (!m_free.empty()) {
            m_filling = std::move(m_free.back());
            m_free.pop_back();
        }
        m_changed.notify_all();
        return true;
    }

    void Run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return !m_full.empty() || m_closed; });
            if (m_full.empty()) {
                return;
            }
            std::vector<std::int16_t> block = std::move(m_full.front());
            m_full.pop_front();
            const bool failed = m_failed;
            lock.unlock();
            const bool written = failed || ProcessAndWrite(block);
            block.clear();
            lock.lock();
            m_failed = m_failed || !written;
            m_free.push_back(std::move(block));
            m_changed.notify_all();
        }
    }

    bool ProcessAndWrite(std::vector<std::int16_t>& block) {
        // The samples are little-endian in memory, as in the file.
        auto* bytes = reinterpret_cast<unsigned char*>(block.data());
        const std::size_t size = block.size() * sizeof(std::int16_t);
        ProcessConstantFrames(m_frames, bytes, size / 4, m_params);
        return std::fwrite(bytes, 1, size, m_out) == size;
    }

    std::FILE* m_out;
    ProcessingParameters m_params;
    FrameState m_frames{};  // used by the thread only
    std::vector<std::int16_t> m_filling;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<std::int16_t>> m_full;
    std::vector<std::vector<std::int16_t>> m_free;
    bool m_closed = false;
    bool m_failed = false;
    std::thread m_thread;
};

// Sample bytes the output's folder can take; a device or FIFO takes any.
std::uint64_t OutputBudget(const fs::path& target) {
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return UnboundedDecodeBudget();
    }
    const fs::path folder = target.parent_path();
    return DecodeBudget(folder.empty() ? fs::path(".") : folder);
}

// A write job over so little data that no trackbar step fits in it warns that its loop
// is empty, as the engine does.
void WarnOfEmptyLoop(WindowLink& window, std::uint64_t dataBytes) {
    WindowState& state = window.State();
    if (TrackbarBytePos(state.m_nLoopEnd, dataBytes / kPositionSteps) > 0) {
        return;
    }
    window.ShowMessage(kMsgError86);
    state.m_nLoopStart = 0;
    state.m_nLoopEnd = 100;
    window.SetTrackbarPos(Trackbar::LoopStart, 0);
    window.SetTrackbarPos(Trackbar::LoopEnd, 100);
}

JobResult Refused(InputStatus& status, DecodeStatus decoded) {
    status = InputStatusOf(decoded);
    return JobResult::Refused;
}

JobResult Decode(JobContext& context, WaveDecoder& decoder, SafeOutput& output, InputStatus& status,
                 const ProgressFn& progress) {
    WindowLink& window = context.window;
    std::FILE* out = output.File();
    std::setvbuf(out, nullptr, _IOFBF, kWriteBufferBytes);
    ProcessingWriter writer(out, window.State());
    const DecodeStatus decoded = decoder.Write(
        out, [&](std::vector<std::int16_t>& frames) { return writer.Put(frames); },
        [&](double done) {
            return window.State().m_bStopRequest == 0 && (!progress || progress(done));
        });
    const bool written = writer.Finish();
    switch (decoded) {
        case DecodeStatus::Done:
            break;
        case DecodeStatus::Cancelled:
            return JobResult::Failed;
        case DecodeStatus::WriteError:
            window.ShowMessage(kMsgWriteError);
            return JobResult::Failed;
        case DecodeStatus::NotAudio:
        case DecodeStatus::NotStereo:
        case DecodeStatus::NoSpace:
            return Refused(status, decoded);
    }
    WarnOfEmptyLoop(window, decoder.DataBytes());
    if (!written || !decoder.PatchSizes(out) || !output.Commit()) {
        window.ShowMessage(kMsgWriteError);
        return JobResult::Failed;
    }
    return JobResult::Done;
}

}  // namespace

bool StreamsToOutput(const std::string& inputPath, const std::string& outputPath) {
    std::error_code ec;
    return fs::is_regular_file(inputPath, ec) && !WantsFlac(outputPath) &&
           !EngineTakesAsIs(inputPath);
}

JobResult StreamOutputFile(JobContext& context, const std::string& inputPath,
                           const std::string& outputPath, InputStatus& status,
                           const ProgressFn& progress) {
    status = InputStatus::Ready;
    const JobGuard guard;
    if (!guard.Acquired()) {
        return JobResult::Busy;
    }
    RemoveStaleCacheFiles(CacheFolder());
    WaveDecoder decoder;
    if (const DecodeStatus opened = decoder.Open(inputPath); opened != DecodeStatus::Done) {
        return Refused(status, opened);
    }
    WindowLink& window = context.window;
    if (SameFile(inputPath, outputPath)) {
        window.ShowMessage(kMsgSameFile);
        return JobResult::Failed;
    }
    const fs::path target = ResolveOutputTarget(outputPath);
    // The budget comes second: a folder that is missing has no free space to tell.
    SafeOutput output;
    if (!output.Create(target)) {
        window.ShowMessage(kMsgCreateError);
        return JobResult::Failed;
    }
    if (decoder.Budget(OutputBudget(target)) != DecodeStatus::Done) {
        return Refused(status, DecodeStatus::NoSpace);
    }
    return Decode(context, decoder, output, status, progress);
}
