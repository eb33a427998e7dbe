#pragma once

// The block path of the processing: runs many frames in one call with the filter state
// held in registers. Every frame gets exactly the arithmetic of ProcessFrame, which stays
// the reference: the parameters and the mode flags are still read for every frame, so a
// change made while a run is under way is used from the next frame on.

#include <cstddef>

#include "processing/processing.h"

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

// Processes count 16-bit stereo frames in place, left then right, little-endian.
void ProcessFrames(FrameState& state, const ProcessingParameters& params, unsigned char* frames,
                   std::size_t count);
// Processes up to kMaxFrameGroup independent runs of count frames each, frames[i] with
// states[i], with parameters that do not change meanwhile: the same result as a
// ProcessFrames call for each, in little more than the time of one where the processor can
// overlap them. Two in step on one core take little more than the time of one; a third
// adds nothing on the processors measured, where the registers run out.
inline constexpr std::size_t kMaxFrameGroup = 2;
void ProcessFrameGroup(FrameState* const* states, unsigned char* const* frames, std::size_t runs,
                       std::size_t count, const ProcessingParameters& params);
void ProcessFrameGroupWith(FrameKernel kernel, FrameState* const* states,
                           unsigned char* const* frames, std::size_t runs, std::size_t count,
                           const ProcessingParameters& params);
void ProcessFramesWith(FrameKernel kernel, FrameState& state, const ProcessingParameters& params,
                       unsigned char* frames, std::size_t count);
