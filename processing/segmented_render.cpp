#include "processing/segmented_render.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "processing/block.h"
#include "processing/fast_frames.h"

namespace {

// Bit for bit. The parts compared this way hold nothing but doubles, or nothing but 16-bit
// values, so their bytes are their values.
template <typename Part>
bool SameBits(const Part& a, const Part& b) {
    static_assert(sizeof(LadderLowPass) == 5 * sizeof(double) &&
                  sizeof(LadderCoefficients) == 3 * sizeof(double) &&
                  sizeof(SvfLowPass) == 2 * sizeof(std::int16_t));
    using Bytes = std::array<unsigned char, sizeof(Part)>;
    return std::bit_cast<Bytes>(a) == std::bit_cast<Bytes>(b);
}

bool NegligibleLadder(const LadderLowPass& l) {
    const double values[] = {l.xPrev, l.y1, l.y2, l.y3, l.y4};
    return std::ranges::all_of(values, [](double v) { return std::fabs(v) < kNegligibleLadder; });
}

bool SameCoefficients(const FilterCoefficients& a, const FilterCoefficients& b) {
    return a.lowCutoff == b.lowCutoff && a.highCutoff == b.highCutoff && a.valid == b.valid &&
           SameBits(a.low, b.low) && SameBits(a.high, b.high) && SameBits(a.fsv, b.fsv);
}

template <typename LadderEqual>
bool StatesMatch(const FrameState& a, const FrameState& b, LadderEqual ladderEqual) {
    const FilterCoefficients& c = a.coefficients;
    return ladderEqual(a.ladderA, b.ladderA, c.low) && ladderEqual(a.ladderB, b.ladderB, c.low) &&
           ladderEqual(a.ladderC, b.ladderC, c.high) && ladderEqual(a.ladderD, b.ladderD, c.high) &&
           SameBits(a.svfLeft, b.svfLeft) && SameBits(a.svfRight, b.svfRight) &&
           SameCoefficients(a.coefficients, b.coefficients);
}

// A sample the input attenuation turns into 0.
bool Silent(std::int16_t sample) {
    return sample >= -2 && sample <= 2;
}

// The first multiple of align from nominal up to latest that follows warmUpFrames in
// which neither channel was silent for silentRunFrames in a row; nominal when none does.
std::uint64_t SoundedBoundary(FrameIo& io, std::uint64_t nominal, std::uint64_t latest,
                              std::size_t align, const SegmentSettings& settings) {
    const std::uint64_t w = settings.warmUpFrames;
    const std::uint64_t first = nominal - std::min<std::uint64_t>(nominal, w);
    std::vector<unsigned char> buffer(settings.pieceFrames * kBytesPerFrame);
    std::uint64_t quietUntil = first;  // nothing before the scan counts as sound
    std::size_t runLeft = 0;
    std::size_t runRight = 0;
    for (std::uint64_t f = first; f < latest;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(settings.pieceFrames, latest - f));
        if (!io.Read(f, buffer.data(), n)) {
            return nominal;
        }
        for (std::size_t i = 0; i < n; ++i, ++f) {
            const StereoSample sample = FrameSample(buffer.data() + i * kBytesPerFrame);
            runLeft = Silent(sample.left) ? runLeft + 1 : 0;
            runRight = Silent(sample.right) ? runRight + 1 : 0;
            if (runLeft >= settings.silentRunFrames || runRight >= settings.silentRunFrames) {
                quietUntil = f + 1;
            }
            const std::uint64_t after = f + 1;
            if (after >= nominal && after % align == 0 && after >= quietUntil + w) {
                return after;
            }
        }
    }
    return nominal;
}

std::uint64_t CheckpointAt(const Segment& segment, std::size_t index) {
    return segment.begin + (index + 1) * static_cast<std::uint64_t>(segment.checkpointFrames);
}

// A segment's speculative run, read and stored a piece at a time, so that several runs can
// share a thread. A piece ends at the end of the warm-up or of the segment; inside it the
// run stops at each checkpoint, where the state is recorded.
class SegmentRun {
  public:
    SegmentRun(Segment& segment, const SegmentSettings& settings)
        : m_segment(segment),
          m_buffer(settings.pieceFrames * kBytesPerFrame),
          m_frame(segment.begin - std::min<std::uint64_t>(segment.begin, settings.warmUpFrames)) {
        const std::uint64_t length = segment.end - segment.begin;
        segment.checkpointFrames = static_cast<std::size_t>(std::max<std::uint64_t>(
            settings.checkpointFrames,
            (length + settings.maxCheckpoints - 1) / settings.maxCheckpoints));
        segment.checkpoints.clear();
        segment.checkpoints.reserve(static_cast<std::size_t>(length / segment.checkpointFrames));
        Record();
    }

