#include "segmented_render.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "fast_frames.h"

namespace {

constexpr std::size_t kFrameBytes = 4;

bool SameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool SameLadder(const LadderLowPass& a, const LadderLowPass& b) {
    return SameBits(a.xPrev, b.xPrev) && SameBits(a.y1, b.y1) && SameBits(a.y2, b.y2) &&
           SameBits(a.y3, b.y3) && SameBits(a.y4, b.y4);
}

bool NegligibleLadder(const LadderLowPass& l) {
    for (const double v : {l.xPrev, l.y1, l.y2, l.y3, l.y4}) {
        if (!(std::fabs(v) < kNegligibleLadder)) {
            return false;
        }
    }
    return true;
}

bool SameCoefficients(const LadderCoefficients& a, const LadderCoefficients& b) {
    return SameBits(a.k, b.k) && SameBits(a.p, b.p) && SameBits(a.r, b.r);
}

bool SameFilterCoefficients(const FilterCoefficients& a, const FilterCoefficients& b) {
    return a.lowCutoff == b.lowCutoff && a.highCutoff == b.highCutoff && a.valid == b.valid &&
           SameCoefficients(a.low, b.low) && SameCoefficients(a.high, b.high) &&
           SameBits(a.fsv, b.fsv);
}

bool SameSvf(const SvfLowPass& a, const SvfLowPass& b) {
    return a.low == b.low && a.band == b.band;
}

template <typename LadderEqual>
bool StatesMatch(const FrameState& a, const FrameState& b, LadderEqual ladderEqual) {
    const FilterCoefficients& c = a.coefficients;
    return ladderEqual(a.ladderA, b.ladderA, c.low) && ladderEqual(a.ladderB, b.ladderB, c.low) &&
           ladderEqual(a.ladderC, b.ladderC, c.high) && ladderEqual(a.ladderD, b.ladderD, c.high) &&
           SameSvf(a.svfLeft, b.svfLeft) && SameSvf(a.svfRight, b.svfRight) &&
           SameFilterCoefficients(a.coefficients, b.coefficients);
}

// A sample the input attenuation turns into 0.
bool Silent(const unsigned char* sample) {
    const auto v = static_cast<std::int16_t>(sample[0] | (sample[1] << 8));
    return v >= -2 && v <= 2;
}

// The first multiple of align from nominal up to latest that follows warmUpFrames in
// which neither channel was silent for silentRunFrames in a row; nominal when none does.
std::uint64_t SoundedBoundary(FrameIo& io, std::uint64_t nominal, std::uint64_t latest,
                              std::size_t align, const SegmentSettings& settings) {
    const std::uint64_t w = settings.warmUpFrames;
    const std::uint64_t first = nominal - std::min<std::uint64_t>(nominal, w);
    std::vector<unsigned char> buffer(settings.pieceFrames * kFrameBytes);
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
            const unsigned char* frame = buffer.data() + i * kFrameBytes;
            runLeft = Silent(frame) ? runLeft + 1 : 0;
            runRight = Silent(frame + 2) ? runRight + 1 : 0;
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

}  // namespace

bool SameState(const FrameState& a, const FrameState& b) {
    return StatesMatch(
        a, b, [](const LadderLowPass& x, const LadderLowPass& y, const LadderCoefficients&) {
            return SameLadder(x, y);
        });
}

bool EquivalentStates(const FrameState& a, const FrameState& b) {
    return StatesMatch(
        a, b, [](const LadderLowPass& x, const LadderLowPass& y, const LadderCoefficients& c) {
            // A non-zero input v gives every stage a value near v * p^n, which swamps the
            // negligible ones, as long as p is not itself tiny and k and r keep them small.
            const bool swamped = c.p > 1e-6 && std::fabs(c.k) < 16 && std::fabs(c.r) < 16;
            return SameLadder(x, y) || (swamped && NegligibleLadder(x) && NegligibleLadder(y));
        });
}

void CopyParameters(const ProcessingParameters& from, ProcessingParameters& to) {
    to.m_fPanGainL = from.m_fPanGainL.Get();
    to.m_fPanGainR = from.m_fPanGainR.Get();
    to.m_fLeftGain = from.m_fLeftGain.Get();
    to.m_fRightGain = from.m_fRightGain.Get();
    to.m_fOutputGain = from.m_fOutputGain.Get();
    to.m_nLowCutoff = from.m_nLowCutoff.Get();
    to.m_nHighCutoff = from.m_nHighCutoff.Get();
    for (const ModeFlag& entry : kPlayModes) {
        to.*entry.flag = (from.*entry.flag).Get();
    }
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

namespace {

// Runs frames [from, to) through state, reading and optionally storing them piece by piece.
RunStatus RunFrames(FrameState& state, const ProcessingParameters& params, FrameIo& io,
                    std::vector<unsigned char>& buffer, std::uint64_t from, std::uint64_t to,
                    bool store, RunInterrupts interrupts) {
    const std::size_t piece = buffer.size() / kFrameBytes;
    for (std::uint64_t f = from; f < to;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(piece, to - f));
        if (!io.Read(f, buffer.data(), n)) {
            return RunStatus::ReadFailed;
        }
        if (ProcessFrames(state, params, interrupts, buffer.data(), n).frames < n) {
            return RunStatus::Stopped;
        }
        if (store && !io.Write(f, buffer.data(), n)) {
            return RunStatus::WriteFailed;
        }
        f += n;
    }
    return RunStatus::Done;
}

std::uint64_t CheckpointAt(const Segment& segment, std::size_t index) {
    return segment.begin + (index + 1) * static_cast<std::uint64_t>(segment.checkpointFrames);
}

}  // namespace

RunStatus RunSegment(Segment& segment, const ProcessingParameters& params, FrameIo& io,
                     const SegmentSettings& settings, RunInterrupts interrupts) {
    const std::uint64_t length = segment.end - segment.begin;
    segment.checkpointFrames = static_cast<std::size_t>(
        std::max<std::uint64_t>(settings.checkpointFrames,
                                (length + settings.maxCheckpoints - 1) / settings.maxCheckpoints));
    segment.checkpoints.clear();
    segment.checkpoints.reserve(static_cast<std::size_t>(length / segment.checkpointFrames));
    std::vector<unsigned char> buffer(settings.pieceFrames * kFrameBytes);
    FrameState state{};
    const std::uint64_t warmFrom =
        segment.begin - std::min<std::uint64_t>(segment.begin, settings.warmUpFrames);
    RunStatus status =
        RunFrames(state, params, io, buffer, warmFrom, segment.begin, false, interrupts);
    segment.start = state;
    for (std::uint64_t f = segment.begin; status == RunStatus::Done && f < segment.end;) {
        const std::uint64_t mark =
            std::min(segment.end, CheckpointAt(segment, segment.checkpoints.size()));
        status = RunFrames(state, params, io, buffer, f, mark, true, interrupts);
        f = mark;
        if (status == RunStatus::Done && f < segment.end) {
            segment.checkpoints.push_back(state);
        }
    }
    segment.finish = state;
    return status;
}

Reconciliation Reconcile(FrameState& truth, const Segment& segment,
                         const ProcessingParameters& params, FrameIo& io,
                         const SegmentSettings& settings, RunInterrupts interrupts) {
    Reconciliation result;
    if (EquivalentStates(truth, segment.start)) {
        truth = segment.finish;
        return result;
    }
    std::vector<unsigned char> buffer(settings.pieceFrames * kFrameBytes);
    std::uint64_t f = segment.begin;
    for (std::size_t i = 0; i <= segment.checkpoints.size(); ++i) {
        const std::uint64_t mark =
            i < segment.checkpoints.size() ? CheckpointAt(segment, i) : segment.end;
        result.status = RunFrames(truth, params, io, buffer, f, mark, true, interrupts);
        result.redoneFrames += mark - f;
        f = mark;
        if (result.status != RunStatus::Done) {
            return result;
        }
        if (i < segment.checkpoints.size() && EquivalentStates(truth, segment.checkpoints[i])) {
            truth = segment.finish;
            result.merge = Merge::AfterRedo;
            return result;
        }
    }
    result.merge = Merge::Never;
    return result;
}
