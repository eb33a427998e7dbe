#pragma once

// Second-order Butterworth sections at 44,100 Hz (the RBJ cookbook forms), for splitting a
// signal into the bands the analysis weighs.

struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    double Step(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

Biquad LowPass(double cutoffHz);
Biquad HighPass(double cutoffHz);
