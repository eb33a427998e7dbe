// How soon a trackbar is heard in the stereo mode: the real window plays a 440 Hz sine on the
// left channel alone (off the centre the remover aims at, so it stays) with the real sound
// output, and Home on the output level trackbar raises the level 4.75 times. The capture tells
// where the louder sine starts; the time is from the press to there, against what the device
// had taken when the key was pressed. It prints the remover's added latency too. Run it with
// ALSA's default device paced at a sound card's rate (see bench/stereo_playback.sh).
//
// Usage: zerbex_stereo_latency SINE.wav CAPTURE.raw

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "bitmap_button.h"
#include "file_dialogs.h"
#include "main_window.h"
#include "message_boxes.h"
#include "portaudio_out.h"
#include "profile.h"
#include "stereo_remover.h"
#include "trackbar_slider.h"

namespace {

constexpr double kRate = 44100;

template <typename Done>
void PumpFor(double seconds, Done done) {
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < static_cast<qint64>(seconds * 1e9) && !done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

std::uintmax_t FramesTaken(const char* capture) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(capture, ec);
    return ec ? 0 : size / 4;
}

std::vector<double> Left(const char* capture) {
    std::ifstream in(capture, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<double> left;
    for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) {
        left.push_back(static_cast<std::int16_t>(static_cast<unsigned char>(bytes[at]) |
                                                 (static_cast<unsigned char>(bytes[at + 1]) << 8)));
    }
    return left;
}

// The first frame at or after from whose level is over twice the loudest of the half second
// before from; -1 if none.
double LouderFrom(const std::vector<double>& left, std::size_t from) {
    const std::size_t before = static_cast<std::size_t>(kRate / 2);
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
    QtMessageBoxes boxes;
    QtFileDialogs files;
    Profile profile(DefaultProfilePath());
    std::uintmax_t pressed = 0;
    {
        const PortAudioSystem sound;
        PortAudioOut audio(sound);
        MainWindow window(UiServices{boxes, files, profile, &audio});
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window)) {
            std::fputs("the window did not become active\n", stderr);
            return 1;
        }
        window.SelectInputFile(QString::fromLocal8Bit(argv[1]));
        window.Ui().playStereoButton->click();
        PumpFor(1.5, [] { return false; });
        TrackbarSlider* level = window.Ui().Slider(Knob::OutputLevel);
        level->setFocus();
        pressed = FramesTaken(argv[2]);
        QTest::keyClick(level, Qt::Key_Home);
        PumpFor(1.5, [] { return false; });
        window.Ui().playStereoButton->click();
        PumpFor(5.0, [&] { return window.Idle(); });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the sink's last bytes
    const double louder = LouderFrom(Left(argv[2]), pressed);
    if (louder < 0) {
        std::puts("the output level's change was never heard");
    } else {
        std::printf("output level heard %.3f s after the press\n",
                    (louder - static_cast<double>(pressed)) / kRate);
    }
    const StereoRemover remover(static_cast<unsigned>(kRate));
    std::printf("the remover adds %.1f ms (%zu frames at 44.1 kHz)\n",
                1000.0 * static_cast<double>(remover.Latency()) / kRate, remover.Latency());
    return 0;
}
