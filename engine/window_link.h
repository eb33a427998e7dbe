#pragma once

#include "window_state.h"

// The engine's only way to reach the main window. The window implements it on the
// user-interface thread; a job calls it from whichever thread it runs on, and each call
// returns once the window has carried it out.
enum class Trackbar { LoopStart, LoopEnd, PlayPos };

class WindowLink {
  public:
    virtual ~WindowLink() = default;

    virtual WindowState& State() = 0;
    // An application message box with an OK button; returns when the user closed it.
    virtual void ShowMessage(const char* text) = 0;
    virtual void SetTrackbarPos(Trackbar trackbar, int pos) = 0;
    virtual int GetTrackbarPos(Trackbar trackbar) = 0;
    // Shows one of the level-meter bitmaps (134 dark .. 132 full) in the meter.
    virtual void ShowMeter(int bitmapId) = 0;
    virtual void ResetPlayButtons() = 0;
};