    bool Done() const { return m_frame >= m_segment.end; }
    FrameState& State() { return m_state; }

    // Frames of the next piece.
    std::size_t PieceCount() const {
        const std::uint64_t event = m_frame < m_segment.begin ? m_segment.begin : m_segment.end;
        return static_cast<std::size_t>(
            std::min<std::uint64_t>(m_buffer.size() / kBytesPerFrame, event - m_frame));
    }
    bool Read(FrameIo& io, std::size_t count) {
        m_pieceStart = m_frame;
        return io.Read(m_frame, m_buffer.data(), count);
    }
    // Frames of the piece from here to the next checkpoint, at most left.
    std::size_t ToCheckpoint(std::size_t left) const {
        if (m_frame < m_segment.begin) {
            return left;
        }
        const std::uint64_t next = CheckpointAt(m_segment, m_segment.checkpoints.size());
        return static_cast<std::size_t>(std::min<std::uint64_t>(left, next - m_frame));
    }
    unsigned char* Frames() { return m_buffer.data() + (m_frame - m_pieceStart) * kBytesPerFrame; }
    void Advance(std::size_t count) {
        m_frame += count;
        Record();
    }
    // After the piece was processed: stores it unless it was warm-up.
    bool Store(FrameIo& io) {
        return m_pieceStart < m_segment.begin ||
               io.Write(m_pieceStart, m_buffer.data(),
                        static_cast<std::size_t>(m_frame - m_pieceStart));
    }

  private:
    void Record() {
        if (m_frame == m_segment.begin) {
            m_segment.start = m_state;
        }
        if (m_frame == m_segment.end) {
            m_segment.finish = m_state;
        } else if (m_frame > m_segment.begin &&
                   m_frame == CheckpointAt(m_segment, m_segment.checkpoints.size())) {
            m_segment.checkpoints.push_back(m_state);
        }
    }

    Segment& m_segment;
    std::vector<unsigned char> m_buffer;
    FrameState m_state{};
    std::uint64_t m_frame;
    std::uint64_t m_pieceStart = 0;
};

// One piece of each run, in step: as long as the shortest run's next piece.
RunStatus StepGroup(SegmentRun* const* runs, std::size_t count, const ProcessingParameters& params,
                    FrameIo& io, const std::stop_token& stop) {
    std::size_t n = runs[0]->PieceCount();
    for (std::size_t i = 1; i < count; ++i) {
        n = std::min(n, runs[i]->PieceCount());
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!runs[i]->Read(io, n)) {
            return RunStatus::ReadFailed;
        }
    }
    if (stop.stop_requested()) {
        return RunStatus::Stopped;
    }
    FrameState* states[kMaxFrameGroup];
    unsigned char* frames[kMaxFrameGroup];
    for (std::size_t done = 0; done < n;) {
        std::size_t step = n - done;
        for (std::size_t i = 0; i < count; ++i) {
            step = runs[i]->ToCheckpoint(step);
            states[i] = &runs[i]->State();
            frames[i] = runs[i]->Frames();
        }
        ProcessFrameGroup(states, frames, count, step, params);
        for (std::size_t i = 0; i < count; ++i) {
            runs[i]->Advance(step);
        }
        done += step;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!runs[i]->Store(io)) {
            return RunStatus::WriteFailed;
        }
    }
    return RunStatus::Done;
}

}  // namespace

bool SameState(const FrameState& a, const FrameState& b) {
    return StatesMatch(
        a, b, [](const LadderLowPass& x, const LadderLowPass& y, const LadderCoefficients&) {
            return SameBits(x, y);
        });
}

bool EquivalentStates(const FrameState& a, const FrameState& b) {
    return StatesMatch(
        a, b, [](const LadderLowPass& x, const LadderLowPass& y, const LadderCoefficients& c) {
            // A non-zero input v gives every stage a value near v * p^n, which swamps the
            // negligible ones, as long as p is not itself tiny and k and r keep them small.
            const bool swamped = c.p > 1e-6 && std::fabs(c.k) < 16 && std::fabs(c.r) < 16;
            return SameBits(x, y) || (swamped && NegligibleLadder(x) && NegligibleLadder(y));
        });
}

