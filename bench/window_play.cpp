// Plays an input in the real window on the real sound output with one play button for a given
// time, then stops it, and prints the largest burst the device took at once and its buffer.
// With ALSA's default device as a file device on a paced FIFO, the capture tells the leading
// silence and any gap (bench/leading_silence.sh, bench/window_stereo_gaps.sh).
//
// Usage: zerbex_window_play INPUT.wav MODE SECONDS
//        MODE: low, high, original, 1, left, right, 2 or stereo (the play buttons' modes)

#include <QApplication>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/window_capture.h"
#include "playback/portaudio_out.h"
#include "ui/bitmap_button.h"
#include "ui/file_dialogs.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/play_buttons.h"
#include "ui/profile.h"

int main(int argc, char** argv) {
    static const char* const kModes[] = {"low",  "high",  "original", "1",
                                         "left", "right", "2",        "stereo"};
    int mode = -1;
    for (int i = 0; argc == 4 && i < 8; ++i) {
        mode = std::string(argv[2]) == kModes[i] ? i : mode;
    }
    if (mode < 0) {
        std::fputs("usage: zerbex_window_play INPUT.wav MODE SECONDS\n", stderr);
        return 2;
    }
    QApplication application(argc, argv);
    QtMessageBoxes boxes;
    QtFileDialogs files;
    Profile profile(DefaultProfilePath());
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
    BitmapButton* button = window.Ui().*(kPlayButtons[mode].button);
    button->click();
    PumpFor(std::atof(argv[3]), [] { return false; });
    std::printf("largest burst the device took: %.1f ms; its buffer: %.1f ms\n",
                1000.0 * audio.LargestBurst(), 1000.0 * audio.Latency());
    button->click();
    PumpFor(5.0, [&] { return window.Idle(); });
    return 0;
}
