#include <QApplication>
#include <QLocale>
#include <algorithm>
#include <csignal>
#include <cstdio>

#include "app/command_line.h"
#include "app/wave_app.h"
#include "jobs/threads.h"
#include "ui/ui_language.h"

namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
    return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

// Prints the help, the version or the refusal; false when the window is to open.
bool Answered(const StartRequest& request) {
    if (request.action == StartRequest::Action::OpenWindow) {
        return false;
    }
    std::fputs(qPrintable(request.message),
               request.action == StartRequest::Action::Refuse ? stderr : stdout);
    return true;
}

// Qt's own options (-style, -platform, -reverse ...) all have a single dash.
bool MayBeQtOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-' && arg[1] != '-';
}

}  // namespace

int main(int argc, char** argv) {
    // A write past a file-size limit (ulimit -f) fails with "File too large", told in a box,
    // instead of ending the window and leaving the write's temporary file.
    std::signal(SIGXFSZ, SIG_IGN);
    // Answered before Qt starts where Qt has no say, so that no display is needed for them.
    const std::vector<std::string> args = Arguments(argc, argv);
    const StartRequest early = ParseCommandLine(args);
    if (early.action != StartRequest::Action::Refuse ||
        std::none_of(args.begin(), args.end(), MayBeQtOption)) {
        if (Answered(early)) {
            return early.exitStatus;
        }
    }
    // Qt takes its standard options out of argv; what is left is ours.
    QApplication application(argc, argv);
    const StartRequest request = ParseCommandLine(Arguments(argc, argv));
    if (Answered(request)) {
        return request.exitStatus;
    }
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(ZERBEX_APP_ID));
    InstallUiLanguage(application, QLocale::system().uiLanguages());
    // The segments of a write job run on every core, and no pool takes more.
    const ThreadAllowance threads(CoreCount());
    RunProgram(request.input);
    return 0;
}
