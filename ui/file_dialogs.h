#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QFileDialog;

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    QString directory;  // where the dialog opens; empty for the current directory
    QString defaultSuffix = QStringLiteral("wav");
    QString initialName = QStringLiteral("*.wav");
    QString filter = QStringLiteral("Wave Files (*.wav)");  // offered first
    QString selectedFilter{};                               // selected first; empty: filter
    QStringList otherFilters;                               // offered after filter
};

// Every kind of file the program reads, the default filter of the input dialog.
QString AudioFilesFilter();

// The output dialog's filters: one for each format the program writes, WAV first, then all
// files.
QStringList OutputFilters();
// The output filter of extension ext ("mp3", any case); WAV's when no format has it.
QString OutputFilterFor(const QString& ext);
// The extension a filter gives a bare name ("mp3" for "MP3 Files (*.mp3)"); empty for one
// that names no extension.
QString FilterSuffix(const QString& filter);
// What the output dialog proposes for an input: "NAME-karaoke.EXT", EXT the input's own
// when the program writes that kind (.aac as .m4a, .oga as .ogg), else wav.
QString ProposedOutputName(const QString& inputPath);

// Every file dialog of the program goes through this, so that tests can answer it.
class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // Runs the dialog modally; the chosen file's full path, or nothing when cancelled.
    virtual std::optional<QString> Choose(const FileDialogRequest& request) = 0;
};

class QtFileDialogs : public FileDialogs {
  public:
    std::optional<QString> Choose(const FileDialogRequest& request) override;
};

// The dialog QtFileDialogs runs, built but not yet shown. A pattern typed as the name and
// confirmed filters the listing instead of choosing a file of that name.
std::unique_ptr<QFileDialog> BuildFileDialog(const FileDialogRequest& request);
