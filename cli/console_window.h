#pragma once

#include <atomic>
#include <cstdio>

#include "window_link.h"

// The window as the command-line tool shows it: messages go to stderr, trackbar
// positions and the meter are remembered, and on a terminal a status line follows them.
class ConsoleWindow : public WindowLink {
  public:
    enum class Status { None, Progress, PlayPosition };

    explicit ConsoleWindow(std::FILE* err = stderr) : m_err(err) {}

    // Chooses the status line; None when stderr is not a terminal.
    void SetStatus(Status status) { m_status = status; }
    void FinishStatus();
    // A progress bar for a step before the job ("decoding"), drawn when the percentage
    // changes and only when a status line was chosen.
    void ShowStepProgress(const char* step, double fraction);

    WindowState& State() override { return m_state; }
    void ShowMessage(const char* text) override;
    void SetTrackbarPos(Trackbar trackbar, int pos) override;
    int GetTrackbarPos(Trackbar trackbar) override;
    void ShowMeter(int bitmapId) override;
    void ResetPlayButtons() override {}

    int MeterBitmap() const { return m_meter; }

  private:
    void DrawStatus();
    void DrawBar(const char* label, int percent);

    std::FILE* m_err;
    WindowState m_state;
    Status m_status = Status::None;
    bool m_statusShown = false;
    int m_positions[3] = {0, 100, 0};
    std::atomic<int> m_meter{134};
    int m_lastDrawnPos = -1;
    int m_lastDrawnMeter = -1;
    int m_lastStepPercent = -1;
};

// Number of lit segments (0..8) for a meter bitmap id.
int MeterSegments(int bitmapId);
