#include "ui/message_boxes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

void MessageBoxes::Tell(const QString& text, MessageIcon icon) {
    Show({AppDisplayName(), text, icon, false});
}

bool MessageBoxes::AskYesNo(const QString& text) {
    return Show({AppDisplayName(), text, MessageIcon::None, true});
}

std::unique_ptr<QMessageBox> BuildMessageBox(const MessageBoxRequest& request) {
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(request.caption);
    box->setText(request.text);
    box->setTextFormat(Qt::PlainText);
    // In the order of MessageIcon.
    constexpr QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                            QMessageBox::Warning};
    box->setIcon(kIcons[static_cast<int>(request.icon)]);
    const QMessageBox::StandardButton first = request.question ? QMessageBox::Yes : QMessageBox::Ok;
    box->setStandardButtons(request.question ? first | QMessageBox::No : first);
    box->setDefaultButton(first);
    return box;
}

bool QtMessageBoxes::Show(const MessageBoxRequest& request) {
    const int answer = BuildMessageBox(request)->exec();
    return !request.question || answer == QMessageBox::Yes;
}

std::optional<QString> QtMessageBoxes::AskText(const QString& label) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(nullptr, AppDisplayName(), label, QLineEdit::Normal, QString(), &ok);
    return ok ? std::optional<QString>(text) : std::nullopt;
}

QString AppDisplayName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}
