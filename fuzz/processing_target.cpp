#include <cmath>
#include <cstring>

#include "fuzz_check.h"
#include "fuzz_targets.h"
#include "parameters.h"
#include "processing.h"
#include "window_state.h"

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
    bool Done() const { return m_pos >= m_size; }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

enum Op : std::uint8_t {
    kFrames = 0,     // bits 3..7 + 1 frames follow, 4 bytes each
    kModeFlags = 1,  // one byte: bit i sets the i-th mode flag, several at once included
    kCutoff = 2,     // one byte selects low/high, then a raw int32 in Hz
    kGain = 3,       // one byte selects the gain, then raw float bits (NaN and infinities too)
    kSlider = 4,     // one byte selects the trackbar, then an int16 position, rederived
};

void SetModeFlags(WindowState& s, std::uint8_t bits) {
    s.m_bPlayLow = bits & 1;
    s.m_bPlayHigh = (bits >> 1) & 1;
    s.m_bPlayOriginal = (bits >> 2) & 1;
    s.m_bPlayMode1 = (bits >> 3) & 1;
    s.m_bPlayLeft = (bits >> 4) & 1;
    s.m_bPlayRight = (bits >> 5) & 1;
    s.m_bPlayMode2 = (bits >> 6) & 1;
}

void SetGain(WindowState& s, std::uint8_t which, float value) {
    switch (which % 5) {
        case 0:
            s.m_fLeftGain = value;
            break;
        case 1:
            s.m_fRightGain = value;
            break;
        case 2:
            s.m_fPanGainL = value;
            break;
        case 3:
            s.m_fPanGainR = value;
            break;
        default:
            s.m_fOutputGain = value;
            break;
    }
}

void SetSlider(WindowState& s, std::uint8_t which, int value) {
    switch (which % 6) {
        case 0:
            s.m_nPan = value;
            break;
        case 1:
            s.m_nLowSlider = value;
            break;
        case 2:
            s.m_nHighSlider = value;
            break;
        case 3:
            s.m_nLeftSlider = value;
            break;
        case 4:
            s.m_nRightSlider = value;
            break;
        default:
            s.m_nOutputLevel = value;
            break;
    }
    UpdateDerivedParameters(s);
}

// What every mode promises whatever the parameters.
void CheckFrame(const WindowState& s, StereoSample in, StereoSample out) {
    const std::int16_t attenuatedL = Saturate16(in.left * kInputAttenuation);
    const std::int16_t attenuatedR = Saturate16(in.right * kInputAttenuation);
    // 0 times an infinite or NaN gain is NaN, which saturates to -32768: such a gain
    // cannot come from the trackbars, and silence is promised only for real gains.
    const bool realGain = std::isfinite(s.m_fOutputGain.Get());
    switch (CurrentProcessingMode(s)) {
        case PlayMode::Original:
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
    const int bitmap = LevelMeterBitmap(MeterSample(out));
    FUZZ_CHECK(bitmap == 134 || (bitmap >= 132 && bitmap <= 142 && bitmap != 133 && bitmap != 141));
}

}  // namespace

int FuzzProcessing(const std::uint8_t* data, std::size_t size) {
    ByteReader reader(data, size);
    WindowState params;
    UpdateDerivedParameters(params);
    FrameState state{};
    std::uint8_t op = 0;
    while (reader.Take(&op, 1)) {
        switch (op & 7) {
            case kFrames:
                for (int n = (op >> 3) + 1; n > 0; --n) {
                    std::int16_t lr[2];
                    if (!reader.Take(lr, sizeof lr)) {
                        break;
                    }
                    const StereoSample in{lr[0], lr[1]};
                    CheckFrame(params, in, ProcessFrame(state, params, in));
                }
                break;
            case kModeFlags: {
                std::uint8_t bits = 0;
                if (reader.Take(&bits, 1)) {
                    SetModeFlags(params, bits);
                }
                break;
            }
            case kCutoff: {
                std::uint8_t which = 0;
                std::int32_t hz = 0;
                if (reader.Take(&which, 1) && reader.Take(&hz, sizeof hz)) {
                    (which & 1 ? params.m_nHighCutoff : params.m_nLowCutoff) = hz;
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
                    SetSlider(params, which, value);
                }
                break;
            }
            default:
                break;
        }
    }
    return 0;
}
