#pragma once

#include <QString>
#include <memory>

class QMessageBox;

// Message-box types and answers, combined and compared as the window's commands use them.
enum MessageBoxType : unsigned {
    MB_OK = 0x0,
    MB_YESNO = 0x4,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
};
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

struct MessageBoxRequest {
    QString caption;
    QString text;
    unsigned type = MB_OK;
};

// Every message box of the program goes through this, so that tests can answer it.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // Shows the box modally; returns IDOK, IDYES or IDNO.
    virtual int Show(const MessageBoxRequest& request) = 0;
};

class QtMessageBoxes : public MessageBoxes {
  public:
    int Show(const MessageBoxRequest& request) override;
};

// The box QtMessageBoxes shows, built but not yet shown.
std::unique_ptr<QMessageBox> BuildMessageBox(const MessageBoxRequest& request);

// The program's display name, the caption of every message box: the executable's file name
// without its extension.
QString AppDisplayName();
