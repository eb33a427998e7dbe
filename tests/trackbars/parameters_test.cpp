#include <gtest/gtest.h>

#include <utility>

#include "processing/processing.h"
#include "trackbars/parameters.h"

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

TEST(ApplyPositions, SetsEveryParameterTheTrackbarsGive) {
    ProcessingParameters params;
    ApplyPositions({-30, 40, 0, 0, 25, 0}, params);
    EXPECT_FLOAT_EQ(params.pan.right, 1.1875f);
    EXPECT_FLOAT_EQ(params.pan.left, 1.0f / 1.1875f);
    EXPECT_EQ(params.lowCutoff, 1040);
    EXPECT_EQ(params.highCutoff, 900);
    EXPECT_FLOAT_EQ(params.leftGain, 3.5f);
    EXPECT_FLOAT_EQ(params.rightGain, 1.0f);
    EXPECT_FLOAT_EQ(params.outputGain, 4.75f);
}

// The parameters a job starts with are those of the trackbars' start-up positions, and the
// table's start positions are what the help and the window show.
TEST(KnobTable, StartPositionsGiveTheStartParametersAndTheHelpSaysThem) {
    const ProcessingParameters defaults;
    ProcessingParameters fromTable;
    ApplyPositions(Positions{}, fromTable);
    EXPECT_EQ(defaults.pan.left, fromTable.pan.left);
    EXPECT_EQ(defaults.pan.right, fromTable.pan.right);
    EXPECT_EQ(defaults.leftGain, fromTable.leftGain);
    EXPECT_EQ(defaults.rightGain, fromTable.rightGain);
    EXPECT_EQ(defaults.outputGain, fromTable.outputGain);
    EXPECT_EQ(defaults.lowCutoff, fromTable.lowCutoff);
    EXPECT_EQ(defaults.highCutoff, fromTable.highCutoff);
    EXPECT_EQ(KnobHelp(RowOf(Knob::Pan)),
              "pan, -30 (left) .. 30 (right) (in every mode, toward the right aims at a voice "
              "heavier on the left); default 0");
    EXPECT_EQ(KnobHelp(RowOf(Knob::High)), "high cut-off, 0 .. 80 (900 + 175 N Hz); default 57");
    EXPECT_EQ(KnobHelp(RowOf(Knob::LoopEnd)),
              "loop end, 0 .. 100; default 100 (100/110 of the data)");
    EXPECT_EQ(KnobHelp(RowOf(Knob::Key)), "key, -12 .. 12 (semitones, steps of 0.1); default 0");
    for (const KnobRow& row : kKnobs) {
        EXPECT_LE(row.min, row.start) << row.label;
        EXPECT_LE(row.start, row.max) << row.label;
    }
}

// What the tooltips show, and where the tool's options land.
TEST(KnobTable, EachKnobHasItsSpecItsValueAndItsPosition) {
    struct Case {
        Knob knob;
        int pos;
        double value;
    };
    const Case cases[] = {
        {Knob::Pan, -7, -7},       {Knob::Low, 8, 240},       {Knob::High, 80, 14900},
        {Knob::Left, 0, 3.5f},     {Knob::Right, 13, 2.2f},   {Knob::OutputLevel, 0, 4.75f},
        {Knob::LoopStart, 33, 33}, {Knob::LoopEnd, 100, 100}, {Knob::PlayPos, 5, 5},
        {Knob::Key, -4, -0.4},     {Knob::Tempo, 90, 90},
    };
    Positions positions;
    for (const Case& c : cases) {
        EXPECT_EQ(RowOf(c.knob).knob, c.knob);
        EXPECT_DOUBLE_EQ(KnobValue(c.knob, c.pos), c.value) << RowOf(c.knob).label;
        if (c.knob <= Knob::OutputLevel || c.knob >= Knob::Key) {
            PositionOf(positions, c.knob) = c.pos;
        }
    }
    EXPECT_EQ(positions, (Positions{-7, 8, 80, 0, 13, 0, -4, 90}));
    EXPECT_EQ(PositionOf(std::as_const(positions), Knob::High), 80);
}

// A key position as the option gives it: whole semitones bare, tenths with their point.
TEST(KnobTable, KeyPositionsReadAsSemitones) {
    const struct {
        int pos;
        const char* text;
    } cases[] = {{0, "0"}, {30, "3"}, {-120, "-12"}, {-4, "-0.4"}, {25, "2.5"}, {-125, "-12.5"}};
    for (const auto& c : cases) {
        EXPECT_EQ(KnobValueText(RowOf(Knob::Key), c.pos), c.text) << c.pos;
    }
    EXPECT_EQ(KnobValueText(RowOf(Knob::Tempo), 90), "90");
}

TEST(PositionBytes, FallOnThirtyTwoByteBoundaries) {
    EXPECT_EQ(PositionBytes(5, 2 * 44100), 440992);
    EXPECT_EQ(PositionBytes(100, 0), 0);
    EXPECT_EQ(PositionBytes(100, 288654), 28865376);
    EXPECT_EQ(PositionBytes(1, 31), 0);
}

}  // namespace
