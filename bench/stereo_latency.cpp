// How soon a trackbar is heard in the stereo mode (or, with "mode2", in mode 2): the real
// window plays a 440 Hz sine on the left channel alone (off the centre the remover aims at, so
// it stays) with the real sound output, and Home on a trackbar changes it: on the output level
// it raises the level 4.75 times; on the pan it aims the remover at the left channel, which
// takes the sine away. The
// capture tells where the change starts; the time is from the press to there, against what
// the device had taken when the key was pressed. It prints the remover's added latency too.
// Run it with ALSA's default device paced at a sound card's rate (see
// bench/stereo_playback.sh).
//
// Usage: zerbex_stereo_latency SINE.wav CAPTURE.raw [level|pan] [mode2]

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/window_capture.h"
#include "processing/stereo_remover.h"
#include "ui/main_window.h"
#include "ui/trackbar_slider.h"

namespace {

// The peak level of the half second before frame from (at least half a second in).
double PeakBefore(const std::vector<double>& left, std::size_t from) {
    const std::size_t before = static_cast<std::size_t>(kCaptureRate / 2);
    double peak = 0;
    for (std::size_t i = from - before; i < from; ++i) {
        peak = std::max(peak, std::abs(left[i]));
    }
    return peak;
}

// The first frame at or after from whose level is over twice the loudest of the half second
// before from; -1 if none.
double LouderFrom(const std::vector<double>& left, std::size_t from) {
    const double peak = PeakBefore(left, from);
    for (std::size_t i = from; i < left.size(); ++i) {
        if (std::abs(left[i]) > 2 * peak) {
            return static_cast<double>(i);
        }
    }
    return -1;
}

// The first frame at or after from where a cycle of the sine (100 frames) stays under half the
// loudest of the half second before from; -1 if none.
double QuieterFrom(const std::vector<double>& left, std::size_t from) {
    constexpr std::size_t kCycle = 100;
    const double peak = PeakBefore(left, from);
    for (std::size_t i = from; i + kCycle < left.size(); ++i) {
        const auto cycle = left.begin() + static_cast<std::ptrdiff_t>(i);
        if (std::all_of(cycle, cycle + kCycle,
                        [peak](double v) { return std::abs(v) < peak / 2; })) {
            return static_cast<double>(i);
        }
    }
    return -1;
}

// Where the press is heard: louder for the output level, quieter for the pan; -1 if nowhere.
double ChangeFrom(const std::vector<double>& left, std::size_t from, bool pan) {
    if (from < static_cast<std::size_t>(kCaptureRate / 2) || from >= left.size()) {
        return -1;
    }
    return pan ? QuieterFrom(left, from) : LouderFrom(left, from);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const bool pan = args.size() >= 3 && args[2] == "pan";
    const bool mode2 = args.size() == 4 && args[3] == "mode2";
    if (args.size() < 2 || args.size() > 4 || (args.size() >= 3 && !pan && args[2] != "level") ||
        (args.size() == 4 && !mode2)) {
        std::fputs("usage: zerbex_stereo_latency SINE.wav CAPTURE.raw [level|pan] [mode2]\n",
                   stderr);
        return 2;
    }
    QApplication application(argc, argv);
    const Knob knob = pan ? Knob::Pan : Knob::OutputLevel;
    const auto pressed = PlayAndPress(
        argv[1], argv[2],
        [mode2](MainWindow& window) {
            return mode2 ? window.Ui().playMode2Button : window.Ui().playStereoButton;
        },
        1,
        [knob](MainWindow& window) {
            TrackbarSlider* slider = window.Ui().Slider(knob);
            slider->setFocus();
            QTest::keyClick(slider, Qt::Key_Home);
        });
    if (!pressed) {
        std::fputs("the window did not become active\n", stderr);
        return 1;
    }
    const std::vector<double> left = CaptureLeft(argv[2]);
    const auto from = static_cast<std::size_t>(pressed->front());
    const char* name = pan ? "pan" : "output level";
    const double heard = ChangeFrom(left, from, pan);
    if (heard < 0) {
        std::printf("the %s's change was never heard\n", name);
    } else {
        std::printf("%s heard %.3f s after the press\n", name,
                    (heard - static_cast<double>(from)) / kCaptureRate);
    }
    const StereoRemover remover(static_cast<unsigned>(kCaptureRate));
    std::printf("the remover adds %.1f ms (%zu frames at 44.1 kHz)\n",
                1000.0 * static_cast<double>(remover.Latency()) / kCaptureRate, remover.Latency());
    return 0;
}
