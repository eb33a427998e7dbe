#include "fake_window.h"

void FakeWindow::ShowMessage(const char* text) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.emplace_back(text);
    }
    if (onMessage) {
        onMessage(text);
    }
}

void FakeWindow::SetTrackbarPos(Trackbar trackbar, int pos) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_positions[static_cast<int>(trackbar)] = pos;
        m_moves.push_back({trackbar, pos});
    }
    if (trackbar == Trackbar::PlayPos && onPlayPos) {
        onPlayPos(pos);
    }
}

int FakeWindow::GetTrackbarPos(Trackbar trackbar) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_positions[static_cast<int>(trackbar)];
}

void FakeWindow::ShowMeter(int bitmapId) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_meters.push_back(bitmapId);
    }
    if (onMeter) {
        onMeter(bitmapId);
    }
}

void FakeWindow::ResetPlayButtons() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_resets;
}

std::vector<std::string> FakeWindow::Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

std::vector<FakeWindow::TrackbarMove> FakeWindow::Moves() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_moves;
}

std::vector<int> FakeWindow::Meters() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_meters;
}

int FakeWindow::ResetCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_resets;
}
