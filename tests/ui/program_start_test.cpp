// Starting the window program: its command line, a FILE selected as if chosen in the input
// dialog, and where the program finds its manual in the build tree and when installed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>

#include "command_line.h"
#include "manual_path.h"
#include "profile.h"
#include "ui_test_support.h"
#include "wav_builder.h"
#include "wave_app.h"

namespace fs = std::filesystem;

namespace {

TEST(ProgramStart, CommandLineOpensOneFileOrPrintsOrRefuses) {
    using Action = StartRequest::Action;
    TempDir dir;
    WriteFile(dir / "song.wav", SimpleWav(TestSignal(10)));
    WriteFile(dir / "-dashed.wav", SimpleWav(TestSignal(10)));
    // Names relative to where the program was started, as typed in a terminal.
    const fs::path startDir = fs::current_path();
    fs::current_path(dir.Path());
    struct Case {
        std::vector<std::string> args;
        Action action;
        QString input;   // OpenWindow
        int exitStatus;  // Refuse
    };
    const std::vector<Case> cases = {
        {{}, Action::OpenWindow, {}, 0},
        {{"song.wav"}, Action::OpenWindow, Q(dir / "song.wav"), 0},
        {{(dir / "song.wav").string()}, Action::OpenWindow, Q(dir / "song.wav"), 0},
        {{"--", "-dashed.wav"}, Action::OpenWindow, Q(dir / "-dashed.wav"), 0},
        {{"--help"}, Action::PrintHelp, {}, 0},
        {{"-h", "-platform"}, Action::PrintHelp, {}, 0},
        {{"--version"}, Action::PrintVersion, {}, 0},
        {{"-platform", "none"}, Action::Refuse, {}, 2},
        {{"song.wav", "song.wav"}, Action::Refuse, {}, 2},
        {{"-dashed.wav"}, Action::Refuse, {}, 2},
        {{"missing.wav"}, Action::Refuse, {}, 1},
        {{"."}, Action::Refuse, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args.back());
        const StartRequest request = ParseCommandLine(c.args);
        EXPECT_EQ(request.action, c.action);
        EXPECT_EQ(request.input, c.input);
        if (c.action == Action::Refuse) {
            EXPECT_EQ(request.exitStatus, c.exitStatus);
            EXPECT_FALSE(request.message.isEmpty());
        }
    }
    fs::current_path(startDir);
}

TEST(ProgramStart, FileArgumentIsTheStartedWindowsInputAndItsFolderIsRemembered) {
    EnsureApplication();
    TempDir dir;
    fs::create_directory(dir / "music");
    const fs::path song = dir / "music" / "song.wav";
    WriteFile(song, SimpleWav(TestSignal(100)));
    QTemporaryDir config;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const fs::path startDir = fs::current_path();

    // A path relative to where the program was started, as typed in a terminal.
    fs::current_path(dir.Path());
    const StartRequest request = ParseCommandLine({"music/song.wav"});
    ASSERT_EQ(request.action, StartRequest::Action::OpenWindow);
    QString shown;
    QTimer::singleShot(0, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<MainWindow*>(widget)) {
                shown = window->Ui().inputPathEdit->text();
                window->reject();
            }
        }
    });
    RunProgram(request.input);
    fs::current_path(startDir);

    EXPECT_EQ(shown, Q(song));
    EXPECT_EQ(Profile(DefaultProfilePath()).GetString("Default", "Path", ""), Q(dir / "music"));
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST(ProgramStart, ManualIsFoundBesideTheProgramElseInTheInstalledTree) {
    const std::string beside = "bin/manual/zerbex2manual.pdf";
    const std::string installed = "share/doc/zerbex2/zerbex2manual.pdf";
    struct Case {
        std::vector<std::string> present;
        std::string found;
    };
    const std::vector<Case> cases = {
        {{}, beside},
        {{beside}, beside},
        {{installed}, installed},
        {{installed, beside}, beside},
    };
    for (const Case& c : cases) {
        TempDir root;
        fs::create_directory(root / "bin");
        for (const std::string& file : c.present) {
            fs::create_directories((root / file).parent_path());
            WriteFile(root / file, Bytes{'%'});
        }
        EXPECT_EQ(FindManual(Q(root / "bin")), Q(root / c.found)) << c.present.size();
    }
}

}  // namespace
