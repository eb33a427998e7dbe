#include "ui/manual_path.h"

#include <QDir>
#include <QFileInfo>

QString FindManual(const QString& programDir, const QString& name) {
    const QDir dir(programDir);
    const QString beside = dir.filePath(QStringLiteral("manual/") + name);
    const QString installed =
        QDir::cleanPath(dir.filePath(QStringLiteral(ZERBEX_DOC_FROM_BIN "/") + name));
    // The one beside the program comes first, and stands for both when neither is there.
    return QFileInfo(installed).isFile() && !QFileInfo(beside).isFile() ? installed : beside;
}
