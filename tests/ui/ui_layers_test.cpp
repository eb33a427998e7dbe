// The replaceable layers under the window, the worker threads and the program's run.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "app/wave_app.h"
#include "tests/test_support/cache_home.h"
#include "tests/test_support/command.h"
#include "tests/ui/ui_test_support.h"
#include "ui/bitmap_button.h"
#include "ui/job_progress.h"
#include "ui/worker_threads.h"

namespace {

// The window RunMainWindow shows.
MainWindow* RunningWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<MainWindow*>(widget); window && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

TEST(MessageBoxLayer, BuildsTheBoxTheRequestAsksFor) {
    EnsureApplication();
    const struct {
        MessageBoxRequest request;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    } cases[] = {
        {{"zerbex2", "Done processing file!", MessageIcon::Information},
         QMessageBox::Information,
         QMessageBox::Ok},
        {{"zerbex2", "Please enter a number.", MessageIcon::Warning},
         QMessageBox::Warning,
         QMessageBox::Ok},
        {{"zerbex2", "Do you wish to create a new file?", MessageIcon::None, true},
         QMessageBox::NoIcon,
         QMessageBox::Yes | QMessageBox::No},
    };
    for (const auto& c : cases) {
        const auto box = BuildMessageBox(c.request);
        EXPECT_EQ(box->windowTitle(), "zerbex2");
        EXPECT_EQ(box->text(), c.request.text);
        EXPECT_EQ(box->icon(), c.icon);
        EXPECT_EQ(box->standardButtons(), c.buttons);
        // Yes or OK is the default, whichever the box has.
        EXPECT_EQ(box->defaultButton(), box->buttons().front());
    }
}

TEST(MessageBoxLayer, ToldAndAskedBoxesCarryTheExecutableNameAndReturnTheAnswer) {
    EnsureApplication();
    RecordingBoxes boxes;
    EXPECT_EQ(AppDisplayName(), "ui_tests");
    boxes.answers = {false, true};
    EXPECT_FALSE(boxes.AskYesNo("This command will overwrite the output file. Are you sure?"));
    boxes.Tell("Done processing file!", MessageIcon::Information);
    EXPECT_TRUE(boxes.AskYesNo("Do you wish to create a new file?"));
    ASSERT_EQ(boxes.shown.size(), 3u);
    for (const MessageBoxRequest& request : boxes.shown) {
        EXPECT_EQ(request.caption, "ui_tests");
    }
    EXPECT_TRUE(boxes.shown[0].question);
    EXPECT_FALSE(boxes.shown[1].question);
}

TEST(FileDialogLayer, BuildsAWaveFileDialogInTheCurrentDirectory) {
    EnsureApplication();
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    auto dialog = BuildFileDialog(request);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->nameFilters(), QStringList{"Wave Files (*.wav)"});
    EXPECT_EQ(dialog->defaultSuffix(), "wav");
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir::current().canonicalPath());
}

TEST(ProfileFile, LivesInTheConfigFolderNamedAfterTheExecutable) {
    EnsureApplication();
    QTemporaryDir config;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString path = DefaultProfilePath();
    qputenv("XDG_CONFIG_HOME", saved);
    EXPECT_EQ(path, QDir(config.path()).filePath("ui_tests.ini"));

    Profile profile(path);
    EXPECT_EQ(profile.GetString("Default", "Path", "home"), "home");
    ASSERT_TRUE(profile.WriteString("Default", "Path", "/music/wav files"));
    EXPECT_EQ(Profile(path).GetString("Default", "Path", "home"), "/music/wav files");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("[Default]")) << text.toStdString();
    EXPECT_TRUE(text.contains("Path=/music/wav files")) << text.toStdString();
}

