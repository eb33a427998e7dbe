#include "message_boxes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "resource_ids.h"

namespace {

constexpr unsigned kButtonsMask = 0xF;
constexpr unsigned kIconMask = 0xF0;

QMessageBox::Icon IconFor(unsigned type) {
    switch (type & kIconMask) {
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

std::unique_ptr<QMessageBox> BuildMessageBox(const MessageBoxRequest& request) {
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(request.caption);
    box->setText(request.text);
    box->setTextFormat(Qt::PlainText);
    box->setIcon(IconFor(request.type));
    if ((request.type & kButtonsMask) == MB_YESNO) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
    }
    return box;
}

int QtMessageBoxes::Show(const MessageBoxRequest& request) {
    const std::unique_ptr<QMessageBox> box = BuildMessageBox(request);
    const int answer = box->exec();
    if ((request.type & kButtonsMask) == MB_YESNO) {
        return answer == QMessageBox::Yes ? IDYES : IDNO;
    }
    return IDOK;
}

QString AppDisplayName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}
