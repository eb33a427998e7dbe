#include "window_state.h"

#include "parameters.h"

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
