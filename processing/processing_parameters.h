#pragma once

// The settings the processing runs with: a plain value, read whole at the start of each run of
// frames it is given.

// Stereo: the per-frame processing passes the attenuated input, as in Original, and the
// StereoRemover after it does the removal.
enum class PlayMode { Low, High, Original, Mode1, Left, Right, Mode2, Stereo };

// The pan's two weights: of the right-derived term taken from the left, and of the
// left-derived one taken from the right, its reciprocal.
struct PanPair {
    float left = 1.0f;
    float right = 1.0f;
};

struct ProcessingParameters {
    PanPair pan{};
    float leftGain = 2.2f;    // 1.0 .. 3.5
    float rightGain = 2.2f;   // 1.0 .. 3.5
    float outputGain = 1.0f;  // 1.0 .. 4.75
    int lowCutoff = 240;      // Hz, 40 .. 1040
    int highCutoff = 10875;   // Hz, 900 .. 14900
    // The stereo mode's: the direction removed, radians from 0 (left) through pi/4 (centre)
    // to pi/2 (right), and how narrowly, 0 (the channel difference) .. 1 (sharpest).
    float aim = 0.785398163f;
    float focus = 0.5f;
    PlayMode mode = PlayMode::Mode2;
};
