// How soon the real window's waveform of a decoded input is complete against the decoding's
// own time, and how long its event loop stalls meanwhile (a 5 ms timer's largest gap: the
// longest any input would wait).
//
// Usage: zerbex_waveform_time INPUT

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "bench/window_capture.h"
#include "ui/file_dialogs.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/profile.h"
#include "ui/waveform_view.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zerbex_waveform_time INPUT\n");
        return 2;
    }
    QtMessageBoxes boxes;
    QtFileDialogs files;
    Profile profile(DefaultProfilePath());
    MainWindow window(UiServices{boxes, files, profile, nullptr});
    window.show();
    PumpFor(0.5, [] { return false; });
    const QString title = window.windowTitle();

    QElapsedTimer clock;
    QElapsedTimer tick;
    qint64 worstGap = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout,
                     [&] { worstGap = std::max(worstGap, tick.restart()); });
    clock.start();
    tick.start();
    timer.start();
    window.SelectInputFile(QString::fromLocal8Bit(argv[1]));
    double decoded = -1;
    double drawn = -1;
    const WaveformView* wave = window.Ui().waveform;
    PumpFor(3600, [&] {
        const double now = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        if (decoded < 0 && window.windowTitle() == title) {
            decoded = now;  // the title drops the decoding's progress within 0.2 s of its end
        }
        if (drawn < 0 && wave->Frames() > 0 &&
            wave->Buckets() == (wave->Frames() + kEnvelopeFrames - 1) / kEnvelopeFrames) {
            drawn = now;
        }
        return decoded >= 0 && drawn >= 0;
    });
    std::printf(
        "decoding ended: %.2f s (within 0.2 s)\nwaveform of %.1f s complete: %.2f s\n"
        "longest stall of the window's events: %lld ms\n",
        decoded, static_cast<double>(wave->Frames()) / kCaptureRate, drawn,
        static_cast<long long>(worstGap));
    window.close();
    return 0;
}
