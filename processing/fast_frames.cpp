#include "processing/fast_frames.h"

#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__x86_64__) && defined(__GNUC__)
#define FAST_FRAMES_X86 1
#include <immintrin.h>
#else
#define FAST_FRAMES_X86 0
#endif

namespace {

void RunPlainFrames(FrameState& state, const ProcessingParameters& params, unsigned char* frames,
                    std::size_t count) {
    for (std::size_t n = 0; n < count; ++n) {
        unsigned char* frame = frames + n * 4;
        StoreFrameSample(frame, ProcessFrame(state, params, FrameSample(frame)));
    }
}

}  // namespace

#if FAST_FRAMES_X86

// The same loop three times. Everything defined between the target pragmas may use the
// named instructions; the headers above stay baseline, so no inline function they define
// is ever compiled for a newer processor than the one the program runs on.
namespace sse2 {
#define FAST_FRAMES_WIDE 0
#define FAST_FRAMES_ROUND 0
#include "processing/fast_frames_kernel.inc"
}  // namespace sse2

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse4.1"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse4.1")
#endif
namespace sse41 {
#define FAST_FRAMES_WIDE 0
#define FAST_FRAMES_ROUND 1
#include "processing/fast_frames_kernel.inc"
}  // namespace sse41
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx")
#endif
namespace avx {
#define FAST_FRAMES_WIDE 1
#define FAST_FRAMES_ROUND 1
#include "processing/fast_frames_kernel.inc"
}  // namespace avx
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif

bool FrameKernelAvailable(FrameKernel kernel) {
    if (kernel == FrameKernel::Plain) {
        return true;
    }
#if FAST_FRAMES_X86
    __builtin_cpu_init();
    switch (kernel) {
        case FrameKernel::Sse41:
            return __builtin_cpu_supports("sse4.1");
        case FrameKernel::Avx:
            return __builtin_cpu_supports("avx");  // and the system saves the 256-bit state
        default:
            return true;  // SSE2: every x86-64 processor
    }
#else
    return false;
#endif
}

FrameKernel BestFrameKernel() {
    static const FrameKernel best = [] {
        for (const FrameKernel k : {FrameKernel::Avx, FrameKernel::Sse41, FrameKernel::Sse2}) {
            if (FrameKernelAvailable(k)) {
                return k;
            }
        }
        return FrameKernel::Plain;
    }();
    return best;
}

void ProcessFramesWith(FrameKernel kernel, FrameState& state, const ProcessingParameters& params,
                       unsigned char* frames, std::size_t count) {
    switch (kernel) {
#if FAST_FRAMES_X86
        case FrameKernel::Sse2:
            return sse2::RunFrames(state, params, frames, count);
        case FrameKernel::Sse41:
            return sse41::RunFrames(state, params, frames, count);
        case FrameKernel::Avx:
            return avx::RunFrames(state, params, frames, count);
#endif
        default:
            return RunPlainFrames(state, params, frames, count);
    }
}

void ProcessFrameGroupWith(FrameKernel kernel, FrameState* const* states,
                           unsigned char* const* frames, std::size_t runs, std::size_t count,
                           const ProcessingParameters& params) {
    switch (kernel) {
#if FAST_FRAMES_X86
        case FrameKernel::Sse2:
            return sse2::RunFrameGroup(states, frames, runs, count, params);
        case FrameKernel::Sse41:
            return sse41::RunFrameGroup(states, frames, runs, count, params);
        case FrameKernel::Avx:
            return avx::RunFrameGroup(states, frames, runs, count, params);
#endif
        default:
            for (std::size_t i = 0; i < runs; ++i) {
                RunPlainFrames(*states[i], params, frames[i], count);
            }
    }
}

void ProcessFrameGroup(FrameState* const* states, unsigned char* const* frames, std::size_t runs,
                       std::size_t count, const ProcessingParameters& params) {
    ProcessFrameGroupWith(BestFrameKernel(), states, frames, runs, count, params);
}

void ProcessFrames(FrameState& state, const ProcessingParameters& params, unsigned char* frames,
                   std::size_t count) {
    ProcessFramesWith(BestFrameKernel(), state, params, frames, count);
}
