#include "file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>

namespace {

// Whether a typed name is a pattern (wildcards) rather than a file's name.
bool IsNamePattern(const QString& typed) {
    return typed.contains(QLatin1Char('*')) || typed.contains(QLatin1Char('?'));
}

// Qt's own dialog takes whatever the name box holds as the file, "*.wav" included; the
// desktop dialogs it stands in for filter the listing by such a name instead.
class PatternFileDialog : public QFileDialog {
  public:
    using QFileDialog::QFileDialog;

    void accept() override {
        auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = name != nullptr ? name->text().trimmed() : QString();
        if (!IsNamePattern(typed)) {
            QFileDialog::accept();
            return;
        }
        QStringList filters = nameFilters();
        filters.removeAll(typed);
        filters.prepend(typed);
        setNameFilters(filters);
        selectNameFilter(typed);
        name->clear();
    }
};

}  // namespace

QString AudioFilesFilter() {
    return QStringLiteral(
        "Audio Files (*.wav *.mp3 *.flac *.m4a *.aac *.mp4 *.ogg *.oga *.opus *.aif *.aiff "
        "*.aifc *.wv *.caf *.wma *.ape *.mka *.ac3 *.mp2 *.au *.w64)");
}

std::unique_ptr<QFileDialog> BuildFileDialog(const FileDialogRequest& request) {
    const QString directory = request.directory.isEmpty() ? QDir::currentPath() : request.directory;
    auto dialog = std::make_unique<PatternFileDialog>(nullptr, QString(), directory);
    dialog->setNameFilters(QStringList{request.filter} + request.otherFilters);
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // The open dialog accepts a name that does not exist yet; the job reports it later.
    dialog->setFileMode(QFileDialog::AnyFile);
    // Overwriting is asked about by the write command itself.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setDefaultSuffix(request.defaultSuffix);
    // A name typed without an extension takes the one of the filter chosen.
    QObject::connect(dialog.get(), &QFileDialog::filterSelected, dialog.get(),
                     [raw = dialog.get(), fallback = request.defaultSuffix](const QString& filter) {
                         const bool flac = filter.contains(QStringLiteral("*.flac"));
                         raw->setDefaultSuffix(flac ? QStringLiteral("flac") : fallback);
                     });
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
