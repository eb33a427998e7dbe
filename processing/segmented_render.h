#pragma once

// Exact processing of one long run of frames in segments that run side by side.
//
// Segment k starts warmUpFrames before its first frame from the all-zero state and
// discards that output; the filters forget where they started, so its state soon equals,
// bit for bit, the state the sequential run has there. When the segment before it has
// finished, the true state at the boundary is compared with the segment's state there.
// Equal: every frame of the segment is already what the sequential run gives. Not equal:
// the true run goes on into the segment, storing its frames over the segment's, until its
// state equals one the segment stored at a checkpoint, or to the segment's end. The
// result is always the sequential run's, byte for byte. States are compared, never
// outputs: equal outputs do not imply equal states.
//
// Nothing here reads a file or starts a thread: frames come and go through FrameIo, and
// the caller decides where each segment runs.

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <vector>

#include "processing/processing.h"

struct SegmentSettings {
    std::size_t warmUpFrames = 131072;
    std::size_t checkpointFrames = 11025;  // one block
    std::size_t maxCheckpoints = 4096;     // a longer segment spaces them further apart
    std::size_t pieceFrames = 65536;       // frames read, processed and stored at a time
    // A boundary is moved, by at most a quarter of its segment, to where neither channel
    // was silent for this many frames within the warm-up before it.
    std::size_t silentRunFrames = 64;
    // Whether a job whose warm-ups disagree at the first boundary runs in one piece
    // instead (WarmUpsAgree); off, the segments run whatever the input.
    bool declineWhereWarmUpsDisagree = true;
};

// Where a segmented run takes its input frames and puts its processed frames: 16-bit
// stereo, four bytes a frame, numbered from the first frame of the run. Called from any
// thread, for different frames at the same time.
class FrameIo {
  public:
    virtual ~FrameIo() = default;
    // Reads count frames from frame on; false when they cannot all be read.
    virtual bool Read(std::uint64_t frame, unsigned char* buffer, std::size_t count) = 0;
    // Stores count processed frames from frame on; a redo stores some frames again.
    virtual bool Write(std::uint64_t frame, const unsigned char* buffer, std::size_t count) = 0;
};

// Every value bit for bit: the four ladders (xPrev, y1..y4), the two state-variable
// filters and the coefficients.
bool SameState(const FrameState& a, const FrameState& b);

// SameState, except that a ladder whose five values lie below kNegligibleLadder in
// magnitude in both states counts as equal: it gives 0 in both as long as its input is 0,
// and the first non-zero input leaves both ladders with the same bits.
inline constexpr double kNegligibleLadder = 1e-250;
bool EquivalentStates(const FrameState& a, const FrameState& b);

enum class RunStatus {
    Done,
    Stopped,
    ReadFailed,
    WriteFailed,
    Declined,  // the input would hardly merge: nothing was written, run it in one piece
};

// One segment of the run, frames [begin, end).
struct Segment {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    std::size_t checkpointFrames = 0;     // spacing of the checkpoints, set by RunSegmentGroup
    FrameState start{};                   // after the warm-up; zero for the first segment
    std::vector<FrameState> checkpoints;  // at begin + (i + 1) * checkpointFrames, before end
    FrameState finish{};                  // after the last frame
};

// Boundaries of n segments over total frames: 0, ..., total. Each inner boundary lies on
// a multiple of align and, where the input allows it, after warmUpFrames of sound.
std::vector<std::uint64_t> PlanBoundaries(FrameIo& io, std::uint64_t total, std::size_t n,
                                          std::size_t align, const SegmentSettings& settings);

// Whether segments are worth running: two warm-ups that end at the boundary, one of
// warmUpFrames and one twice as long, reach equivalent states there. Where they do not
// (a sample-exact periodic tone at the lowest cut-off), the true run seldom merges with a
// segment either, and every segment after the first would be run twice.
bool WarmUpsAgree(FrameIo& io, std::uint64_t boundary, const ProcessingParameters& params,
                  const SegmentSettings& settings);

// Runs up to kMaxFrameGroup segments speculatively on the calling thread, frame by frame
// in step, in little more than the time of one (the processor overlaps their filter
// chains): each its warm-up, then its frames, stored through io a piece at a time. A stop
// ends them all, checked between pieces.
RunStatus RunSegmentGroup(Segment* const* segments, std::size_t count,
                          const ProcessingParameters& params, FrameIo& io,
                          const SegmentSettings& settings, const std::stop_token& stop);

enum class Merge {
    AtBoundary,  // the segment's frames were exact as they stood
    AfterRedo,   // the true run replaced frames up to a checkpoint
    Never,       // the true run replaced the whole segment
};

struct Reconciliation {
    RunStatus status = RunStatus::Done;
    Merge merge = Merge::AtBoundary;
};

// Brings a finished segment in line with the true state at its begin, which becomes the
// true state at its end.
Reconciliation Reconcile(FrameState& truth, const Segment& segment,
                         const ProcessingParameters& params, FrameIo& io,
                         const SegmentSettings& settings, const std::stop_token& stop);
