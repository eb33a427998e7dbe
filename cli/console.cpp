#include "console.h"

#include "job_messages.h"

namespace {

constexpr int kBarWidth = 40;

// Refusals of the input name it: a batch or a script may run many.
bool AboutTheInput(JobError error) {
    return error == JobError::NotAudio || error == JobError::NoDecodeSpace;
}

}  // namespace

void PrintError(const std::string& message) {
    std::fprintf(stderr, "zerbex2-cli: %s\n", message.c_str());
}

void Console::ClearStatus() {
    if (m_statusShown) {
        std::fputs("\r\033[K", m_err);
        m_statusShown = false;
    }
}

void Console::Message(const JobMessage& message) {
    ClearStatus();
    std::string text = MessageText(message);
    if (AboutTheInput(message.error) && !m_input.empty()) {
        text = "zerbex2-cli: " + m_input + ": " + text;
    }
    if (text.empty() || text.back() != '\n') {
        text += '\n';
    }
    std::fputs(text.c_str(), m_err);
    std::fflush(m_err);
}

void Console::Position(int step) {
    m_position = step;
    DrawPlayStatus();
}

void Console::Level(int segments) {
    m_segments.store(segments, std::memory_order_relaxed);
    DrawPlayStatus();
}

void Console::Progress(double done) {
    const int percent = static_cast<int>(done * 100);
    if (m_status != Status::Progress || percent == m_lastPercent) {
        return;
    }
    m_lastPercent = percent;
    DrawBar(percent);
}

void Console::DrawPlayStatus() {
    const int segments = m_segments.load(std::memory_order_relaxed);
    if (m_status != Status::PlayPosition ||
        (m_position == m_lastPosition && segments == m_lastSegments)) {
        return;
    }
    m_lastPosition = m_position;
    m_lastSegments = segments;
    std::fprintf(m_err, "\rposition %3d  level [%.*s%*s]", m_position, segments, "########",
                 8 - segments, "");
    m_statusShown = true;
    std::fflush(m_err);
}

void Console::DrawBar(int percent) {
    const int filled = percent * kBarWidth / 100;
    std::fprintf(m_err, "\r%s[%.*s%*s] %3d%%", m_step.c_str(), filled,
                 "########################################", kBarWidth - filled, "", percent);
    m_statusShown = true;
    std::fflush(m_err);
}

void Console::FinishStatus() {
    ClearStatus();
    std::fflush(m_err);
    m_lastPercent = -1;
}
