#pragma once

// What the processing reads for every frame. The user interface writes these while a
// playback runs, so a change is heard from the next frame on.

#include "shared_value.h"

enum class PlayMode { Low, High, Original, Mode1, Left, Right, Mode2 };

struct ProcessingParameters {
    Shared<float> m_fPanGainL{1.0f};    // weight of the right-derived term taken from the left
    Shared<float> m_fPanGainR{1.0f};    // always the reciprocal of m_fPanGainL
    Shared<float> m_fLeftGain{2.2f};    // 1.0 .. 3.5
    Shared<float> m_fRightGain{2.2f};   // 1.0 .. 3.5
    Shared<float> m_fOutputGain{1.0f};  // 1.0 .. 4.75
    Shared<int> m_nLowCutoff{240};      // Hz, 40 .. 1040
    Shared<int> m_nHighCutoff{10875};   // Hz, 900 .. 14900

    // Mode flags: at most one is set; none of the first six set means mode 2. The mode 2
    // flag only tells the play commands that mode 2 is current.
    Shared<int> m_bPlayLow{0};
    Shared<int> m_bPlayHigh{0};
    Shared<int> m_bPlayOriginal{0};
    Shared<int> m_bPlayMode1{0};
    Shared<int> m_bPlayLeft{0};
    Shared<int> m_bPlayRight{0};
    Shared<int> m_bPlayMode2{0};
};

struct ModeFlag {
    PlayMode mode;
    Shared<int> ProcessingParameters::*flag;
};

// The seven modes in the order in which the current one is looked for; mode 2 last.
inline constexpr ModeFlag kPlayModes[] = {
    {PlayMode::Low, &ProcessingParameters::m_bPlayLow},
    {PlayMode::High, &ProcessingParameters::m_bPlayHigh},
    {PlayMode::Original, &ProcessingParameters::m_bPlayOriginal},
    {PlayMode::Mode1, &ProcessingParameters::m_bPlayMode1},
    {PlayMode::Left, &ProcessingParameters::m_bPlayLeft},
    {PlayMode::Right, &ProcessingParameters::m_bPlayRight},
    {PlayMode::Mode2, &ProcessingParameters::m_bPlayMode2},
};

// The mode a job processes a frame in. A job reads the flags one by one while the window
// may be switching, so it can find none set though the window never clears them all while
// a job runs; the frame then keeps the mode of the frame before. A job that starts with no
// flag set processes mode 2.
[[gnu::always_inline]] inline PlayMode FrameMode(const ProcessingParameters& params,
                                                 PlayMode previous) {
    for (const ModeFlag& entry : kPlayModes) {
        if ((params.*entry.flag).Get() != 0) {
            return entry.mode;
        }
    }
    return previous;
}

// The mode the flags select: the first set one of the first six, else mode 2 (whose own
// flag comes last).
[[gnu::always_inline]] inline PlayMode CurrentProcessingMode(const ProcessingParameters& params) {
    return FrameMode(params, PlayMode::Mode2);
}

static_assert([] {
    for (int i = 0; i < 7; ++i) {
        if (static_cast<int>(kPlayModes[i].mode) != i) {
            return false;
        }
    }
    return true;
}());

inline Shared<int>& FlagOf(ProcessingParameters& params, PlayMode mode) {
    return params.*kPlayModes[static_cast<int>(mode)].flag;
}

// Requests that end a run of frames early: the run stops before the first frame at which
// either is set. Null members are never set.
struct RunInterrupts {
    const Shared<int>* seek = nullptr;
    const Shared<int>* stop = nullptr;

    bool Requested() const {
        return (seek != nullptr && seek->Get() != 0) || (stop != nullptr && stop->Get() != 0);
    }
};
