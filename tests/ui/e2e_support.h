#pragma once

// The real window, message boxes, file dialogs and PortAudio output on a virtual display,
// playing into ALSA devices that capture what is played at a sound card's pace.

#include <QTimer>
#include <filesystem>
#include <string>
#include <vector>

#include "playback/portaudio_out.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/profile.h"

inline constexpr long kBytesPerSecond = 44100 * 4;

// Sound captured so far; a capture's 44-byte header is not sound.
std::uintmax_t SizeOf(const std::filesystem::path& path);

// Points ALSA at a configuration of that text written into dir under name; the next
// PortAudioSystem made uses it. A name of its own for each configuration: ALSA may not see
// a rewritten file within the same second.
void UseAlsaConfig(const TempDir& dir, const std::string& name, const std::string& text);

// Points ALSA's default device at a capture file in dir, paced at a sound card's rate.
std::filesystem::path UseCaptureDevice(const TempDir& dir);

// The program's window with the real file dialogs and sound device, shown, its profile in
// dir; the real message boxes unless boxes are given.
struct RealWindow {
    explicit RealWindow(const TempDir& dir, MessageBoxes* boxes = nullptr);

    bool application = (EnsureApplication(), true);  // before any widget
    QtMessageBoxes qtBoxes;
    QtFileDialogs files;
    Profile profile;
    PortAudioSystem sound;
    PortAudioOut audio;
    MainWindow window;
};

// Closes any message box that comes up, so that an unexpected one fails the test instead
// of waiting for a user who is not there.
class MessageBoxWatch {
  public:
    MessageBoxWatch();
    std::vector<QString> texts;

  private:
    QTimer m_poll;
};
