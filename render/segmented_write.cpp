#include "render/segmented_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "processing/fast_frames.h"
#include "render/render_pool.h"
#include "render/transfer_all.h"

namespace {

// Beyond this a file gets more segments than threads, so that what a segment holds (its
// checkpoints and meter samples) stays small whatever the file's length.
constexpr std::uint64_t kMaxSegmentFrames = std::uint64_t{1} << 24;
// A segment shorter than this many warm-ups would spend too much of its time warming up.
constexpr std::uint64_t kMinSegmentWarmUps = 8;

constexpr std::uint64_t kWriteBackMarginWarmUps = 2;

using BlockMeters = std::array<std::int16_t, kMeterSlots>;

// One segment as the job tracks it. The worker fills it; the job's thread reads it once
// done, or, for the first segment, up to stored.
struct Slot {
    Segment segment;
    std::vector<BlockMeters> meters;  // one entry per block of the segment
    RunStatus status = RunStatus::Done;
    bool done = false;
    std::uint64_t stored = 0;       // frames before this one are stored
    std::uint64_t writtenBack = 0;  // frames before this one are being written back
};

class SegmentedJob : public FrameIo {
  public:
    SegmentedJob(const SegmentedWrite& job, const std::function<void(const BlockReport&)>& onBlock)
        : m_job(job), m_onBlock(onBlock), m_frames(job.bytes / kBytesPerFrame) {}

    RunStatus Run();

    bool Read(std::uint64_t frame, unsigned char* buffer, std::size_t count) override {
        return TransferAll(::pread, m_job.inputFd, buffer, count * kBytesPerFrame,
                           FileOffset(m_job.inputOffset, frame));
    }
    bool Write(std::uint64_t frame, const unsigned char* buffer, std::size_t count) override;
    void NoteWriteError() const;

  private:
    static std::int64_t FileOffset(std::int64_t base, std::uint64_t frame) {
        return base + static_cast<std::int64_t>(frame * kBytesPerFrame);
    }
    std::size_t SlotOf(std::uint64_t frame) const;
    void RecordMeters(Slot& slot, std::uint64_t frame, const unsigned char* buffer,
                      std::size_t count);
    void Prepare(Slot& slot);
    void SubmitNext();
    RunStatus CopyTail();
    RunStatus FollowFirst();
    RunStatus Settle(std::size_t k, FrameState& truth);
    void EmitBlocks(std::uint64_t finalFrames);
    void StartWriteBack(std::uint64_t finalFrames);
    void StartEarlyWriteBack();
    // Starts the write-back of the output's frames from begin to end.
    void WriteBack(std::uint64_t begin, std::uint64_t end) const {
        ::sync_file_range(m_job.outputFd, FileOffset(m_job.outputOffset, begin),
                          static_cast<off_t>((end - begin) * kBytesPerFrame),
                          SYNC_FILE_RANGE_WRITE);
    }

