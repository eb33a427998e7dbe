#include "manual_path.h"

#include <QDir>
#include <QFileInfo>

QString FindManual(const QString& programDir) {
    const QDir dir(programDir);
    QString beside = dir.filePath(QStringLiteral("manual/zerbex2manual.pdf"));
    const QString installed =
        QDir::cleanPath(dir.filePath(QStringLiteral(ZERBEX_DOC_FROM_BIN "/zerbex2manual.pdf")));
    for (const QString& candidate : {beside, installed}) {
        if (QFileInfo(candidate).isFile()) {
            return candidate;
        }
    }
    return beside;
}
