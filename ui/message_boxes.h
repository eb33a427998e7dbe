#pragma once

#include <QString>
#include <memory>
#include <optional>

class QMessageBox;

enum class MessageIcon { None, Information, Warning };

struct MessageBoxRequest {
    QString caption;
    QString text;
    MessageIcon icon = MessageIcon::None;
    bool question = false;  // Yes and No instead of OK
};

// Every message box of the program goes through this, so that tests can answer it.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // Shows the box modally; for a question, whether the user answered yes.
    virtual bool Show(const MessageBoxRequest& request) = 0;
    // Asks for a line of text, label saying what for; nothing when cancelled.
    virtual std::optional<QString> AskText(const QString& label) = 0;

    // A box with OK, the program's display name as its caption.
    void Tell(const QString& text, MessageIcon icon = MessageIcon::None);
    bool AskYesNo(const QString& text);
};

class QtMessageBoxes : public MessageBoxes {
  public:
    bool Show(const MessageBoxRequest& request) override;
    std::optional<QString> AskText(const QString& label) override;
};

// The box QtMessageBoxes shows, built but not yet shown.
std::unique_ptr<QMessageBox> BuildMessageBox(const MessageBoxRequest& request);

// The program's display name, the caption of every message box: the executable's file name
// without its extension.
QString AppDisplayName();
