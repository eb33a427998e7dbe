#include "app/wave_app.h"

#include <QApplication>
#include <memory>

#include "jobs/sound.h"
#include "res/resources.h"
#include "ui/file_dialogs.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/profile.h"

void RunMainWindow(const UiServices& services, const QString& input) {
    MainWindow window(services);
    if (!input.isEmpty()) {
        window.SelectInputFile(input);
    }
    // Active from the start, the focus in its first control, also where no window manager
    // hands it the focus.
    window.show();
    window.activateWindow();
    QApplication::exec();
}

void RunProgram(const QString& input) {
    // Message boxes and dialogs show the same icon as the main window.
    QApplication::setWindowIcon(LoadAppIcon());
    QtMessageBoxes boxes;
    QtFileDialogs files;
    Profile profile(DefaultProfilePath());
    // Without a sound system the window still writes files, and says so when asked to play.
    auto sound = std::make_unique<Sound>();
    AudioOut* out = sound->system.InitError().empty() ? &sound->out : nullptr;
    RunMainWindow(UiServices{boxes, files, profile, out, nullptr, &sound->system}, input);
    // A window closed while it played aborted its stream, and closing that stream waits until
    // the device has let go of the sound it had taken. The program ends with its window
    // instead: the system releases the device with the process.
    if (sound->out.HoldsAbortedStream()) {
        static_cast<void>(sound.release());
    }
}
