#include <QApplication>
#include <QLocale>
#include <cstdio>

#include "command_line.h"
#include "render_pool.h"
#include "ui_language.h"
#include "wave_app.h"

int main(int argc, char** argv) {
    const StartRequest request =
        ParseCommandLine(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    switch (request.action) {
        case StartRequest::Action::PrintHelp:
            std::fputs(qPrintable(HelpText()), stdout);
            return 0;
        case StartRequest::Action::PrintVersion:
            std::fputs(qPrintable(VersionText()), stdout);
            return 0;
        case StartRequest::Action::Refuse:
            std::fprintf(stderr, "zerbex2: %s\n%s", qPrintable(request.message),
                         qPrintable(UsageHint()));
            return request.exitStatus;
        case StartRequest::Action::OpenWindow:
            break;
    }
    // Qt sees only the program's own name: its options are not the program's.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(ZERBEX_APP_ID));
    InstallUiLanguage(application, QLocale::system().uiLanguages());
    // The segments of a write job run on every core, and no pool takes more.
    const ThreadAllowance threads(RenderPool::CoreCount());
    RunProgram(request.input);
    return 0;
}
