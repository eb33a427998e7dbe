#pragma once

// The eight play buttons, one row per mode in the processing's order of modes.

#include "trackbars/parameters.h"
#include "ui/main_window_ui.h"
#include "ui/resource_ids.h"

struct PlayButton {
    PlayMode mode;
    BitmapButton* MainWindowUi::*button;
    int idleFace;
    int stopFace;
    bool computesCutoffs;  // a start recomputes the cut-offs from their trackbars
};

inline constexpr PlayButton kPlayButtons[] = {
    {PlayMode::Low, &MainWindowUi::lowButton, IDB_LOW_IDLE, IDB_LOW_STOP, true},
    {PlayMode::High, &MainWindowUi::highButton, IDB_HIGH_IDLE, IDB_HIGH_STOP, true},
    {PlayMode::Original, &MainWindowUi::playOriginalButton, IDB_PLAY_ORIGINAL_IDLE, IDB_WIDE_STOP,
     false},
    {PlayMode::Mode1, &MainWindowUi::playMode1Button, IDB_PLAY_MODE1_IDLE, IDB_WIDE_STOP, false},
    {PlayMode::Left, &MainWindowUi::leftButton, IDB_LEFT_IDLE, IDB_LEFT_STOP, false},
    {PlayMode::Right, &MainWindowUi::rightButton, IDB_RIGHT_IDLE, IDB_RIGHT_STOP, false},
    {PlayMode::Mode2, &MainWindowUi::playMode2Button, IDB_PLAY_MODE2_IDLE, IDB_WIDE_STOP, false},
    {PlayMode::Stereo, &MainWindowUi::playStereoButton, IDB_PLAY_STEREO_IDLE, IDB_WIDE_STOP, true},
};

inline const PlayButton& ButtonFor(PlayMode mode) {
    return kPlayButtons[static_cast<int>(mode)];
}
