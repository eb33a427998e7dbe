#pragma once

#include <QString>

// The program's remembered settings: an INI file named after the executable.
class Profile {
  public:
    explicit Profile(QString path) : m_path(std::move(path)) {}

    QString GetString(const QString& section, const QString& entry,
                      const QString& defaultValue) const;
    // False when the file could not be written.
    bool WriteString(const QString& section, const QString& entry, const QString& value);
    const QString& Path() const { return m_path; }

  private:
    QString m_path;
};

// <configuration folder>/<executable name>.ini, the folder being $XDG_CONFIG_HOME or
// ~/.config.
QString DefaultProfilePath();
