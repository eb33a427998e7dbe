// How soon a trackbar is heard in the stereo mode: the real window plays a 440 Hz sine on the
// left channel alone (off the centre the remover aims at, so it stays) with the real sound
// output, and Home on the output level trackbar raises the level 4.75 times. The capture tells
// where the louder sine starts; the time is from the press to there, against what the device
// had taken when the key was pressed. It prints the remover's added latency too. Run it with
// ALSA's default device paced at a sound card's rate (see bench/stereo_playback.sh).
//
// Usage: zerbex_stereo_latency SINE.wav CAPTURE.raw

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "main_window.h"
#include "stereo_remover.h"
#include "trackbar_slider.h"
#include "window_capture.h"

namespace {

// The first frame at or after from whose level is over twice the loudest of the half second
// before from; -1 if none.
double LouderFrom(const std::vector<double>& left, std::size_t from) {
    const std::size_t before = static_cast<std::size_t>(kCaptureRate / 2);
    if (from < before || from >= left.size()) {
        return -1;
    }
    double peak = 0;
    for (std::size_t i = from - before; i < from; ++i) {
        peak = std::max(peak, std::abs(left[i]));
    }
    for (std::size_t i = from; i < left.size(); ++i) {
        if (std::abs(left[i]) > 2 * peak) {
            return static_cast<double>(i);
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: zerbex_stereo_latency SINE.wav CAPTURE.raw\n", stderr);
        return 2;
    }
    QApplication application(argc, argv);
    const auto pressed = PlayAndPress(
        argv[1], argv[2], [](MainWindow& window) { return window.Ui().playStereoButton; }, 1,
        [](MainWindow& window) {
            TrackbarSlider* level = window.Ui().Slider(Knob::OutputLevel);
            level->setFocus();
            QTest::keyClick(level, Qt::Key_Home);
        });
    if (!pressed) {
        std::fputs("the window did not become active\n", stderr);
        return 1;
    }
    const double louder = LouderFrom(CaptureLeft(argv[2]), pressed->front());
    if (louder < 0) {
        std::puts("the output level's change was never heard");
    } else {
        std::printf("output level heard %.3f s after the press\n",
                    (louder - static_cast<double>(pressed->front())) / kCaptureRate);
    }
    const StereoRemover remover(static_cast<unsigned>(kCaptureRate));
    std::printf("the remover adds %.1f ms (%zu frames at 44.1 kHz)\n",
                1000.0 * static_cast<double>(remover.Latency()) / kCaptureRate, remover.Latency());
    return 0;
}
