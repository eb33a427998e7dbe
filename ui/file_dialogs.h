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
    QString filter = QStringLiteral("Wave Files (*.wav)");  // the one selected first
    QStringList otherFilters;                               // offered after it
};

// Every kind of file the program reads, the default filter of the input dialog.
QString AudioFilesFilter();

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
