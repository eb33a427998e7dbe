#pragma once

#include <cstddef>

#include "shared_value.h"

// The main window's members that a running job shares with the user interface.
// The values given here are the ones the window holds once it has initialised.
inline constexpr std::size_t kPathChars = 610;  // path members, terminator included

struct WindowState {
    Shared<bool> m_bInputSelected{false};
    Shared<bool> m_bOutputSelected{false};
    // Read by a job only when it starts; written only while no job runs.
    char m_szInputPath[kPathChars] = {};
    char m_szOutputPath[kPathChars] = {};

    // Derived parameters, read by the processing for every frame.
    Shared<float> m_fPanGainL{1.0f};  // weight of the right-derived term taken from the left
    Shared<float> m_fPanGainR{1.0f};  // always the reciprocal of m_fPanGainL
    Shared<float> m_fLeftGain{2.2f};  // 1.0 .. 3.5
    Shared<float> m_fRightGain{2.2f};  // 1.0 .. 3.5
    Shared<float> m_fOutputGain{1.0f};  // 1.0 .. 4.75

    Shared<int> m_bPlaying{0};
    Shared<int> m_bStopRequest{0};
    Shared<int> m_bNoRestart{0};
    Shared<int> m_nLowCutoff{240};  // Hz, 40 .. 1040
    Shared<int> m_nHighCutoff{10875};  // Hz, 900 .. 14900

    // Mode flags: at most one is set; none of the first six set means mode 2.
    Shared<int> m_bPlayLow{0};
    Shared<int> m_bPlayHigh{0};
    Shared<int> m_bPlayOriginal{0};
    Shared<int> m_bPlayMode1{0};
    Shared<int> m_bSeekRequest{0};
    Shared<int> m_bPlayLeft{0};
    Shared<int> m_bPlayRight{0};
    Shared<int> m_bPlayMode2{0};

    // Trackbar positions and the hidden pan value text.
    Shared<int> m_nPan{0};  // -30 .. 30, negative toward the left
    Shared<float> m_fPanValue{1.0f};  // -1.1875 .. 1.1875, never 0 once initialised
    Shared<int> m_nLowSlider{8};  // 0 .. 40
    Shared<int> m_nHighSlider{57};  // 0 .. 80
    Shared<int> m_nPlayPos{0};  // 0 .. 100; playback may carry it past 100
    Shared<int> m_nRightSlider{13};  // 0 .. 25
    Shared<int> m_nLeftSlider{13};  // 0 .. 25
    Shared<int> m_nOutputLevel{25};  // 0 (top, "+") .. 25 (bottom, "0")
    Shared<int> m_nLoopStart{0};  // 0 .. 100
    Shared<int> m_nLoopEnd{100};  // 0 .. 100
};
