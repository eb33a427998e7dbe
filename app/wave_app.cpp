#include "wave_app.h"

#include <QApplication>
#include <memory>

#include "file_dialogs.h"
#include "main_window.h"
#include "message_boxes.h"
#include "portaudio_out.h"
#include "profile.h"
#include "resources.h"

void RunMainWindow(const UiServices& services, const QString& input) {
    MainWindow window(services);
    if (!input.isEmpty()) {
        window.SelectInputFile(input);
    }
    window.exec();
}

void RunProgram(const QString& input) {
    // Message boxes and dialogs show the same icon as the main window.
    QApplication::setWindowIcon(LoadAppIcon());
    QtMessageBoxes boxes;
    QtFileDialogs files;
    Profile profile(DefaultProfilePath());
    // Without a sound system the window still writes files, and says so when asked to play.
    const PortAudioSystem sound;
    const std::unique_ptr<PortAudioOut> out =
        sound.InitError().empty() ? std::make_unique<PortAudioOut>(sound) : nullptr;
    RunMainWindow(UiServices{boxes, files, profile, out.get()}, input);
}
