#include "current_directory.h"

#include <QFile>
#include <filesystem>
#include <system_error>

QString CurrentDirectory() {
    std::error_code ec;
    return QFile::decodeName(std::filesystem::current_path(ec).string().c_str());
}

void SetCurrentDirectory(const QString& dir) {
    std::error_code ec;
    std::filesystem::current_path(QFile::encodeName(dir).toStdString(), ec);
}
