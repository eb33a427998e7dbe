#pragma once

// The application: builds the main window, runs it, and ends the program when it closes.
class WaveApp {
  public:
    // Runs the main window until it closes. Returns false: the program then ends.
    bool InitInstance();
};
