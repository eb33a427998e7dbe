#include "ui/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QHash>
#include <QLineEdit>
#include <QRegularExpression>

namespace {

// The formats the program writes, as the output dialog offers them; each names its
// extension.
constexpr const char* kOutputFilters[] = {
    "Wave Files (*.wav)",    "FLAC Files (*.flac)", "MP3 Files (*.mp3)",
    "M4A/AAC Files (*.m4a)", "Opus Files (*.opus)", "Ogg Vorbis Files (*.ogg)",
};

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

QStringList OutputFilters() {
    return QStringList(std::begin(kOutputFilters), std::end(kOutputFilters)) +
           QStringList{QStringLiteral("All Files (*)")};
}

QString OutputFilterFor(const QString& ext) {
    for (const char* filter : kOutputFilters) {
        if (ext.compare(FilterSuffix(QLatin1String(filter)), Qt::CaseInsensitive) == 0) {
            return QString::fromLatin1(filter);
        }
    }
    return QString::fromLatin1(kOutputFilters[0]);
}

QString FilterSuffix(const QString& filter) {
    static const QRegularExpression kSuffix(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
    return kSuffix.match(filter).captured(1);
}

QString ProposedOutputName(const QString& inputPath) {
    const QFileInfo input(inputPath);
    // Inputs whose kind the program writes under another extension.
    static const QHash<QString, QString> kAliases = {
        {QStringLiteral("aac"), QStringLiteral("m4a")},
        {QStringLiteral("oga"), QStringLiteral("ogg")}};
    const QString suffix = input.suffix().toLower();
    return input.completeBaseName() + QStringLiteral("-karaoke.") +
           FilterSuffix(OutputFilterFor(kAliases.value(suffix, suffix)));
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
    // A name typed without an extension takes the one of the filter chosen.
    const auto suffixFor = [fallback = request.defaultSuffix](const QString& filter) {
        const QString suffix = FilterSuffix(filter);
        return suffix.isEmpty() ? fallback : suffix;
    };
    QObject::connect(dialog.get(), &QFileDialog::filterSelected, dialog.get(),
                     [raw = dialog.get(), suffixFor](const QString& filter) {
                         raw->setDefaultSuffix(suffixFor(filter));
                     });
    const QString selected =
        request.selectedFilter.isEmpty() ? request.filter : request.selectedFilter;
    dialog->setDefaultSuffix(suffixFor(selected));
    dialog->selectNameFilter(selected);
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