TEST(ProfileFile, ReportsAFolderItCannotWrite) {
    EnsureApplication();
    QTemporaryDir dir;
    QFile blocker(QDir(dir.path()).filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    Profile profile(QDir(dir.path()).filePath("file/sub/zerbex2.ini"));
    EXPECT_FALSE(profile.WriteString("Default", "Path", "/x"));
}

TEST(Workers, AreAllJoinedAndRefusedOnceClosed) {
    WorkerThreads workers;
    std::atomic<int> ran{0};
    std::atomic<bool> second{false};
    // A worker that starts its successor, as a repeating playback does.
    ASSERT_TRUE(workers.Start([&] {
        ++ran;
        second = workers.Start([&] { ++ran; });
    }));
    while (!second || !workers.AllFinished()) {
        std::this_thread::yield();
    }
    EXPECT_EQ(ran, 2);
    workers.Close();
    EXPECT_TRUE(workers.Closed());
    EXPECT_FALSE(workers.Start([&] { ++ran; }));
    workers.JoinAll();
    EXPECT_EQ(ran, 2);
}

// A job the window waits for shows no dialog when it ends at once; one that goes on shows a
// progress dialog after half a second, whose Cancel sets the job's stop request.
TEST(JobProgressDialog, ShowsAfterHalfASecondAndCancelStopsTheJob) {
    EnsureApplication();
    QWidget window;
    window.show();
    WorkerThreads workers;
    std::stop_source stop;
    {
        JobProgress progress(window, "Working...", stop);
        bool ran = false;
        ASSERT_TRUE(progress.Run(workers, [&] { ran = true; }));
        EXPECT_TRUE(ran);
    }
    EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr) << "gone with its job";

    JobProgress progress(window, "Working...", stop);
    QElapsedTimer clock;
    qint64 shownAfter = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = window.findChild<QProgressDialog*>();
        if (dialog != nullptr && dialog->isVisible() && shownAfter < 0) {
            shownAfter = clock.elapsed();
            EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
            progress.SetDone(0.25);
            EXPECT_EQ(dialog->value(), 250);
            dialog->findChild<QPushButton*>()->click();
        }
    });
    poll.start(10);
    clock.start();
    std::atomic<bool> ended{false};
    ASSERT_TRUE(progress.Run(workers, [&] {
        while (!stop.stop_requested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // A job takes a while to wind down after Cancel, and Run still waits for it.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ended = true;
    }));
    EXPECT_TRUE(ended);
    EXPECT_GE(shownAfter, JobProgress::kDelayMs);
    EXPECT_TRUE(stop.stop_requested());

    workers.Close();
    bool ran = false;
    EXPECT_FALSE(progress.Run(workers, [&] { ran = true; }));
    EXPECT_FALSE(ran);
}

// Threads of this process, leaving out Qt's own pool, whose idle threads expire by themselves.
// The process's threads by id, but Qt's pooled ones, which it keeps for reuse.
std::set<std::string> Threads() {
    std::set<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        QFile comm(QString::fromStdString((entry.path() / "comm").string()));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("Thread (pooled)")) {
            continue;
        }
        ids.insert(entry.path().filename().string());
    }
    return ids;
}

// Whether every thread of now was there before: one that was may have ended meanwhile.
bool NoNewThread(const std::set<std::string>& before, const std::set<std::string>& now) {
    return std::includes(before.begin(), before.end(), now.begin(), now.end());
}

// Closing the window while it plays ends the run with no thread of the window's left.
TEST(Program, ClosingTheWindowWhilePlayingEndsTheRunWithNoThreadLeft) {
    EnsureApplication();
    TempDir dir;
    WriteFile(dir / "long.wav", SimpleWav(TestSignal(44100 * 30)));
    RecordingBoxes boxes;
    ScriptedFileDialogs files;
    Profile profile(QString::fromStdString((dir / "zerbex2.ini").string()));
    TestAudioOut audio(std::chrono::milliseconds(5));
    // A sanitizer starts a thread of its own with the first thread of the process.
    std::thread([] {}).join();
    const std::set<std::string> before = Threads();
    std::set<std::string> during;
    // Once the window runs: play, then the exit button while the sound goes on.
    QTimer::singleShot(0, [&] {
        auto* window = RunningWindow();
        ASSERT_NE(window, nullptr);
        window->Ui().playMode2Button->click();
        ASSERT_TRUE(PumpUntil([&] { return audio.BlockSizes().size() >= 4; }));
        during = Threads();
        window->Ui().exitButton->click();
    });
    RunMainWindow(UiServices{boxes, files, profile, &audio},
                  QString::fromStdString((dir / "long.wav").string()));
    EXPECT_FALSE(NoNewThread(before, during)) << "the playback's worker and the device ran";
    EXPECT_TRUE(NoNewThread(before, Threads()));
    EXPECT_TRUE(boxes.shown.empty());
}

// Closing the window while an input is decoded ends the run at once, with no thread of the
// window's and no copy left.
TEST(Program, ClosingTheWindowWhileDecodingLeavesNoThreadAndNoCopy) {
    EnsureApplication();
    TempDir dir;
    const CacheHome cache(dir.Path());
    const std::filesystem::path song =
        EncodeWithFfmpeg(dir / "long.flac", "sine=d=300", {"-ac", "2"});
    RecordingBoxes boxes;
    ScriptedFileDialogs files;
    Profile profile(QString::fromStdString((dir / "zerbex2.ini").string()));
    TestAudioOut audio;
    std::thread([] {}).join();
    const std::set<std::string> before = Threads();
    bool copied = false;
    QTimer::singleShot(0, [&] {
        auto* window = RunningWindow();
        ASSERT_NE(window, nullptr);
        copied = PumpUntil([&] { return CopiesUnder(dir.Path()) == 1; });
        window->Ui().exitButton->click();
    });
    RunMainWindow(UiServices{boxes, files, profile, &audio}, QString::fromStdString(song.string()));
    EXPECT_TRUE(copied);
    EXPECT_TRUE(NoNewThread(before, Threads()));
    EXPECT_EQ(CopiesUnder(dir.Path()), 0u);
    EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
