#include "parameters.h"

#include <cstdlib>

PanGains PanMapping(int pan) {
    const double x = 1.0 + kPanStep * std::abs(pan);
    const float larger = static_cast<float>(x);
    const float smaller = static_cast<float>(1.0 / x);
    const double sign = pan < 0 ? -1.0 : 1.0;
    const float value = static_cast<float>(kPanStep * pan + sign);
    if (pan > 0) {
        return {larger, smaller, value};
    }
    return {smaller, larger, value};
}

int LowCutoffFor(int lowSlider) {
    return 40 + 25 * lowSlider;
}

int HighCutoffFor(int highSlider) {
    return 900 + 175 * highSlider;
}

float ChannelGainFor(int levelSlider) {
    return static_cast<float>(1.0 + 0.1 * (25 - levelSlider));
}

float OutputGainFor(int outputLevel) {
    return static_cast<float>(1.0 + 0.15 * (25 - outputLevel));
}
