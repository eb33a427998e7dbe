#pragma once

// What the real-window latency benches share: keep the window's events flowing, play an input
// in the real window on the real sound output, press keys while it plays, and read back what a
// capture device took.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class BitmapButton;
class MainWindow;

inline constexpr double kCaptureRate = 44100;

// Keeps the window's events flowing for the given time, or until done() holds; the seconds
// it took.
double PumpFor(double seconds, const std::function<bool()>& done);

// Starts the play button pick(window) gives on input, then presses times: 1.5 s after the
// start and after each press, press(window) runs. The frames the capture file held at each
// press; nothing when the window never became active.
std::optional<std::vector<std::uintmax_t>> PlayAndPress(
    const char* input, const char* capture, const std::function<BitmapButton*(MainWindow&)>& pick,
    int times, const std::function<void(MainWindow&)>& press);

// The left channel of a capture of 16-bit stereo frames.
std::vector<double> CaptureLeft(const char* capture);
