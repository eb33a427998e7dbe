#include "cli/console.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <span>

#include "cli/commands.h"

#include "settings/job_messages.h"
#include "trackbars/parameters.h"

namespace {

constexpr int kBarWidth = 40;

// Messages about a file name it: a batch or a script may run many.
constexpr JobError kAboutInput[] = {
    JobError::ReadInput,     JobError::NotStereo,     JobError::Not16Bit,    JobError::NotAudio,
    JobError::NoDecodeSpace, JobError::TooLongForWav, JobError::DecodedShort};
constexpr JobError kAboutOutput[] = {JobError::CreateOutput, JobError::WriteOutput,
                                     JobError::SameFile, JobError::CannotWriteFormat,
                                     JobError::CannotStream};
// Where the text is the detail itself, there is nothing to add.
constexpr JobError kDetailIsTheText[] = {JobError::DeviceFailed, JobError::CacheUnusable,
                                         JobError::DecodedShort, JobError::CannotWriteFormat,
                                         JobError::CannotStream};

bool Among(std::span<const JobError> errors, JobError error) {
    return std::ranges::find(errors, error) != errors.end();
}

}  // namespace

std::string Printable(const std::string& text, bool keepNewlines) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && !(keepNewlines && c == '\n') && c != '\t') || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "zerbex2-cli: %s\nTry 'zerbex2-cli --help' for more information.\n",
                 Printable(message).c_str());
    return kExitUsage;
}

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void PrintError(const std::string& message) {
    std::fprintf(stderr, "zerbex2-cli: %s\n", Printable(message).c_str());
}

std::string MessageLine(const JobMessage& message) {
    std::string text = MessageText(message);
    if (!message.detail.empty() && !Among(kDetailIsTheText, message.error)) {
        text.erase(text.find_last_not_of("\n ") + 1);
        text += ": " + message.detail;
    }
    if (text.empty() || text.back() != '\n') {
        text += '\n';
    }
    return text;
}

void Console::ClearStatus() {
    if (m_statusShown) {
        std::fputs("\r\033[K", stderr);
        m_statusShown = false;
    }
}

void Console::Message(const JobMessage& message) {
    ClearStatus();
    std::string text = MessageLine(message);
    const bool aboutInput = Among(kAboutInput, message.error);
    const bool aboutFile = aboutInput || Among(kAboutOutput, message.error);
    // A message may name an output of its own: the vocals beside the output.
    const std::string& file = aboutInput              ? m_input
                              : !message.file.empty() ? message.file
                                                      : m_output;
    if (aboutFile && !file.empty()) {
        text = "zerbex2-cli: " + file + ": " + text;
    } else if (!aboutFile) {
        // Every line of the tool's says whose it is.
        text = "zerbex2-cli: " + text;
    }
    std::fputs(Printable(text, true).c_str(), stderr);
    std::fflush(stderr);
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
    const WaveLength length = m_length ? m_length() : WaveLength{};
    const auto at =
        static_cast<long long>(PositionSeconds(m_position, length.dataBytes, length.byteRate));
    const auto all =
        static_cast<long long>(length.Known() ? length.dataBytes / length.byteRate : 0);
    std::fprintf(stderr, "\r%lld:%02lld / %lld:%02lld  level [%.*s%*s]", at / 60, at % 60, all / 60,
                 all % 60, segments, "########", 8 - segments, "");
    m_statusShown = true;
    std::fflush(stderr);
}

void Console::DrawBar(int percent) {
    const int filled = percent * kBarWidth / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 kBarWidth - filled, "", percent);
    m_statusShown = true;
    std::fflush(stderr);
}

void Console::FinishStatus() {
    ClearStatus();
    std::fflush(stderr);
    m_lastPercent = -1;
}
