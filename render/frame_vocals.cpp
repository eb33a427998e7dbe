#include "render/frame_vocals.h"

#include <algorithm>

#include "processing/processing.h"

namespace {

constexpr std::size_t kFrameBytes = 4;

std::int16_t Removed(std::int16_t in, std::int16_t out, double gain) {
    return Saturate16(Saturate16(in * kInputAttenuation) * gain - out);
}

}  // namespace

void FrameVocals(const ProcessingParameters& params, const unsigned char* input,
                 const unsigned char* output, unsigned char* vocals, std::size_t bytes) {
    const double gain = params.outputGain.Get();
    const std::size_t frames = bytes / kFrameBytes;
    for (std::size_t f = 0; f < frames; ++f) {
        const std::size_t at = f * kFrameBytes;
        const StereoSample in = FrameSample(input + at);
        const StereoSample out = FrameSample(output + at);
        StoreFrameSample(vocals + at,
                         {Removed(in.left, out.left, gain), Removed(in.right, out.right, gain)});
    }
    std::fill(vocals + frames * kFrameBytes, vocals + bytes, 0);
}
