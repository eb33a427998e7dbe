#pragma once

// The sample data of a write job processed in segments on every thread of a pool, with
// the sequential result byte for byte (segmented_render.h). The thread that calls it
// reports the blocks in order, as the sequential pass loop would meet them.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>

#include "processing/block.h"
#include "processing/processing.h"
#include "processing/processing_parameters.h"
#include "processing/segmented_render.h"

class RenderPool;

// Meter samples of a block: frames 0, 500, .., 11000, then its last frame.
inline constexpr std::size_t kMeterSlots = (kBlockFrames + kMeterFrames - 1) / kMeterFrames + 1;

struct BlockReport {
    std::size_t bytes = 0;   // sample bytes of the block
    std::size_t frames = 0;  // whole frames in it
    std::int16_t meters[kMeterSlots] = {};
};

struct SegmentedWrite {
    int inputFd = -1;
    std::int64_t inputOffset = 0;  // first sample byte
    int outputFd = -1;
    std::int64_t outputOffset = 0;
    bool syncOutput = false;  // the output is synced at the end: start its write-back early
    std::uint64_t bytes = 0;  // sample bytes there are to process
    const ProcessingParameters* params = nullptr;  // constant while the job runs
    std::stop_token stop;
    RenderPool* pool = nullptr;
    std::size_t segments = 2;
    SegmentSettings settings;
    // Where the system's error number of a failed write of the output goes, when given.
    std::atomic<int>* writeError = nullptr;
};

// How many segments a run of frames is worth on threads threads, a group for each thread
// (kMaxFrameGroup); below 2 it runs as one.
std::size_t SegmentCount(std::uint64_t frames, int threads, const SegmentSettings& settings);

// Processes the bytes, reporting each block through onBlock from the calling thread, in
// order, once its bytes are final. A partial frame at the end is copied as it is.
RunStatus WriteInSegments(const SegmentedWrite& job,
                          const std::function<void(const BlockReport&)>& onBlock);
