#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "file_dialogs.h"
#include "main_dialog.h"
#include "message_boxes.h"
#include "profile.h"

// Creates the one QApplication of a test process (offscreen unless a platform was chosen).
void EnsureApplication();

// Message boxes that record what they were asked and answer from a script.
class RecordingBoxes : public MessageBoxes {
  public:
    int Show(const MessageBoxRequest& request) override;

    std::vector<MessageBoxRequest> shown;
    std::vector<int> answers;  // given in turn; IDOK or IDYES when they run out
    // Runs while a box is open, as the user's clicks would in the box's own event loop.
    std::function<void(const MessageBoxRequest&)> whileOpen;
};

// File dialogs that answer from a script.
class ScriptedFileDialogs : public FileDialogs {
  public:
    std::optional<QString> Choose(const FileDialogRequest& request) override;

    std::vector<FileDialogRequest> requests;
    std::vector<std::optional<QString>> answers;
};

// A main window over test doubles, with a profile in a temporary folder.
struct DialogFixture {
    DialogFixture();
    ~DialogFixture();

    RecordingBoxes boxes;
    ScriptedFileDialogs files;
    QString profileDir;
    Profile profile;
    std::unique_ptr<MainDialog> dialog;

    std::vector<QString> Texts() const;
};