    const SegmentedWrite& m_job;
    const std::function<void(const BlockReport&)>& m_onBlock;
    const std::uint64_t m_frames;
    std::vector<Slot> m_slots;
    std::stop_source m_cancel;  // the job stopped, or a segment failed
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_running = 0;
    std::size_t m_submitted = 0;
    std::uint64_t m_nextBlock = 0;
    std::uint64_t m_writtenBack = 0;  // frames whose write-back was started
};

std::size_t SegmentedJob::SlotOf(std::uint64_t frame) const {
    const auto after =
        std::upper_bound(m_slots.begin(), m_slots.end(), frame,
                         [](std::uint64_t f, const Slot& slot) { return f < slot.segment.begin; });
    return static_cast<std::size_t>(after - m_slots.begin()) - 1;
}

void SegmentedJob::RecordMeters(Slot& slot, std::uint64_t frame, const unsigned char* buffer,
                                std::size_t count) {
    const std::uint64_t end = frame + count;
    const std::uint64_t firstBlock = slot.segment.begin / kBlockFrames;
    for (std::uint64_t b = frame / kBlockFrames; b * kBlockFrames < end; ++b) {
        const std::uint64_t start = b * kBlockFrames;
        const std::uint64_t last = std::min<std::uint64_t>(m_frames, start + kBlockFrames) - 1;
        BlockMeters& meters = slot.meters[b - firstBlock];
        const auto record = [&](std::size_t index, std::uint64_t g) {
            if (g >= frame && g < end && g <= last) {
                meters[index] = MeterSample(FrameSample(buffer + (g - frame) * kBytesPerFrame));
            }
        };
        for (std::size_t m = 0; m + 1 < kMeterSlots; ++m) {
            record(m, start + m * kMeterFrames);
        }
        record(kMeterSlots - 1, last);
    }
}

void SegmentedJob::NoteWriteError() const {
    const int error = errno != 0 ? errno : EIO;
    int none = 0;
    if (m_job.writeError != nullptr) {
        m_job.writeError->compare_exchange_strong(none, error);
    }
}

bool SegmentedJob::Write(std::uint64_t frame, const unsigned char* buffer, std::size_t count) {
    Slot& slot = m_slots[SlotOf(frame)];
    RecordMeters(slot, frame, buffer, count);
    if (!TransferAll(::pwrite, m_job.outputFd, buffer, count * kBytesPerFrame,
                     FileOffset(m_job.outputOffset, frame))) {
        NoteWriteError();
        return false;
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        slot.stored = std::max(slot.stored, frame + count);
    }
    m_changed.notify_all();
    return true;
}

void SegmentedJob::Prepare(Slot& slot) {
    const std::uint64_t blocks =
        (slot.segment.end - slot.segment.begin + kBlockFrames - 1) / kBlockFrames;
    slot.meters.assign(static_cast<std::size_t>(blocks), BlockMeters{});
    slot.stored = slot.segment.begin;
}

// Submits the next slot's task, together with the slots after it as a group on one thread.
void SegmentedJob::SubmitNext() {
    const std::size_t first = m_submitted;
    const std::size_t count = std::min(kMaxFrameGroup, m_slots.size() - first);
    std::array<Segment*, kMaxFrameGroup> segments{};
    for (std::size_t i = 0; i < count; ++i) {
        Prepare(m_slots[first + i]);
        segments[i] = &m_slots[first + i].segment;
    }
    m_submitted += count;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_running;
    }
    m_job.pool->Submit([this, first, segments, count] {
        const RunStatus status = RunSegmentGroup(segments.data(), count, *m_job.params, *this,
                                                 m_job.settings, m_cancel.get_token());
        // Notified under the lock: once m_running is 0 the job may be gone.
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (std::size_t i = 0; i < count; ++i) {
            m_slots[first + i].status = status;
            m_slots[first + i].done = true;
        }
        --m_running;
        m_changed.notify_all();
    });
}

RunStatus SegmentedJob::CopyTail() {
    const std::size_t tail = static_cast<std::size_t>(m_job.bytes % kBytesPerFrame);
    unsigned char bytes[kBytesPerFrame];
    if (tail == 0) {
        return RunStatus::Done;
    }
    if (!TransferAll(::pread, m_job.inputFd, bytes, tail,
                     FileOffset(m_job.inputOffset, m_frames))) {
        return RunStatus::ReadFailed;
    }
    if (!TransferAll(::pwrite, m_job.outputFd, bytes, tail,
                     FileOffset(m_job.outputOffset, m_frames))) {
        NoteWriteError();
        return RunStatus::WriteFailed;
    }
    return RunStatus::Done;
}

void SegmentedJob::EmitBlocks(std::uint64_t finalFrames) {
    const std::uint64_t blocks = (m_job.bytes + kBlockBytes - 1) / kBlockBytes;
    for (; m_nextBlock < blocks; ++m_nextBlock) {
        const std::uint64_t start = m_nextBlock * kBlockFrames;
        if (std::min(m_frames, start + kBlockFrames) > finalFrames) {
            return;
        }
        BlockReport report;
        report.bytes = static_cast<std::size_t>(
            std::min<std::uint64_t>(kBlockBytes, m_job.bytes - m_nextBlock * kBlockBytes));
        report.frames = report.bytes / kBytesPerFrame;
        if (report.frames > 0) {
            const Slot& slot = m_slots[SlotOf(start)];
            const BlockMeters& meters =
                slot.meters[m_nextBlock - slot.segment.begin / kBlockFrames];
            std::copy(meters.begin(), meters.end(), report.meters);
        }
        m_onBlock(report);
        StartWriteBack(std::min(m_frames, start + kBlockFrames));
    }
}

// Frames this far into a later segment are hardly ever redone: their write-back starts
// while the first segment runs, so that the disk works while the job does. This thread
// starts it: a worker must not wait for the disk.
void SegmentedJob::StartEarlyWriteBack() {
    if (!m_job.syncOutput) {
        return;
    }
    for (std::size_t k = 1; k < m_submitted; ++k) {
        Slot& slot = m_slots[k];
        const std::uint64_t stored = [&] {
            const std::lock_guard<std::mutex> lock(m_mutex);
            return slot.stored;
        }();
        const std::uint64_t from =
            std::max(slot.writtenBack,
                     slot.segment.begin + kWriteBackMarginWarmUps * m_job.settings.warmUpFrames);
        if (stored > from) {
            WriteBack(from, stored);
            slot.writtenBack = stored;
        }
    }
}

