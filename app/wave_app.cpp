#include "app/wave_app.h"

#include <QApplication>

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
    Sound sound;
    AudioOut* out = sound.InitError().empty() ? &sound.Out() : nullptr;
    RunMainWindow(UiServices{boxes, files, profile, out, nullptr, &sound.Devices()}, input);
}