std::vector<std::uint64_t> PlanBoundaries(FrameIo& io, std::uint64_t total, std::size_t n,
                                          std::size_t align, const SegmentSettings& settings) {
    std::vector<std::uint64_t> bounds{0};
    const std::uint64_t length = n > 0 ? total / n : total;
    for (std::size_t i = 1; i < n; ++i) {
        const std::uint64_t nominal = total * i / n / align * align;
        const std::uint64_t latest = std::min(total, nominal + length / 4);
        const std::uint64_t b = SoundedBoundary(io, nominal, latest, align, settings);
        if (b > bounds.back() && b < total) {
            bounds.push_back(b);
        }
    }
    bounds.push_back(total);
    return bounds;
}

bool WarmUpsAgree(FrameIo& io, std::uint64_t boundary, const ProcessingParameters& params,
                  const SegmentSettings& settings) {
    const std::uint64_t w = settings.warmUpFrames;
    if (boundary <= w) {
        return true;  // the warm-up starts at the first frame, where the true run does
    }
    const std::uint64_t longFrom = boundary - std::min(boundary, 2 * w);
    const std::uint64_t shortFrom = boundary - w;
    std::vector<unsigned char> frames(settings.pieceFrames * kBytesPerFrame);
    std::vector<unsigned char> copy(frames.size());
    FrameState longRun{};
    FrameState shortRun{};
    for (std::uint64_t f = longFrom; f < boundary;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(
            settings.pieceFrames, (f < shortFrom ? shortFrom : boundary) - f));
        if (!io.Read(f, frames.data(), n)) {
            return true;  // the segments will meet the failure and report it
        }
        const bool both = f >= shortFrom;
        if (both) {
            std::copy_n(frames.begin(), n * kBytesPerFrame, copy.begin());
        }
        FrameState* states[] = {&longRun, &shortRun};
        unsigned char* runs[] = {frames.data(), copy.data()};
        ProcessFrameGroup(states, runs, both ? 2 : 1, n, params);
        f += n;
    }
    return EquivalentStates(longRun, shortRun);
}

RunStatus RunSegmentGroup(Segment* const* segments, std::size_t count,
                          const ProcessingParameters& params, FrameIo& io,
                          const SegmentSettings& settings, const std::stop_token& stop) {
    std::vector<SegmentRun> runs;
    runs.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        runs.emplace_back(*segments[i], settings);
    }
    RunStatus status = RunStatus::Done;
    while (status == RunStatus::Done) {
        SegmentRun* active[kMaxFrameGroup];
        std::size_t n = 0;
        for (SegmentRun& run : runs) {
            if (!run.Done()) {
                active[n++] = &run;
            }
        }
        if (n == 0) {
            break;
        }
        status = StepGroup(active, n, params, io, stop);
    }
    return status;
}

Reconciliation Reconcile(FrameState& truth, const Segment& segment,
                         const ProcessingParameters& params, FrameIo& io,
                         const SegmentSettings& settings, const std::stop_token& stop) {
    if (EquivalentStates(truth, segment.start)) {
        truth = segment.finish;
        return {RunStatus::Done, Merge::AtBoundary};
    }
    // Read and stored a piece at a time; within a piece the true run stops at each
    // checkpoint to compare states, and what follows a merge is left as the segment wrote it.
    std::vector<unsigned char> buffer(settings.pieceFrames * kBytesPerFrame);
    std::size_t next = 0;  // the checkpoint compared next
    for (std::uint64_t f = segment.begin; f < segment.end;) {
        const auto n = static_cast<std::size_t>(
            std::min<std::uint64_t>(settings.pieceFrames, segment.end - f));
        if (!io.Read(f, buffer.data(), n)) {
            return {RunStatus::ReadFailed};
        }
        std::size_t done = 0;
        bool merged = false;
        while (done < n && !merged) {
            const std::uint64_t mark =
                next < segment.checkpoints.size() ? CheckpointAt(segment, next) : segment.end;
            const auto run =
                static_cast<std::size_t>(std::min<std::uint64_t>(n - done, mark - f - done));
            if (stop.stop_requested()) {
                return {RunStatus::Stopped};
            }
            ProcessFrames(truth, params, buffer.data() + done * kBytesPerFrame, run);
            done += run;
            if (f + done == mark && next < segment.checkpoints.size()) {
                merged = EquivalentStates(truth, segment.checkpoints[next++]);
            }
        }
        if (!io.Write(f, buffer.data(), done)) {
            return {RunStatus::WriteFailed};
        }
        f += done;
        if (merged) {
            truth = segment.finish;
            return {RunStatus::Done, Merge::AfterRedo};
        }
    }
    return {RunStatus::Done, Merge::Never};
}
