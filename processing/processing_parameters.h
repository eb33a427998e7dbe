#pragma once

// What the processing reads for every frame. The user interface writes these while a
// playback runs, so a change is heard from the next frame on.

#include "processing/shared_value.h"

// Stereo: the per-frame processing passes the attenuated input, as in Original, and the
// StereoRemover after it does the removal.
enum class PlayMode { Low, High, Original, Mode1, Left, Right, Mode2, Stereo };

// The pan's two weights: of the right-derived term taken from the left, and of the
// left-derived one taken from the right, its reciprocal.
struct alignas(8) PanPair {  // aligned as a whole, so that its atomic is lock-free
    float left = 1.0f;
    float right = 1.0f;
};

struct ProcessingParameters {
    // One value, so that a frame never takes one weight of a move and the other of the last.
    Shared<PanPair> pan{};
    Shared<float> leftGain{2.2f};    // 1.0 .. 3.5
    Shared<float> rightGain{2.2f};   // 1.0 .. 3.5
    Shared<float> outputGain{1.0f};  // 1.0 .. 4.75
    Shared<int> lowCutoff{240};      // Hz, 40 .. 1040
    Shared<int> highCutoff{10875};   // Hz, 900 .. 14900
    // The stereo mode's: the direction removed, radians from 0 (left) through pi/4 (centre)
    // to pi/2 (right), and how narrowly, 0 (the channel difference) .. 1 (sharpest).
    Shared<float> aim{0.785398163f};
    Shared<float> focus{0.5f};
    // One value, so that a switch is never seen half done: the next frame is in the new mode.
    Shared<PlayMode> mode{PlayMode::Mode2};
};

// Copies every parameter: a write job reads them once, at its start.
inline void CopyParameters(const ProcessingParameters& from, ProcessingParameters& to) {
    to = from;
}
