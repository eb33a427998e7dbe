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
#define FAST_FRAMES_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define FAST_FRAMES_TARGET(isa) \
    FAST_FRAMES_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define FAST_FRAMES_END_TARGET FAST_FRAMES_PRAGMA(clang attribute pop)
#else
#define FAST_FRAMES_TARGET(isa) \
    FAST_FRAMES_PRAGMA(GCC push_options) FAST_FRAMES_PRAGMA(GCC target(isa))
#define FAST_FRAMES_END_TARGET FAST_FRAMES_PRAGMA(GCC pop_options)
#endif

namespace sse2 {
#define FAST_FRAMES_WIDE 0
#define FAST_FRAMES_ROUND 0
#include "processing/fast_frames_kernel.inc"
}  // namespace sse2

FAST_FRAMES_TARGET("sse4.1")
namespace sse41 {
#define FAST_FRAMES_WIDE 0
#define FAST_FRAMES_ROUND 1
#include "processing/fast_frames_kernel.inc"
}  // namespace sse41
FAST_FRAMES_END_TARGET

FAST_FRAMES_TARGET("avx")
namespace avx {
#define FAST_FRAMES_WIDE 1
#define FAST_FRAMES_ROUND 1
#include "processing/fast_frames_kernel.inc"
}  // namespace avx
FAST_FRAMES_END_TARGET

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
