#pragma once

#include <cstddef>

#include "processing_parameters.h"

// The main window's members that a running job shares with the user interface: the
// processing parameters, the requests and the trackbar positions.
// The values given here are the ones the window holds once it has initialised.
inline constexpr std::size_t kPathChars = 610;  // path members, terminator included

struct WindowState : ProcessingParameters {
    Shared<bool> m_bInputSelected{false};
    Shared<bool> m_bOutputSelected{false};
    // Read by a job only when it starts; written only while no job runs.
    char m_szInputPath[kPathChars] = {};
    char m_szOutputPath[kPathChars] = {};

    Shared<int> m_bPlaying{0};
    Shared<int> m_bStopRequest{0};
    Shared<int> m_bNoRestart{0};
    Shared<int> m_bSeekRequest{0};

    // Trackbar positions and the hidden pan value text.
    Shared<int> m_nPan{0};            // -30 .. 30, negative toward the left
    Shared<float> m_fPanValue{1.0f};  // -1.1875 .. 1.1875, never 0 once initialised
    Shared<int> m_nLowSlider{8};      // 0 .. 40
    Shared<int> m_nHighSlider{57};    // 0 .. 80
    Shared<int> m_nPlayPos{0};        // 0 .. 100; playback may carry it past 100
    Shared<int> m_nRightSlider{13};   // 0 .. 25
    Shared<int> m_nLeftSlider{13};    // 0 .. 25
    Shared<int> m_nOutputLevel{25};   // 0 (top, "+") .. 25 (bottom, "0")
    Shared<int> m_nLoopStart{0};      // 0 .. 100
    Shared<int> m_nLoopEnd{100};      // 0 .. 100
};

// Stores the pan mapping of m_nPan into the two pan gains (not the pan value text).
void ApplyPanGains(WindowState& state);
// Stores the pan mapping of m_nPan into the gains and the pan value text.
void ApplyPanMapping(WindowState& state);
// Recomputes every derived member from the trackbar members.
void UpdateDerivedParameters(WindowState& state);

// The requests that end a run of frames early: a seek and a stop.
inline RunInterrupts InterruptsOf(const WindowState& state) {
    return {&state.m_bSeekRequest, &state.m_bStopRequest};
}
