#include "bench/window_capture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "playback/portaudio_out.h"
#include "ui/bitmap_button.h"
#include "ui/file_dialogs.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/profile.h"

namespace {

std::uintmax_t FramesTaken(const char* capture) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(capture, ec);
    return ec ? 0 : size / 4;
}

}  // namespace

double PumpFor(double seconds, const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < static_cast<qint64>(seconds * 1e9) && !done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

std::optional<std::vector<std::uintmax_t>> PlayAndPress(
    const char* input, const char* capture, const std::function<BitmapButton*(MainWindow&)>& pick,
    int times, const std::function<void(MainWindow&)>& press) {
    QtMessageBoxes boxes;
    QtFileDialogs files;
    Profile profile(DefaultProfilePath());
    std::vector<std::uintmax_t> pressed;
    {
        const PortAudioSystem sound;
        PortAudioOut audio(sound);
        MainWindow window(UiServices{boxes, files, profile, &audio});
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window)) {
            return std::nullopt;
        }
        window.SelectInputFile(QString::fromLocal8Bit(input));
        pick(window)->click();
        // A press lands anywhere in the device's and the player's cycles, as a user's does.
        std::mt19937 random{std::random_device{}()};
        std::uniform_real_distribution<double> anyMoment(0.0, 0.05);
        for (int i = 0; i < times; ++i) {
            PumpFor(1.5 + anyMoment(random), [] { return false; });
            pressed.push_back(FramesTaken(capture));
            press(window);
        }
        std::printf("the device's buffer, as the sound system grants it: %.1f ms\n",
                    1000.0 * audio.Latency());
        PumpFor(1.5, [] { return false; });
        pick(window)->click();
        PumpFor(5.0, [&] { return window.Idle(); });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the sink's last bytes
    return pressed;
}

std::vector<double> CaptureLeft(const char* capture) {
    std::ifstream in(capture, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<double> left;
    for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) {
        left.push_back(static_cast<std::int16_t>(static_cast<unsigned char>(bytes[at]) |
                                                 (static_cast<unsigned char>(bytes[at + 1]) << 8)));
    }
    return left;
}
