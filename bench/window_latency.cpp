// How long the real window takes, with the real sound output, to answer Stop and to close
// while it plays, or to take input again after a file is chosen and to sound after Alt+2. Run
// it with ALSA's default device paced at a sound card's rate (see bench/stop_latency.sh and
// bench/first_sound.sh); the times are from the click or the close to the idle face or the
// end of the window's shutdown, and from the choice to the window's next event. For Alt+2 the
// wall-clock time of the key press is printed: the device's pacer knows when the sound came.
//
// Usage: zerbex_window_latency INPUT.wav
//        zerbex_window_latency --choose INPUT

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench/window_capture.h"
#include "playback/portaudio_out.h"
#include "ui/bitmap_button.h"
#include "ui/file_dialogs.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/profile.h"
#include "ui/resource_ids.h"

namespace {

double WallClock() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Chooses input in a shown window, and presses Alt+2 as soon as the window takes input again.
void ChooseAndPlay(MainWindow& window, const char* input) {
    window.show();
    PumpFor(0.5, [] { return false; });
    QElapsedTimer clock;
    clock.start();
    window.SelectInputFile(QString::fromLocal8Bit(input));
    bool usable = false;
    QTimer::singleShot(0, &window, [&usable] { usable = true; });
    PumpFor(30.0, [&usable] { return usable; });
    std::printf("choose -> window usable: %.3f s\n",
                static_cast<double>(clock.nsecsElapsed()) / 1e9);
    const double pressed = WallClock();
    QTest::keyClick(&window, Qt::Key_2, Qt::AltModifier);
    std::printf("alt+2 pressed at %.6f\n", pressed);
    std::fflush(stdout);
    PumpFor(1.5, [] { return false; });
    window.close();
}

// Chooses input and closes the window a moment later, while the input is decoded; the
// seconds from the close until the window is gone, its decoding stopped and its copy removed.
double CloseWhileDecoding(const UiServices& services, const char* input) {
    QElapsedTimer closing;
    {
        MainWindow window(services);
        window.show();
        window.SelectInputFile(QString::fromLocal8Bit(input));
        PumpFor(0.05, [] { return false; });
        closing.start();
        window.close();
    }
    return static_cast<double>(closing.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    const bool choose = argc == 3 && std::string(argv[1]) == "--choose";
    if (argc != 2 && !choose) {
        std::fputs("usage: zerbex_window_latency INPUT.wav | --choose INPUT\n", stderr);
        return 2;
    }
    QApplication application(argc, argv);
    QtMessageBoxes boxes;
    QtFileDialogs files;
    Profile profile(DefaultProfilePath());
    double closeSeconds = 0.0;
    QElapsedTimer closing;
    {
        const PortAudioSystem sound;
        PortAudioOut audio(sound);
        {
            MainWindow window(UiServices{boxes, files, profile, &audio});
            if (choose) {
                ChooseAndPlay(window, argv[2]);
                std::printf("close while decoding -> window gone: %.3f s\n",
                            CloseWhileDecoding(UiServices{boxes, files, profile, &audio}, argv[2]));
                return 0;
            }
            BitmapButton* play = window.Ui().playMode2Button;
            window.show();
            window.SelectInputFile(QString::fromLocal8Bit(argv[1]));

            play->click();
            PumpFor(2.0, [] { return false; });
            std::printf("granted output latency: %.3f s\n", audio.Latency());
            play->click();
            const double stop =
                PumpFor(5.0, [&] { return play->ImageId() == IDB_PLAY_MODE2_IDLE; });
            std::printf("stop -> idle face: %.3f s\n", stop);
            PumpFor(5.0, [&] { return window.Idle(); });

            play->click();
            PumpFor(2.0, [] { return false; });
            closing.start();
            window.close();
        }
    }
    closeSeconds = static_cast<double>(closing.nsecsElapsed()) / 1e9;
    std::printf("close while playing -> window and sound output gone: %.3f s\n", closeSeconds);
    return 0;
}
