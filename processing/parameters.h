#pragma once

// Trackbar positions to processing parameters. Every rule is evaluated in double
// precision and rounded to float once; the cut-offs are integer arithmetic.

struct PanGains {
    float gainL;
    float gainR;
    float panValue;  // signed; its magnitude is the larger of the two gains
};

inline constexpr double kPanStep = 0.00625;

PanGains PanMapping(int pan);
int LowCutoffFor(int lowSlider);        // Hz
int HighCutoffFor(int highSlider);      // Hz
float ChannelGainFor(int levelSlider);  // left and right levels alike
float OutputGainFor(int outputLevel);
