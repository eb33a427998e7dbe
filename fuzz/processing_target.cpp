#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_targets.h"
#include "processing/fast_frames.h"
#include "processing/processing.h"
#include "trackbars/parameters.h"

namespace {

// Reads the fuzz input front to back; past its end every read fails.
class ByteReader {
  public:
    ByteReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool Take(void* out, std::size_t n) {
        if (m_size - m_pos < n) {
            m_pos = m_size;
            return false;
        }
        std::memcpy(out, m_data + m_pos, n);
        m_pos += n;
        return true;
    }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

enum Op : std::uint8_t {
    kFrames = 0,  // bits 3..7 + 1 frames follow, 4 bytes each
    kMode = 1,    // one byte: the mode, modulo the seven there are
    kCutoff = 2,  // one byte selects low/high, then a raw int32 in Hz
    kGain = 3,    // one byte selects the gain, then raw float bits (NaN and infinities too)
    kSlider = 4,  // one byte selects the trackbar, then an int16 position, every value rederived
};

constexpr int kModes = 7;
constexpr std::size_t kMaxFrames = 32;

void SetGain(ProcessingParameters& p, std::uint8_t which, float value) {
    PanPair pan = p.pan;
    switch (which % 5) {
        case 0:
            p.leftGain = value;
            break;
        case 1:
            p.rightGain = value;
            break;
        case 2:
            pan.left = value;
            p.pan = pan;
            break;
        case 3:
            pan.right = value;
            p.pan = pan;
            break;
        default:
            p.outputGain = value;
            break;
    }
}

void SetSlider(Positions& positions, ProcessingParameters& p, std::uint8_t which, int value) {
    constexpr Knob kSliders[] = {Knob::Pan,  Knob::Low,   Knob::High,
                                 Knob::Left, Knob::Right, Knob::OutputLevel};
    PositionOf(positions, kSliders[which % std::size(kSliders)]) = value;
    ApplyPositions(positions, p);
}

// What every mode promises whatever the parameters.
void CheckFrame(const ProcessingParameters& p, StereoSample in, StereoSample out) {
    const std::int16_t attenuatedL = Saturate16(in.left * kInputAttenuation);
    const std::int16_t attenuatedR = Saturate16(in.right * kInputAttenuation);
    // 0 times an infinite or NaN gain is NaN, which saturates to -32768: such a gain
    // cannot come from the trackbars, and silence is promised only for real gains.
    const bool realGain = std::isfinite(p.outputGain);
    switch (p.mode) {
        case PlayMode::Original:
        case PlayMode::Stereo:
            FUZZ_CHECK(out.left == attenuatedL && out.right == attenuatedR);
            break;
        case PlayMode::Left:
            FUZZ_CHECK(!realGain || out.right == 0);
            break;
        case PlayMode::Right:
            FUZZ_CHECK(!realGain || out.left == 0);
            break;
        case PlayMode::Mode1:
            if (in.left == in.right && realGain) {
                FUZZ_CHECK(out.left == 0 && out.right == 0);
            }
            break;
        default:
            break;
    }
    const int segments = MeterSegments(MeterSample(out));
    FUZZ_CHECK(segments >= 0 && segments <= kMeterSegments);
}

// The block path in each instruction set the processor has, each with a filter state of its
// own, must give every frame exactly what the frame-by-frame reference gives.
struct BlockPaths {
    static constexpr FrameKernel kKernels[] = {FrameKernel::Plain, FrameKernel::Sse2,
                                               FrameKernel::Sse41, FrameKernel::Avx};
    FrameState states[std::size(kKernels)]{};

    void Check(const ProcessingParameters& p, const unsigned char* in,
               const unsigned char* expected, std::size_t frames) {
        for (std::size_t k = 0; k < std::size(kKernels); ++k) {
            if (!FrameKernelAvailable(kKernels[k])) {
                continue;
            }
            unsigned char block[kMaxFrames * 4];
            std::memcpy(block, in, frames * 4);
            ProcessFramesWith(kKernels[k], states[k], p, block, frames);
            FUZZ_CHECK(std::memcmp(block, expected, frames * 4) == 0);
        }
    }
};

void PutFrame(unsigned char* at, StereoSample s) {
    const auto left = static_cast<std::uint16_t>(s.left);
    const auto right = static_cast<std::uint16_t>(s.right);
    at[0] = static_cast<unsigned char>(left);
    at[1] = static_cast<unsigned char>(left >> 8);
    at[2] = static_cast<unsigned char>(right);
    at[3] = static_cast<unsigned char>(right >> 8);
}

}  // namespace

int FuzzProcessing(const std::uint8_t* data, std::size_t size) {
    ByteReader reader(data, size);
    ProcessingParameters params;
    Positions positions;
    ApplyPositions(positions, params);
    FrameState state{};
    BlockPaths blocks;
    std::uint8_t op = 0;
    while (reader.Take(&op, 1)) {
        switch (op & 7) {
            case kFrames: {
                unsigned char in[kMaxFrames * 4];
                unsigned char out[kMaxFrames * 4];
                std::size_t n = 0;
                for (; n < static_cast<std::size_t>(op >> 3) + 1 && reader.Take(in + n * 4, 4);
                     ++n) {
                    const StereoSample sample = FrameSample(in + n * 4);
                    const StereoSample processed = ProcessFrame(state, params, sample);
                    CheckFrame(params, sample, processed);
                    PutFrame(out + n * 4, processed);
                }
                blocks.Check(params, in, out, n);
                break;
            }
            case kMode: {
                std::uint8_t mode = 0;
                if (reader.Take(&mode, 1)) {
                    params.mode = static_cast<PlayMode>(mode % kModes);
                }
                break;
            }
            case kCutoff: {
                std::uint8_t which = 0;
                std::int32_t hz = 0;
                if (reader.Take(&which, 1) && reader.Take(&hz, sizeof hz)) {
                    ((which & 1) != 0 ? params.highCutoff : params.lowCutoff) = hz;
                }
                break;
            }
            case kGain: {
                std::uint8_t which = 0;
                float value = 0;
                if (reader.Take(&which, 1) && reader.Take(&value, sizeof value)) {
                    SetGain(params, which, value);
                }
                break;
            }
            case kSlider: {
                std::uint8_t which = 0;
                std::int16_t value = 0;
                if (reader.Take(&which, 1) && reader.Take(&value, sizeof value)) {
                    SetSlider(positions, params, which, value);
                }
                break;
            }
            default:
                break;
        }
    }
    return 0;
}
