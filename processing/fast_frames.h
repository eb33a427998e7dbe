#pragma once

// The block path of the processing: runs many frames in one call with the filter state
// held in registers. Every frame gets exactly the arithmetic of ProcessFrame, which stays
// the reference: the parameters, the mode flags and the seek and stop requests are still
// read for every frame, so a change made while a run is under way is used from the next
// frame on.

#include <cstddef>

#include "processing.h"

struct FrameRun {
    std::size_t frames = 0;  // frames processed
    StereoSample last{};     // output of the last frame processed; zero when none was
};

// Instruction sets the block path is built for; the best one the processor has is chosen
// at run time, so the program runs on any x86-64 machine.
enum class FrameKernel {
    Plain,  // ProcessFrame frame by frame
    Sse2,   // every x86-64 processor
    Sse41,
    Avx,  // the ladders in one 256-bit vector
};

bool FrameKernelAvailable(FrameKernel kernel);
FrameKernel BestFrameKernel();

// Processes up to count 16-bit stereo frames in place, left then right, little-endian.
// Stops before the first frame at which one of the interrupts is requested.
FrameRun ProcessFrames(FrameState& state, const ProcessingParameters& params,
                       RunInterrupts interrupts, unsigned char* frames, std::size_t count);
// Processes two independent runs of count frames each, with parameters that do not
// change meanwhile: the same result as two ProcessFrames calls, in nearly the time of one
// where the processor can overlap them.
void ProcessFramePair(FrameState& s0, unsigned char* frames0, FrameState& s1,
                      unsigned char* frames1, std::size_t count,
                      const ProcessingParameters& params);
void ProcessFramePairWith(FrameKernel kernel, FrameState& s0, unsigned char* frames0,
                          FrameState& s1, unsigned char* frames1, std::size_t count,
                          const ProcessingParameters& params);
FrameRun ProcessFramesWith(FrameKernel kernel, FrameState& state,
                           const ProcessingParameters& params, RunInterrupts interrupts,
                           unsigned char* frames, std::size_t count);
