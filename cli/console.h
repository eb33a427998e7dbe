#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "jobs/input_file.h"

// A job as the command-line tool shows it: messages on stderr, and on a terminal a status
// line, either a progress bar or the play position and level.
class Console : public JobObserver {
  public:
    enum class Status { None, Progress, PlayPosition };

    // Chooses the status line; None when stderr is not a terminal.
    void SetStatus(Status status) { m_status = status; }
    // The files of the job: what is wrong with either is told under its name.
    void SetInput(std::string input) { m_input = std::move(input); }
    void SetOutput(std::string output) { m_output = std::move(output); }
    // The length of the data a playback plays, so that its position shows as minutes:seconds;
    // asked at every drawing, as a decoded input's is known better as the decoding goes on.
    void SetLength(std::function<WaveLength()> length) { m_length = std::move(length); }
    void FinishStatus();

    void Message(const JobMessage& message) override;
    void Position(int step) override;
    void Level(int segments) override;
    void Progress(double done) override;

  private:
    void DrawPlayStatus();
    void DrawBar(int percent);
    void ClearStatus();

    Status m_status = Status::None;
    std::string m_input;
    std::string m_output;
    std::function<WaveLength()> m_length;
    bool m_statusShown = false;
    int m_position = 0;
    std::atomic<int> m_segments{0};
    int m_lastPosition = -1;
    int m_lastSegments = -1;
    int m_lastPercent = -1;
};

// "zerbex2-cli: " and the message, as the tool prints a failure; control bytes escaped.
void PrintError(const std::string& message);

// Text for the terminal: control bytes (a file name's, a device's, a presets file's) as
// "\xNN", so that none moves the cursor, clears the screen or sets the title. A newline
// inside stays one where keepNewlines.
std::string Printable(const std::string& text, bool keepNewlines = false);

// A job's message as one line of the tool's: the message text, and the system's reason after
// it where there is one.
std::string MessageLine(const JobMessage& message);
