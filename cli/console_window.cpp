#include "console_window.h"

#include <cstring>

namespace {

constexpr int kProgressSteps = 110;  // a write job's position counter ends near here
constexpr int kBarWidth = 40;

int Index(Trackbar trackbar) {
    return static_cast<int>(trackbar);
}

}  // namespace

int MeterSegments(int bitmapId) {
    switch (bitmapId) {
        case 140:
            return 1;
        case 139:
            return 2;
        case 138:
            return 3;
        case 137:
            return 4;
        case 136:
            return 5;
        case 135:
            return 6;
        case 142:
            return 7;
        case 132:
            return 8;
        default:
            return 0;
    }
}

void ConsoleWindow::ShowMessage(const char* text) {
    if (m_statusShown) {
        std::fputs("\r\033[K", m_err);
        m_statusShown = false;
    }
    std::fputs(text, m_err);
    const std::size_t n = std::strlen(text);
    if (n == 0 || text[n - 1] != '\n') {
        std::fputc('\n', m_err);
    }
    std::fflush(m_err);
}

void ConsoleWindow::SetTrackbarPos(Trackbar trackbar, int pos) {
    m_positions[Index(trackbar)] = pos;
    if (trackbar == Trackbar::PlayPos) {
        DrawStatus();
    }
}

int ConsoleWindow::GetTrackbarPos(Trackbar trackbar) {
    return m_positions[Index(trackbar)];
}

void ConsoleWindow::ShowMeter(int bitmapId) {
    m_meter.store(bitmapId, std::memory_order_relaxed);
    if (m_status == Status::PlayPosition) {
        DrawStatus();
    }
}

void ConsoleWindow::DrawStatus() {
    const int pos = m_positions[Index(Trackbar::PlayPos)];
    const int meter = m_meter.load(std::memory_order_relaxed);
    if (m_status == Status::None || (pos == m_lastDrawnPos && meter == m_lastDrawnMeter)) {
        return;
    }
    m_lastDrawnPos = pos;
    m_lastDrawnMeter = meter;
    if (m_status == Status::Progress) {
        DrawBar("", pos >= kProgressSteps ? 100 : pos * 100 / kProgressSteps);
        return;
    }
    const int lit = MeterSegments(meter);
    std::fprintf(m_err, "\rposition %3d  level [%.*s%*s]", pos, lit, "########", 8 - lit, "");
    m_statusShown = true;
    std::fflush(m_err);
}

void ConsoleWindow::DrawBar(const char* label, int percent) {
    const int filled = percent * kBarWidth / 100;
    std::fprintf(m_err, "\r%s[%.*s%*s] %3d%%", label, filled,
                 "########################################", kBarWidth - filled, "", percent);
    m_statusShown = true;
    std::fflush(m_err);
}

void ConsoleWindow::ShowStepProgress(const char* step, double fraction) {
    const int percent = static_cast<int>(fraction * 100);
    if (m_status == Status::None || percent == m_lastStepPercent) {
        return;
    }
    m_lastStepPercent = percent;
    DrawBar(step, percent);
}

void ConsoleWindow::FinishStatus() {
    if (m_statusShown) {
        std::fputs("\r\033[K", m_err);
        std::fflush(m_err);
        m_statusShown = false;
    }
}