// Starting the write-back of final frames at once spreads the disk's work over the job
// instead of leaving it all to the final sync.
void SegmentedJob::StartWriteBack(std::uint64_t finalFrames) {
    constexpr std::uint64_t kWriteBackFrames = 1 << 17;
    if (!m_job.syncOutput) {
        return;
    }
    if (finalFrames < m_writtenBack + kWriteBackFrames && finalFrames < m_frames) {
        return;
    }
    WriteBack(m_writtenBack, finalFrames);
    m_writtenBack = finalFrames;
}

// The first segment starts from the true state: its blocks are final as they are stored.
RunStatus SegmentedJob::FollowFirst() {
    Slot& slot = m_slots[0];
    for (;;) {
        bool done = false;
        std::uint64_t stored = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            const std::uint64_t nextEnd =
                std::min(m_frames, (m_nextBlock + 1) * static_cast<std::uint64_t>(kBlockFrames));
            m_changed.wait(lock, [&] { return slot.done || slot.stored >= nextEnd; });
            done = slot.done;
            stored = slot.stored;
        }
        if (done && slot.status != RunStatus::Done) {
            return slot.status;
        }
        EmitBlocks(stored);
        StartEarlyWriteBack();
        if (done) {
            return RunStatus::Done;
        }
    }
}

RunStatus SegmentedJob::Settle(std::size_t k, FrameState& truth) {
    Slot& slot = m_slots[k];
    if (k == 0) {
        const RunStatus status = FollowFirst();
        truth = slot.segment.finish;
        return status;
    }
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return slot.done; });
    }
    if (slot.status != RunStatus::Done) {
        return slot.status;
    }
    const Reconciliation r =
        Reconcile(truth, slot.segment, *m_job.params, *this, m_job.settings, m_cancel.get_token());
    if (r.status == RunStatus::Done) {
        EmitBlocks(slot.segment.end);
    }
    return r.status;
}

RunStatus SegmentedJob::Run() {
    const std::stop_callback stopped(m_job.stop, [this] { m_cancel.request_stop(); });
    const std::vector<std::uint64_t> bounds =
        PlanBoundaries(*this, m_frames, m_job.segments, kBlockFrames, m_job.settings);
    if (bounds.size() > 2 && m_job.settings.declineWhereWarmUpsDisagree &&
        !WarmUpsAgree(*this, bounds[1], *m_job.params, m_job.settings)) {
        return RunStatus::Declined;
    }
    m_slots.resize(bounds.size() - 1);
    for (std::size_t k = 0; k < m_slots.size(); ++k) {
        m_slots[k].segment.begin = bounds[k];
        m_slots[k].segment.end = bounds[k + 1];
    }
    // Segments run at most two rounds ahead of the one being settled, so memory stays flat.
    const std::size_t ahead = 2 * kMaxFrameGroup * static_cast<std::size_t>(m_job.pool->Threads());
    while (m_submitted < std::min(ahead, m_slots.size())) {
        SubmitNext();
    }
    RunStatus status = CopyTail();
    FrameState truth{};
    for (std::size_t k = 0; k < m_slots.size() && status == RunStatus::Done; ++k) {
        status = Settle(k, truth);
        m_slots[k].meters = {};
        m_slots[k].segment.checkpoints = {};
        if (m_submitted < m_slots.size() && m_submitted < k + 1 + ahead) {
            SubmitNext();
        }
    }
    if (status == RunStatus::Done) {
        EmitBlocks(m_frames);
    } else {
        m_cancel.request_stop();
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_running == 0; });
    return status;
}

}  // namespace

std::size_t SegmentCount(std::uint64_t frames, int threads, const SegmentSettings& settings) {
    const std::uint64_t minFrames =
        kMinSegmentWarmUps * std::max<std::uint64_t>(1, settings.warmUpFrames);
    // Each thread takes its segments a group at a time; one thread runs the job as one.
    const auto t = threads >= 2 ? kMaxFrameGroup * static_cast<std::uint64_t>(threads) : 1;
    std::uint64_t n = std::min(t, frames / minFrames);
    if (n >= 2 && frames / n > kMaxSegmentFrames) {
        const std::uint64_t rounds = (frames / t + kMaxSegmentFrames - 1) / kMaxSegmentFrames;
        n = rounds * t;
    }
    return static_cast<std::size_t>(n);
}

RunStatus WriteInSegments(const SegmentedWrite& job,
                          const std::function<void(const BlockReport&)>& onBlock) {
    return SegmentedJob(job, onBlock).Run();
}
