#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "window_link.h"

// A window for engine tests: remembers every message, trackbar move and meter image.
// Hooks let a test act like a user at the moment the engine reaches the window.
class FakeWindow : public WindowLink {
  public:
    struct TrackbarMove {
        Trackbar trackbar;
        int pos;
    };

    WindowState& State() override { return m_state; }
    void ShowMessage(const char* text) override;
    void SetTrackbarPos(Trackbar trackbar, int pos) override;
    int GetTrackbarPos(Trackbar trackbar) override;
    void ShowMeter(int bitmapId) override;
    void ResetPlayButtons() override;

    std::vector<std::string> Messages() const;
    std::vector<TrackbarMove> Moves() const;
    std::vector<int> Meters() const;
    int ResetCount() const;

    // Called after each play-position move, with the new position.
    std::function<void(int)> onPlayPos;
    std::function<void(const std::string&)> onMessage;
    // Called after each meter image, with the bitmap id.
    std::function<void(int)> onMeter;

  private:
    mutable std::mutex m_mutex;
    WindowState m_state;
    int m_positions[3] = {0, 100, 0};
    std::vector<std::string> m_messages;
    std::vector<TrackbarMove> m_moves;
    std::vector<int> m_meters;
    int m_resets = 0;
};
