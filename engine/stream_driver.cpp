#include "stream_driver.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "fast_frames.h"
#include "job_io.h"
#include "job_state.h"
#include "processing.h"
#include "render_pool.h"
#include "segmented_write.h"
#include "wave_device.h"
#include "window_state.h"
#include "write_job_streams.h"

namespace {

constexpr int kFrameBytes = 4;  // one 16-bit stereo frame

// The sound side of a playback job: device, staging buffer and the two events, created
// at the start of the job and released at its end.
class PlaybackOutput {
  public:
    explicit PlaybackOutput(WaveOutBackend& backend)
        : m_device(std::make_unique<WaveOutDevice>(backend)) {}
    ~PlaybackOutput() { Release(); }

    MMRESULT Open() {
        g_pWaveOut = m_device.get();
        return m_device->Open(WAVE_MAPPER, &g_waveFormat, &OnWaveOutDone,
                              reinterpret_cast<std::uintptr_t>(&g_job));
    }

    void Start() {
        g_nStagingHalf = 0;
        m_staging.assign(2 * kHalfBufferBytes, 0);
        g_pStagingBuffer[0] = m_staging.data();
        g_pStagingBuffer[1] = m_staging.data() + kHalfBufferBytes;
        m_blockDone = std::make_unique<AutoResetEvent>(false);
        m_doneAck = std::make_unique<AutoResetEvent>(true);
        g_hBlockDone = m_blockDone.get();
        g_nQueuedBlocks = 0;
        g_hDoneAck = m_doneAck.get();
    }

    // Waits for one completion when two blocks are already queued.
    void WaitForRoom() {
        if (g_nQueuedBlocks >= 2) {
            ConsumeCompletion();
        }
    }

    // Hands a block to the device once there is room for it. Returns the device's result.
    MMRESULT Queue(const unsigned char* data, std::uint32_t count) {
        WaitForRoom();
        ++g_nQueuedBlocks;
        m_everQueued = true;
        unsigned char* half = g_pStagingBuffer[g_nStagingHalf];
        std::memcpy(half, data, count);
        const MMRESULT result = g_pWaveOut->Write(count, half);
        if (result != MMSYSERR_NOERROR) {
            --g_nQueuedBlocks;  // no completion will come for a refused block
        }
        g_nStagingHalf ^= 1;
        return result;
    }

    // Waits until every queued block has finished playing.
    void Drain() {
        while (g_nQueuedBlocks > 0) {
            ConsumeCompletion();
        }
    }

    bool EverQueued() const { return m_everQueued; }

    WaveOutDevice& Device() { return *m_device; }

    void Release() {
        if (m_device) {
            m_device->Close();
            m_device.reset();
        }
        g_pWaveOut = nullptr;
        g_hBlockDone = nullptr;
        m_blockDone.reset();
        m_staging.clear();
        m_staging.shrink_to_fit();
        g_pStagingBuffer[0] = g_pStagingBuffer[1] = nullptr;
        g_hDoneAck = nullptr;
        m_doneAck.reset();
    }

  private:
    void ConsumeCompletion() {
        g_hBlockDone->Wait();
        g_hDoneAck->Set();
        --g_nQueuedBlocks;
    }

    std::unique_ptr<WaveOutDevice> m_device;
    std::vector<unsigned char> m_staging;
    std::unique_ptr<AutoResetEvent> m_blockDone;
    std::unique_ptr<AutoResetEvent> m_doneAck;
    bool m_everQueued = false;
};

struct BlockResult {
    bool complete = false;   // every whole frame was processed
    std::int16_t meter = 0;  // meter sample of the last frame processed
};

// The pass loop's local state.
struct DriverState {
    std::int64_t dataStart = 0;
    std::uint64_t length = 0;
    std::uint64_t U = 0;  // bytes in one position step
    std::uint64_t P = 0;  // sample bytes consumed, the position of the next block
    std::uint64_t T = 0;  // P when the position counter last advanced
    int N = 0;            // position counter in trackbar steps
    std::size_t C = 0;    // bytes in the last block read
    bool first = true;
    bool restart = false;
    bool moved = false;
    bool stopped = false;
    FrameState frames{};
};

class StreamDriver {
  public:
    StreamDriver(Job& job, std::uint64_t length)
        : m_job(job), m_js(*job.jobState), m_window(job.context.window), m_state(job.State()) {
        m_d.length = length;
    }

