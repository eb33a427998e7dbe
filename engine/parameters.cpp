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

int LowCutoffFor(int lowSlider) { return 40 + 25 * lowSlider; }

int HighCutoffFor(int highSlider) { return 900 + 175 * highSlider; }

float ChannelGainFor(int levelSlider) { return static_cast<float>(1.0 + 0.1 * (25 - levelSlider)); }

float OutputGainFor(int outputLevel) { return static_cast<float>(1.0 + 0.15 * (25 - outputLevel)); }

void ApplyPanGains(WindowState& state) {
    const PanGains gains = PanMapping(state.m_nPan);
    state.m_fPanGainL = gains.gainL;
    state.m_fPanGainR = gains.gainR;
}

void ApplyPanMapping(WindowState& state) {
    const PanGains gains = PanMapping(state.m_nPan);
    state.m_fPanGainL = gains.gainL;
    state.m_fPanGainR = gains.gainR;
    state.m_fPanValue = gains.panValue;
}

void UpdateDerivedParameters(WindowState& state) {
    ApplyPanMapping(state);
    state.m_fLeftGain = ChannelGainFor(state.m_nLeftSlider);
    state.m_fRightGain = ChannelGainFor(state.m_nRightSlider);
    state.m_nHighCutoff = HighCutoffFor(state.m_nHighSlider);
    state.m_nLowCutoff = LowCutoffFor(state.m_nLowSlider);
    state.m_fOutputGain = OutputGainFor(state.m_nOutputLevel);
}
