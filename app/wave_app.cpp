#include "wave_app.h"

#include <QApplication>

#include "file_dialogs.h"
#include "main_dialog.h"
#include "message_boxes.h"
#include "portaudio_backend.h"
#include "profile.h"
#include "resources.h"

bool WaveApp::InitInstance(const QString& input) {
    // Message boxes and dialogs show the same icon as the main window.
    QApplication::setWindowIcon(LoadAppIcon());
    QtMessageBoxes boxes;
    QtFileDialogs files;
    Profile profile(DefaultProfilePath());
    PortAudioBackend audio;
    MainDialog dialog(UiServices{boxes, files, profile, &audio});
    if (!input.isEmpty()) {
        dialog.SelectInputFile(input);
    }
    dialog.exec();
    return false;
}
