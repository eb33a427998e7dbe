#pragma once

#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

#include "processing/processing_parameters.h"
#include "tests/test_support/test_audio_out.h"
#include "tests/test_support/wav_builder.h"
#include "ui/file_dialogs.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/profile.h"
#include "ui/url_opener.h"

// Creates the one QApplication of a test process (offscreen unless a platform was chosen).
void EnsureApplication();

// Speaks English from now on, or the template's Chinese: the windows made after it do.
bool SpeakEnglish(bool english);

// Message boxes that record what they were asked, and on which thread, and answer from a
// script.
class RecordingBoxes : public MessageBoxes {
  public:
    bool Show(const MessageBoxRequest& request) override;
    std::optional<QString> AskText(const QString& label) override;
    std::vector<QString> Texts() const;

    std::vector<MessageBoxRequest> shown;
    std::vector<QThread*> threads;  // where each box was shown
    std::vector<bool> answers;      // to the questions, in turn; yes when they run out
    // Runs while a box is open, as the user's clicks would in the box's own event loop.
    std::function<void(const MessageBoxRequest&)> whileOpen;
    std::vector<QString> textLabels;                  // what text was asked for
    std::vector<std::optional<QString>> textAnswers;  // in turn; cancelled when they run out

  private:
    std::size_t m_questions = 0;
};

// File dialogs that answer from a script.
class ScriptedFileDialogs : public FileDialogs {
  public:
    std::optional<QString> Choose(const FileDialogRequest& request) override;

    std::vector<FileDialogRequest> requests;
    std::vector<std::optional<QString>> answers;
};

class RecordingUrls : public UrlOpener {
  public:
    bool Open(const QUrl& url) override;

    std::vector<QUrl> opened;
    bool manualOpens = true;  // whether a local document opens
};

// A main window over test doubles: a profile in a temporary folder, a sound output that plays
// a quarter second of sound in perBlock.
struct WindowFixture {
    explicit WindowFixture(std::chrono::microseconds perBlock = std::chrono::microseconds(0));
    ~WindowFixture();

    const MainWindowUi& Ui() const { return window->Ui(); }
    // A new window over the same doubles and profile, as after a restart.
    void Reopen();
    // Writes a file into the test's folder.
    std::filesystem::path Make(const std::string& name, const Bytes& bytes);
    void ChooseInput(const std::filesystem::path& path);
    void ChooseOutput(const std::filesystem::path& path);

    TempDir dir;
    QTemporaryDir profileDir;
    RecordingBoxes boxes;
    ScriptedFileDialogs files;
    Profile profile;
    TestAudioOut audio;
    RecordingUrls urls;
    TestAudioDevices devices;
    std::unique_ptr<MainWindow> window;
};

QString Q(const std::filesystem::path& path);

// What a write of input in mode 2 with the trackbars at positions must write.
Bytes ModeTwoWrite(const Bytes& input, const Positions& positions = {});

// Spins the event loop until done() or the time is up.
template <typename Done>
bool PumpUntil(Done done, std::chrono::seconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
