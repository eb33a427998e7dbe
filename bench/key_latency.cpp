// How soon a key change is heard: the real window plays a 440 Hz sine in the original mode
// with the real sound output, and Ctrl+Up raises the key twice, once from the original key and
// once from a raised one. The capture tells where each new pitch starts; the time is from the
// press to there, against what the device had taken when the keys were pressed. Run it with
// ALSA's default device paced at a sound card's rate, its pipe already small (see
// bench/key_tempo.sh).
//
// Usage: zerbex_key_latency SINE.wav CAPTURE.raw

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
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

// The first rising zero crossing at or after from that starts ten periods of hz in a row,
// each within 1 %; -1 if none.
double ToneStarts(const std::vector<double>& left, std::size_t from, double hz) {
    std::vector<double> crossings;
    for (std::size_t i = from; i + 1 < left.size(); ++i) {
        if (left[i] < 0 && left[i + 1] >= 0) {
            crossings.push_back(static_cast<double>(i) + left[i] / (left[i] - left[i + 1]));
        }
    }
    const double period = kRate / hz;
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
    QtMessageBoxes boxes;
    QtFileDialogs files;
    Profile profile(DefaultProfilePath());
    std::uintmax_t pressed[2] = {};
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
        window.Ui().playOriginalButton->click();
        for (std::uintmax_t& at : pressed) {
            PumpFor(1.5, [] { return false; });
            at = FramesTaken(argv[2]);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up, Qt::ControlModifier);
        }
        PumpFor(1.5, [] { return false; });
        window.Ui().playOriginalButton->click();
        PumpFor(5.0, [&] { return window.Idle(); });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the sink's last bytes
    const std::vector<double> left = Left(argv[2]);
    const char* from[] = {"the original key", "+1 semitone"};
    for (int i = 0; i < 2; ++i) {
        const double hz = 440 * std::pow(2.0, (i + 1) / 12.0);
        const double starts = ToneStarts(left, pressed[i], hz);
        if (starts < 0) {
            std::printf("Ctrl+Up from %s: %.2f Hz never heard\n", from[i], hz);
            continue;
        }
        std::printf("Ctrl+Up from %s: %.2f Hz heard %.3f s after the press\n", from[i], hz,
                    (starts - static_cast<double>(pressed[i])) / kRate);
    }
    return 0;
}
