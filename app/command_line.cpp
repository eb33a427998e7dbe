#include "app/command_line.h"

#include <QFile>
#include <QFileInfo>

namespace {

using Action = StartRequest::Action;

constexpr char kHelpText[] =
    "Usage: zerbex2 [FILE]\n"
    "Opens the Zerbex 2 vocal-removal window; FILE, an audio file (WAV, FLAC, MP3,\n"
    "AAC, Ogg, Opus or another that FFmpeg reads), is selected as its input.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n";

// What is printed instead of opening the window.
StartRequest Answer(Action action, const QString& text, int exitStatus = 0) {
    return {action, {}, text, exitStatus};
}

StartRequest Refuse(const QString& what, int exitStatus) {
    return Answer(Action::Refuse,
                  QStringLiteral("zerbex2: %1\nUsage: zerbex2 [FILE]\nTry 'zerbex2 --help' for "
                                 "more information.\n")
                      .arg(what),
                  exitStatus);
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
            return Answer(Action::PrintHelp, QString::fromLatin1(kHelpText));
        } else if (arg == "--version") {
            return Answer(Action::PrintVersion, QStringLiteral("zerbex2 " ZERBEX_VERSION "\n"));
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
    return {Action::OpenWindow, file.absoluteFilePath(), {}, 0};
}
