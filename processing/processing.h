#pragma once

// Vocal-removal processing of one stereo frame, in seven modes.
//
// Each channel is split into bands by low-pass filters: a four-pole ladder (one-pole
// stages with resonance feedback, after Moog) at the low cut-off F1 and one at the high
// cut-off F2 per channel, and a Chamberlin state-variable low-pass at F1 that runs on
// 16-bit values. Mode 2 subtracts from each channel the pan-weighted middle band of the
// other; mode 1 is the difference of the channels. All filter constants assume 44,100
// frames per second whatever the file declares.

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "processing/processing_parameters.h"

inline constexpr double kInputAttenuation = 0.45;
inline constexpr double kLadderFrequencyFactor = 1.0 / 22050.0;
inline constexpr double kLadderTuningA = 3.6;
inline constexpr double kLadderTuningB = 1.6;
inline constexpr double kLadderResonance = 1.386249;
inline constexpr double kSvfFrequencyFactor = 3.1415926535 / 44100.0;
inline constexpr int kLevelMeterStride = 2000;  // bytes between meter refreshes in a block
inline constexpr std::size_t kMeterFrames = kLevelMeterStride / 4;

// Clamps to 32767 / -32768, otherwise truncates toward zero; NaN gives -32768.
std::int16_t Saturate16(double x);

struct LadderCoefficients {
    double k;
    double p;
    double r;
};

LadderCoefficients LadderCoefficientsFor(int cutoffHz);
double SvfCoefficientFor(int cutoffHz);

struct LadderLowPass {
    double xPrev = 0, y1 = 0, y2 = 0, y3 = 0, y4 = 0;

    // One step; returns the saturated output of the fourth stage.
    std::int16_t Step(double v, const LadderCoefficients& c);
};

struct SvfLowPass {
    std::int16_t low = 0;
    std::int16_t band = 0;

    // One step with damping 1; returns the new low value.
    std::int16_t Step(std::int16_t v, double fsv);
};

// Coefficients derived from the two cut-offs, recomputed only when a cut-off changes.
struct FilterCoefficients {
    int lowCutoff = 0;
    int highCutoff = 0;
    bool valid = false;
    LadderCoefficients low{};
    LadderCoefficients high{};
    double fsv = 0;
};

// Recomputes the coefficients unless they were computed for these cut-offs already.
void RefreshCoefficients(FilterCoefficients& c, int lowCutoff, int highCutoff);

// Filter state of one job: zeroed when the job starts, carried across blocks, seeks and
// loop backs.
struct FrameState {
    LadderLowPass ladderA;  // left at F1
    LadderLowPass ladderB;  // right at F1
    LadderLowPass ladderC;  // left at F2
    LadderLowPass ladderD;  // right at F2
    SvfLowPass svfRight;
    SvfLowPass svfLeft;
    FilterCoefficients coefficients;
};

struct StereoSample {
    std::int16_t left;
    std::int16_t right;
};

// A frame as it lies in a file: left then right, 16-bit little-endian.
inline StereoSample FrameSample(const unsigned char* frame) {
    return {static_cast<std::int16_t>(frame[0] | (frame[1] << 8)),
            static_cast<std::int16_t>(frame[2] | (frame[3] << 8))};
}

inline void StoreFrameSample(unsigned char* frame, StereoSample sample) {
    for (const std::int16_t value : {sample.left, sample.right}) {
        const auto bits = static_cast<std::uint16_t>(value);
        *frame++ = static_cast<unsigned char>(bits);
        *frame++ = static_cast<unsigned char>(bits >> 8);
    }
}

// Processes one frame with the parameters of this moment.
StereoSample ProcessFrame(FrameState& state, const ProcessingParameters& params, StereoSample in);

// The modes whose frames are the attenuated input, whatever the filters hold.
inline bool PassesAttenuatedInput(PlayMode mode) {
    return mode == PlayMode::Original || mode == PlayMode::Stereo;
}
// count frames in place as ProcessFrame makes them in those modes, without running the
// filters: for a run that stays in such a mode to its end.
void AttenuateFrames(unsigned char* frames, std::size_t count);

// The value the level meter shows for a processed frame.
inline std::int16_t MeterSample(StereoSample out) {
    return out.left != 0 ? out.left : out.right;
}

// Segments the level meter lights for a sample value: 0 (dark) .. 8 (the top, red, one
// included); the thresholds lie at -34, -24, -18, -10 and -4 dB of full scale.
inline constexpr int kMeterSegments = 8;
int MeterSegments(int sample);
