#pragma once

// The seven play buttons, one row per mode, in the order in which the current mode is looked
// for (mode 2 last). The mode flags come from the processing's own table of modes.

#include "processing_parameters.h"
#include "resource_ids.h"

struct PlayButton {
    PlayMode mode;
    int buttonId;
    int idleFace;
    int stopFace;
    bool computesCutoffs;  // a start recomputes the cut-offs from their trackbars
};

inline constexpr PlayButton kPlayButtons[] = {
    {PlayMode::Low, IDC_LOW, IDB_LOW_IDLE, IDB_LOW_STOP, true},
    {PlayMode::High, IDC_HIGH, IDB_HIGH_IDLE, IDB_HIGH_STOP, true},
    {PlayMode::Original, IDC_PLAY_ORIGINAL, IDB_PLAY_ORIGINAL_IDLE, IDB_WIDE_STOP, false},
    {PlayMode::Mode1, IDC_PLAY_MODE1, IDB_PLAY_MODE1_IDLE, IDB_WIDE_STOP, false},
    {PlayMode::Left, IDC_LEFT, IDB_LEFT_IDLE, IDB_LEFT_STOP, false},
    {PlayMode::Right, IDC_RIGHT, IDB_RIGHT_IDLE, IDB_RIGHT_STOP, false},
    {PlayMode::Mode2, IDC_PLAY_MODE2, IDB_PLAY_MODE2_IDLE, IDB_WIDE_STOP, false},
};

inline const PlayButton& ButtonFor(PlayMode mode) {
    return kPlayButtons[static_cast<int>(mode)];
}
