// How soon a key change is heard: the real window plays a 440 Hz sine in the original mode
// with the real sound output, and Ctrl+Up raises the key twice, once from the original key and
// once from a raised one. The capture tells where each new pitch starts; the time is from the
// press to there, against what the device had taken when the keys were pressed. Run it with
// ALSA's default device paced at a sound card's rate, its pipe already small (see
// bench/key_tempo.sh).
//
// Usage: zerbex_key_latency SINE.wav CAPTURE.raw

#include <QApplication>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/window_capture.h"
#include "ui/main_window.h"

namespace {

// The first rising zero crossing at or after from that starts ten periods of hz in a row,
// each within 1 %; -1 if none.
double ToneStarts(const std::vector<double>& left, std::size_t from, double hz) {
    std::vector<double> crossings;
    for (std::size_t i = from; i + 1 < left.size(); ++i) {
        if (left[i] < 0 && left[i + 1] >= 0) {
            crossings.push_back(static_cast<double>(i) + left[i] / (left[i] - left[i + 1]));
        }
    }
    const double period = kCaptureRate / hz;
    for (std::size_t c = 0; c + 10 < crossings.size(); ++c) {
        bool steady = true;
        for (std::size_t k = c; k < c + 10 && steady; ++k) {
            steady = std::abs(crossings[k + 1] - crossings[k] - period) < 0.01 * period;
        }
        if (steady) {
            return crossings[c];
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: zerbex_key_latency SINE.wav CAPTURE.raw\n", stderr);
        return 2;
    }
    QApplication application(argc, argv);
    const auto pressed = PlayAndPress(
        argv[1], argv[2], [](MainWindow& window) { return window.Ui().playOriginalButton; }, 2,
        [](MainWindow& /*window*/) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up, Qt::ControlModifier);
        });
    if (!pressed) {
        std::fputs("the window did not become active\n", stderr);
        return 1;
    }
    const std::vector<double> left = CaptureLeft(argv[2]);
    const char* from[] = {"the original key", "+1 semitone"};
    for (std::size_t i = 0; i < 2; ++i) {
        const double hz = 440 * std::pow(2.0, static_cast<double>(i + 1) / 12.0);
        const double starts = ToneStarts(left, (*pressed)[i], hz);
        if (starts < 0) {
            std::printf("Ctrl+Up from %s: %.2f Hz never heard\n", from[i], hz);
            continue;
        }
        std::printf("Ctrl+Up from %s: %.2f Hz heard %.3f s after the press\n", from[i], hz,
                    (starts - static_cast<double>((*pressed)[i])) / kCaptureRate);
    }
    return 0;
}