    int Run();

  private:
    void Refuse(const char* message);
    void StartPositions();
    void ResetLoop(const char* message);
    void Reposition();
    void MoveToLoopStart(std::int64_t& q, std::int64_t s);
    BlockResult ProcessBlock();
    FrameRun ProcessRun(unsigned char* frames, std::size_t count, RunInterrupts interrupts);
    bool OutputBlock();
    void AdvancePosition();
    void RunPasses();
    bool RunInSegments();
    void ReportBlock(const BlockReport& block);
    std::int64_t Pos(int v) const { return TrackbarBytePos(v, m_d.U); }

    Job& m_job;
    JobState& m_js;
    WindowLink& m_window;
    WindowState& m_state;
    ProcessingParameters m_writeParams;  // a write job's, read once at the start of its data
    DriverState m_d;
    std::unique_ptr<PlaybackOutput> m_playback;
};

void StreamDriver::Refuse(const char* message) {
    m_window.ShowMessage(message);
    if (m_js.playJob) {
        m_state.m_bNoRestart = 1;
        m_state.m_bStopRequest = 1;
    }
}

void StreamDriver::ResetLoop(const char* message) {
    if (message != nullptr) {
        m_window.ShowMessage(message);
    }
    m_state.m_nLoopStart = 0;
    m_state.m_nLoopEnd = 100;
    m_window.SetTrackbarPos(Trackbar::LoopStart, 0);
    m_window.SetTrackbarPos(Trackbar::LoopEnd, 100);
}

void StreamDriver::StartPositions() {
    m_d.dataStart = std::ftell(m_job.input);
    m_d.U = m_d.length / kPositionSteps;
    std::int64_t start = Pos(m_state.m_nLoopStart);
    const std::int64_t end = Pos(m_state.m_nLoopEnd);
    if (!m_js.playJob) {
        start = 0;
        m_window.SetTrackbarPos(Trackbar::LoopStart, 0);
        m_state.m_bSeekRequest = 0;
    }
    if (start >= end) {
        // Once per job: a file of a million tiny "data" chunks must not bring a million.
        ResetLoop(m_job.loopWarningShown ? nullptr : kMsgError86);
        m_job.loopWarningShown = true;
        start = 0;
    }
    m_d.restart = m_js.playJob != 0;
    m_d.T = static_cast<std::uint64_t>(start);
    m_d.N = m_js.playJob ? m_state.m_nLoopStart.Get() : 0;
    m_state.m_nPlayPos = m_d.N;
    m_window.SetTrackbarPos(Trackbar::PlayPos, m_d.N);
}

void StreamDriver::MoveToLoopStart(std::int64_t& q, std::int64_t s) {
    q = s;
    m_state.m_nPlayPos = m_state.m_nLoopStart.Get();
    m_d.N = m_state.m_nLoopStart;
    m_window.SetTrackbarPos(Trackbar::PlayPos, m_window.GetTrackbarPos(Trackbar::LoopStart));
    m_d.moved = true;
}

void StreamDriver::Reposition() {
    SeekInput(m_job, m_d.dataStart);
    std::int64_t q = Pos(m_state.m_nPlayPos);
    std::int64_t s = Pos(m_state.m_nLoopStart);
    std::int64_t e = Pos(m_state.m_nLoopEnd);
    if (s >= e) {
        ResetLoop(kMsgError87);
        s = 0;
        // The loop is 0..100 from here on; compare with the loop end it now has.
        e = Pos(100);
    }
    if (q <= s) {
        MoveToLoopStart(q, s);
    }
    if (q >= e - static_cast<std::int64_t>(m_d.U)) {
        MoveToLoopStart(q, s);
    }
    SeekInput(m_job, m_d.dataStart + q);
    m_d.P = static_cast<std::uint64_t>(q);
    m_d.T = static_cast<std::uint64_t>(q);
    if (!m_d.moved) {
        m_d.N = m_state.m_nPlayPos;
        m_window.SetTrackbarPos(Trackbar::PlayPos, m_d.N);
    }
    m_d.moved = false;
    m_state.m_bSeekRequest = 0;
    m_d.restart = false;
}

// Processes the whole frames of the block in place until a seek or stop request comes,
// refreshing the meter after every frame whose offset is a multiple of the meter stride.
// Bytes after the last whole frame stay as they were read. A run that ended on a request
// that was withdrawn before it could be acted on goes on, so a block is either processed
// whole or not played at all.
BlockResult StreamDriver::ProcessBlock() {
    static_assert(kLevelMeterStride % kFrameBytes == 0);
    constexpr std::size_t kMeterFrames = kLevelMeterStride / kFrameBytes;
    const RunInterrupts interrupts = InterruptsOf(m_state);
    StereoSample last{};
    const std::size_t frames = m_d.C / kFrameBytes;
    std::size_t done = 0;
    while (done < frames) {
        // Up to and including the next frame that refreshes the meter.
        const std::size_t meterFrame = (done + kMeterFrames - 1) / kMeterFrames * kMeterFrames;
        const std::size_t wanted = std::min(frames, meterFrame + 1) - done;
        const FrameRun run = ProcessRun(m_js.blockBuffer + done * kFrameBytes, wanted, interrupts);
        if (run.frames > 0) {
            last = run.last;
        }
        done += run.frames;
        if (run.frames < wanted && interrupts.Requested()) {
            break;
        }
        if (done == meterFrame + 1) {
            UpdateLevelMeter(m_window, MeterSample(last));
        }
    }
    return {done == frames, MeterSample(last)};
}

// Playback follows the trackbars frame by frame. A write job takes no input while it runs,
// so its frames go through the faster path for constant parameters, the interrupts checked
// before each run instead of before each frame.
FrameRun StreamDriver::ProcessRun(unsigned char* frames, std::size_t count,
                                  RunInterrupts interrupts) {
    if (m_js.playJob) {
        return ProcessFrames(m_d.frames, m_state, interrupts, frames, count);
    }
    if (count == 0 || interrupts.Requested()) {
        return {};
    }
    ProcessConstantFrames(m_d.frames, frames, count, m_writeParams);
    return {count, FrameSample(frames + (count - 1) * kFrameBytes)};
}

bool StreamDriver::OutputBlock() {
    if (!m_js.playJob) {
        WriteBytes(m_job, m_js.blockBuffer, m_d.C);
        return !JobFailed(m_job);
    }
    m_playback->WaitForRoom();
    if (m_state.m_bStopRequest) {
        // What is queued plays out; the block that waited for room is not heard.
        m_d.stopped = true;
        return false;
    }
    const MMRESULT result = m_playback->Queue(m_js.blockBuffer, static_cast<std::uint32_t>(m_d.C));
    if (result != MMSYSERR_NOERROR) {
        char text[256] = {};
        m_playback->Device().GetErrorText(result, text, sizeof text);
        text[sizeof text - 1] = '\0';
        Refuse(text);
        return false;
    }
    m_job.dataBytesPlayed += m_d.C;
    return true;
}

void StreamDriver::AdvancePosition() {
    m_d.P += m_d.C;
    if (m_d.P >= m_d.T + m_d.U) {
        m_d.T = m_d.P;
        ++m_d.N;
        m_state.m_nPlayPos = m_state.m_nPlayPos + 1;
        m_window.SetTrackbarPos(Trackbar::PlayPos, m_d.N);
    }
}

int StreamDriver::Run() {
    if (m_js.channels != 2) {
        Refuse(kMsgNotStereo);
        return 1;
    }
    if (m_js.bytesPerSample != 2) {
        Refuse(kMsgNot16Bit);
        return 1;
    }
    if (m_js.playJob) {
        if (m_job.context.audio == nullptr) {
            Refuse(kMsgNoDevice);
            return 1;
        }
        m_playback = std::make_unique<PlaybackOutput>(*m_job.context.audio);
        if (m_playback->Open() != MMSYSERR_NOERROR) {
            m_playback.reset();
            Refuse(kMsgNoDevice);
            return 1;
        }
        m_playback->Start();
    }
    StartPositions();
    if (!m_js.playJob) {
        CopyParameters(m_state, m_writeParams);
    }
    if (!RunInSegments()) {
        RunPasses();
    }
    m_job.stopped = m_d.stopped;
    if (m_playback) {
        m_playback->Drain();
        // The buttons go idle as the last sound ends, not once the device has closed.
        if (m_d.stopped && m_playback->EverQueued()) {
            m_window.ResetPlayButtons();
        }
        m_playback->Release();
        m_playback.reset();
    }
    return 0;
}

void StreamDriver::RunPasses() {
    // A write job reads ahead and writes behind while it processes, when the data is
    // large enough to repay two threads and a core is free for them.
    std::unique_ptr<WriteJobStreams> streams;
    if (!m_js.playJob && m_job.output != nullptr && m_job.context.ioThreads &&
        m_d.length >= WriteJobStreams::kWorthBytes) {
        streams = std::make_unique<WriteJobStreams>(m_job, m_d.length);
        m_job.streams = streams.get();
    }
    for (;;) {
        if (m_d.C == 0 && !m_d.first) {
            break;
        }
        m_d.first = false;
        if (m_state.m_bSeekRequest || m_d.restart) {
            Reposition();
        }
        if (m_state.m_bStopRequest) {
            m_d.stopped = true;
            break;
        }
        const std::uint64_t left = m_d.P < m_d.length ? m_d.length - m_d.P : 0;
        const std::size_t want = left < kBlockBytes ? static_cast<std::size_t>(left) : kBlockBytes;
        m_d.C = ReadBytes(m_job, m_js.blockBuffer, want);
        if (m_d.C == 0) {
            break;
        }
        const BlockResult block = ProcessBlock();
        if (m_state.m_bStopRequest) {
            continue;
        }
        UpdateLevelMeter(m_window, block.meter);
        if (m_state.m_bSeekRequest || !block.complete) {
            m_d.first = true;
            continue;
        }
        if (!OutputBlock()) {
            break;
        }
        AdvancePosition();
        if (m_d.P >= m_d.length) {
            m_d.C = 0;
            continue;
        }
        if (m_d.N >= m_state.m_nLoopEnd && m_js.playJob) {
            m_d.restart = true;
        }
    }

    if (streams) {
        m_job.streams = nullptr;
        streams->Finish();
    }
}

void StreamDriver::ReportBlock(const BlockReport& block) {
    for (std::size_t m = 0; m * kMeterFrames < block.frames; ++m) {
        UpdateLevelMeter(m_window, block.meters[m]);
    }
    UpdateLevelMeter(m_window, block.frames > 0 ? block.meters[kMeterSlots - 1] : 0);
    m_d.C = block.bytes;
    AdvancePosition();
}

// A write job's parameters do not change while it runs (the window takes no input then),
// so its data can be processed in segments on every core. The window calls are those of
// the pass loop, made from this thread in the same order.
bool StreamDriver::RunInSegments() {
    if (m_js.playJob || m_job.output == nullptr || JobFailed(m_job)) {
        return false;
    }
    const JobContext& context = m_job.context;
    const int threads = context.pool != nullptr ? context.pool->Threads() : RenderPool::CoreCount();
    const std::int64_t inputOffset = ::ftello(m_job.input);
    struct stat info {};
    struct stat outputInfo {};
    // Segments are stored at their places in the output: a device or FIFO is written in order.
    if (inputOffset < 0 || ::fstat(::fileno(m_job.input), &info) != 0 ||
        ::fstat(::fileno(m_job.output), &outputInfo) != 0 || !S_ISREG(outputInfo.st_mode)) {
        return false;
    }
    const std::uint64_t present =
        info.st_size > inputOffset ? static_cast<std::uint64_t>(info.st_size - inputOffset) : 0;
    const std::uint64_t bytes = std::min(m_d.length, present);
    std::size_t segments = SegmentCount(bytes / kFrameBytes, threads, context.segmentSettings);
    if (context.segments != 0) {
        segments = std::min(segments, context.segments);
    }
    if (segments < 2 || std::fflush(m_job.output) != 0) {
        return false;
    }
    const std::int64_t outputOffset = ::ftello(m_job.output);
    if (outputOffset < 0) {
        return false;
    }
    std::unique_ptr<RenderPool> ownPool;
    RenderPool* pool = context.pool;
    if (pool == nullptr) {
        ownPool = std::make_unique<RenderPool>();
        pool = ownPool.get();
    }
    SegmentedWrite job;
    job.inputFd = ::fileno(m_job.input);
    job.inputOffset = inputOffset;
    job.outputFd = ::fileno(m_job.output);
    job.outputOffset = outputOffset;
    job.syncOutput = m_job.syncOutput;
    job.bytes = bytes;
    job.params = &m_writeParams;
    job.stop = &m_state.m_bStopRequest;
    job.pool = pool;
    job.segments = segments;
    job.settings = context.segmentSettings;
    const RunStatus status =
        WriteInSegments(job, [this](const BlockReport& block) { ReportBlock(block); });
    const auto end = static_cast<off_t>(bytes);
    switch (status) {
        case RunStatus::Done:
            break;
        case RunStatus::Stopped:
            m_d.stopped = true;
            break;
        case RunStatus::ReadFailed:
            m_job.readFailed = true;
            break;
        case RunStatus::WriteFailed:
            m_job.writeFailed = true;
            break;
        case RunStatus::Declined:
            return false;  // nothing was written: the pass loop takes the data in order
    }
    // The walk goes on after the data, in both files, as after the pass loop.
    if (::fseeko(m_job.input, inputOffset + end, SEEK_SET) != 0) {
        m_job.readFailed = true;
    }
    if (::fseeko(m_job.output, outputOffset + end, SEEK_SET) != 0) {
        m_job.writeFailed = true;
    }
    return true;
}

}  // namespace

std::int64_t TrackbarBytePos(int v, std::uint64_t u) {
    const std::int64_t product = static_cast<std::int64_t>(v) * static_cast<std::int64_t>(u);
    return product / kPositionGranularity * kPositionGranularity;
}

void UpdateLevelMeter(WindowLink& window, int sample) {
    window.ShowMeter(LevelMeterBitmap(sample));
}

int ProcessDataChunk(Job& job, std::uint64_t length) {
    StreamDriver driver(job, length);
    return driver.Run();
}

void OnWaveOutDone(HWAVEOUT /*device*/, unsigned message, std::uintptr_t instance,
                   std::uintptr_t param1, std::uintptr_t /*param2*/) {
    if (message != MM_WOM_DONE) {
        return;
    }
    // The device passes the job it was opened for and the finished buffer's header as
    // plain integers.
    JobState& job = *reinterpret_cast<JobState*>(instance);  // NOLINT(performance-no-int-to-ptr)
    WaveOutDevice::ReleaseBlock(
        reinterpret_cast<WAVEHDR*>(param1));  // NOLINT(performance-no-int-to-ptr)
    job.doneAck->Wait();
    job.blockDone->Set();
}
