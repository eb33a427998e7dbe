// Starting the window program: its command line, a FILE selected as if chosen in the input
// dialog, and where the program finds its manual in the build tree and when installed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>

#include "app/command_line.h"
#include "app/wave_app.h"
#include "tests/test_support/command.h"
#include "tests/test_support/wav_builder.h"
#include "tests/ui/ui_test_support.h"
#include "ui/manual_path.h"
#include "ui/profile.h"

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

// The program itself: Qt's standard options are Qt's, and what needs no window needs no
// display either.
TEST(ProgramStart, QtOptionsAreQtsAndUsageNeedsNoDisplay) {
    const std::vector<std::string> headless = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> env;
        int exitStatus;
        const char* out;
        const char* err;
    } cases[] = {
        {{"-platform", "offscreen", "-style", "Fusion", "-reverse", "--version"},
         {},
         0,
         "zerbex2 ",
         ""},
        {{"-style=Fusion", "--help"}, {"QT_QPA_PLATFORM=offscreen"}, 0, "Usage: zerbex2", ""},
        {{"--help"}, headless, 0, "Usage: zerbex2", ""},
        {{"--bogus"}, headless, 2, "", "unknown option '--bogus'"},
        {{"-platform", "offscreen", "-bogus"}, {}, 2, "", "unknown option '-bogus'"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {ZERBEX_GUI};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const CommandResult r = RunCommand(argv, c.env);
        EXPECT_EQ(r.exitCode, c.exitStatus) << c.args.back() << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << c.args.back() << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args.back() << r.err;
    }
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
                window->close();
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
