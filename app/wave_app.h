#pragma once

#include <QString>

// The application: builds the main window, runs it, and ends the program when it closes.
class WaveApp {
  public:
    // Runs the main window until it closes, with input (when not empty) selected as if
    // chosen in the input dialog. Returns false: the program then ends.
    bool InitInstance(const QString& input = {});
};
