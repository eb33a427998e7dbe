#include <gtest/gtest.h>

#include "parameters.h"
#include "window_state.h"

namespace {

TEST(PanMapping, RangeEndsAndCentre) {
    struct Case {
        int pan;
        float gainL;
        float gainR;
        float value;
    };
    const Case cases[] = {
        {-30, 1.0f / 1.1875f, 1.1875f, -1.1875f},
        {-1, static_cast<float>(1.0 / 1.00625), 1.00625f, -1.00625f},
        {0, 1.0f, 1.0f, 1.0f},
        {1, 1.00625f, static_cast<float>(1.0 / 1.00625), 1.00625f},
        {30, 1.1875f, 1.0f / 1.1875f, 1.1875f},
    };
    for (const Case& c : cases) {
        const PanGains g = PanMapping(c.pan);
        EXPECT_FLOAT_EQ(g.gainL, c.gainL) << "pan " << c.pan;
        EXPECT_FLOAT_EQ(g.gainR, c.gainR) << "pan " << c.pan;
        EXPECT_FLOAT_EQ(g.panValue, c.value) << "pan " << c.pan;
    }
    EXPECT_NEAR(PanMapping(-30).gainL, 0.842105, 1e-6);
    EXPECT_NEAR(PanMapping(-1).gainL, 0.993789, 1e-6);
}

TEST(PanMapping, GainsAreReciprocalAndOrderedAtEveryPosition) {
    for (int pan = -30; pan <= 30; ++pan) {
        const PanGains g = PanMapping(pan);
        EXPECT_NEAR(static_cast<double>(g.gainL) * g.gainR, 1.0, 1e-6) << "pan " << pan;
        if (pan > 0) {
            EXPECT_GT(g.gainL, 1.0f);
            EXPECT_LT(g.gainR, 1.0f);
        } else if (pan < 0) {
            EXPECT_LT(g.gainL, 1.0f);
            EXPECT_GT(g.gainR, 1.0f);
        }
        EXPECT_NE(g.panValue, 0.0f);
        EXPECT_FLOAT_EQ(std::abs(g.panValue), std::max(g.gainL, g.gainR));
    }
}

TEST(TrackbarFormulas, RangeEndsAndStartPositions) {
    EXPECT_EQ(LowCutoffFor(0), 40);
    EXPECT_EQ(LowCutoffFor(8), 240);
    EXPECT_EQ(LowCutoffFor(40), 1040);
    EXPECT_EQ(HighCutoffFor(0), 900);
    EXPECT_EQ(HighCutoffFor(57), 10875);
    EXPECT_EQ(HighCutoffFor(80), 14900);
    EXPECT_FLOAT_EQ(ChannelGainFor(0), 3.5f);
    EXPECT_FLOAT_EQ(ChannelGainFor(13), 2.2f);
    EXPECT_FLOAT_EQ(ChannelGainFor(25), 1.0f);
    EXPECT_FLOAT_EQ(OutputGainFor(0), 4.75f);
    EXPECT_FLOAT_EQ(OutputGainFor(25), 1.0f);
    // Rounded to float once from the double result, not summed in float.
    EXPECT_EQ(ChannelGainFor(13), static_cast<float>(1.0 + 0.1 * 12));
}

TEST(UpdateDerivedParameters, RecomputesEveryDerivedMemberFromTheTrackbars) {
    WindowState s;
    s.m_nPan = -30;
    s.m_nLowSlider = 40;
    s.m_nHighSlider = 0;
    s.m_nLeftSlider = 0;
    s.m_nRightSlider = 25;
    s.m_nOutputLevel = 0;
    UpdateDerivedParameters(s);
    EXPECT_FLOAT_EQ(s.m_fPanGainR, 1.1875f);
    EXPECT_FLOAT_EQ(s.m_fPanValue, -1.1875f);
    EXPECT_EQ(s.m_nLowCutoff, 1040);
    EXPECT_EQ(s.m_nHighCutoff, 900);
    EXPECT_FLOAT_EQ(s.m_fLeftGain, 3.5f);
    EXPECT_FLOAT_EQ(s.m_fRightGain, 1.0f);
    EXPECT_FLOAT_EQ(s.m_fOutputGain, 4.75f);
}

TEST(WindowState, StartValuesMatchTheStartUpPositions) {
    WindowState s;
    const float gainsBefore[] = {s.m_fPanGainL,  s.m_fPanGainR,   s.m_fLeftGain,
                                 s.m_fRightGain, s.m_fOutputGain, s.m_fPanValue};
    const int cutoffsBefore[] = {s.m_nLowCutoff, s.m_nHighCutoff};
    UpdateDerivedParameters(s);
    const float gainsAfter[] = {s.m_fPanGainL,  s.m_fPanGainR,   s.m_fLeftGain,
                                s.m_fRightGain, s.m_fOutputGain, s.m_fPanValue};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(gainsBefore[i], gainsAfter[i]) << i;
    }
    EXPECT_EQ(cutoffsBefore[0], s.m_nLowCutoff.Get());
    EXPECT_EQ(cutoffsBefore[1], s.m_nHighCutoff.Get());
}

}  // namespace
