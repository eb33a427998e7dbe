#include "app/command_line.h"

#include <QFile>
#include <QFileInfo>

namespace {

StartRequest Refuse(const QString& message, int exitStatus) {
    return {StartRequest::Action::Refuse, {}, message, exitStatus};
}

bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

}  // namespace

StartRequest ParseCommandLine(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (optionsEnded || !IsOption(arg)) {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            return StartRequest{StartRequest::Action::PrintHelp, {}, {}, 0};
        } else if (arg == "--version") {
            return StartRequest{StartRequest::Action::PrintVersion, {}, {}, 0};
        } else {
            return Refuse(QStringLiteral("unknown option '%1'").arg(QString::fromStdString(arg)),
                          2);
        }
    }
    if (files.size() > 1) {
        return Refuse(QStringLiteral("only one FILE may be given"), 2);
    }
    if (files.empty()) {
        return {};
    }
    // Made absolute now: the window shows it, and remembers its folder, as a full path.
    const QFileInfo file(QFile::decodeName(QByteArray::fromStdString(files.front())));
    if (!file.isFile()) {
        return Refuse(QStringLiteral("'%1' is not a file").arg(file.filePath()), 1);
    }
    return {StartRequest::Action::OpenWindow, file.absoluteFilePath(), {}, 0};
}

QString HelpText() {
    return QStringLiteral(
        "Usage: zerbex2 [FILE]\n"
        "Opens the Zerbex 2 vocal-removal window; FILE, an audio file (WAV, FLAC, MP3,\n"
        "AAC, Ogg, Opus or another that FFmpeg reads), is selected as its input.\n"
        "\n"
        "  -h, --help     show this help and exit\n"
        "      --version  show the version and exit\n");
}

QString VersionText() {
    return QStringLiteral("zerbex2 " ZERBEX_VERSION "\n");
}

QString UsageHint() {
    return QStringLiteral("Usage: zerbex2 [FILE]\nTry 'zerbex2 --help' for more information.\n");
}
