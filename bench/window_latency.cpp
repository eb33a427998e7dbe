// How long the real window takes, with the real sound output, to answer Stop and to close
// while it plays. Run it with ALSA's default device paced at a sound card's rate (see
// bench/stop_latency.sh); the times are from the click or the close to the idle face or the
// end of the window's shutdown.
//
// Usage: zerbex_window_latency INPUT.wav

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bitmap_button.h"
#include "file_dialogs.h"
#include "main_window.h"
#include "message_boxes.h"
#include "portaudio_out.h"
#include "profile.h"
#include "resource_ids.h"

namespace {

// Keeps the window's events flowing for the given time, or until done() holds.
template <typename Done>
double PumpFor(double seconds, Done done) {
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < static_cast<qint64>(seconds * 1e9) && !done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: zerbex_window_latency INPUT.wav\n", stderr);
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
            window.reject();
        }
    }
    closeSeconds = static_cast<double>(closing.nsecsElapsed()) / 1e9;
    std::printf("close while playing -> window and sound output gone: %.3f s\n", closeSeconds);
    return 0;
}
