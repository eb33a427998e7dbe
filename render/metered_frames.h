#pragma once

// The frame processing of a block, as a write and a playback both run it: in place, in runs
// that each end at a frame whose offset is a multiple of the meter's stride, where the meter
// is told that frame's level.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "processing/processing.h"
#include "render/job_observer.h"

struct MeteredRun {
    std::size_t frames = 0;  // frames done
    bool ends = false;       // the block ends there (a playback's seek or stop)
};

// run(at, count) processes up to count frames from at. The frames done (counted from the
// block's start), and the meter sample of the last (0 when none was).
struct MeteredBlock {
    std::size_t frames = 0;
    std::int16_t meter = 0;
};

// The block's frames from first to end, the meter's stride counted from the block's start:
// a block processed in pieces tells the same levels as a block processed whole.
template <typename Run>
MeteredBlock MeteredFrames(unsigned char* block, std::size_t first, std::size_t end,
                           JobObserver& observer, Run run) {
    MeteredBlock done{first, 0};
    while (done.frames < end) {
        const std::size_t meterFrame =
            (done.frames + kMeterFrames - 1) / kMeterFrames * kMeterFrames;
        const std::size_t wanted = std::min(end, meterFrame + 1) - done.frames;
        const MeteredRun ran = run(block + done.frames * 4, wanted);
        done.frames += ran.frames;
        if (ran.frames > 0) {
            done.meter = MeterSample(FrameSample(block + (done.frames - 1) * 4));
        }
        if (ran.ends) {
            break;
        }
        if (done.frames == meterFrame + 1) {
            observer.Level(MeterSegments(done.meter));
        }
    }
    return done;
}
