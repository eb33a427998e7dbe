#include "file_dialogs.h"

#include <QDir>
#include <QFileDialog>

std::unique_ptr<QFileDialog> BuildFileDialog(const FileDialogRequest& request) {
    const QString directory = request.directory.isEmpty() ? QDir::currentPath() : request.directory;
    auto dialog = std::make_unique<QFileDialog>(nullptr, QString(), directory, request.filter);
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // The open dialog accepts a name that does not exist yet; the job reports it later.
    dialog->setFileMode(QFileDialog::AnyFile);
    // Overwriting is asked about by the write command itself.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setDefaultSuffix(request.defaultSuffix);
    dialog->selectNameFilter(request.filter);
    dialog->selectFile(request.initialName);
    return dialog;
}

std::optional<QString> QtFileDialogs::Choose(const FileDialogRequest& request) {
    const std::unique_ptr<QFileDialog> dialog = BuildFileDialog(request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QDir::cleanPath(QFileInfo(dialog->selectedFiles().first()).absoluteFilePath());
}
