#include "ui/profile.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include "ui/message_boxes.h"

QString Profile::GetString(const QString& section, const QString& entry,
                           const QString& defaultValue) const {
    const QSettings settings(m_path, QSettings::IniFormat);
    return settings.value(section + '/' + entry, defaultValue).toString();
}

bool Profile::WriteString(const QString& section, const QString& entry, const QString& value) {
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        return false;
    }
    QSettings settings(m_path, QSettings::IniFormat);
    settings.setValue(section + '/' + entry, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString DefaultProfilePath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(folder).filePath(AppDisplayName() + QStringLiteral(".ini"));
}
