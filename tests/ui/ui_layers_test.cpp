// The replaceable layers under the window, the worker threads and the program's run.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <thread>

#include "resource_ids.h"
#include "ui_test_support.h"
#include "wave_app.h"

namespace {

TEST(MessageBoxLayer, BuildsTheBoxTheTypeAsksFor) {
    EnsureApplication();
    auto ok = BuildMessageBox({"zerbex2", "Done processing file!", MB_ICONINFORMATION});
    EXPECT_EQ(ok->windowTitle(), "zerbex2");
    EXPECT_EQ(ok->text(), "Done processing file!");
    EXPECT_EQ(ok->icon(), QMessageBox::Information);
    EXPECT_EQ(ok->standardButtons(), QMessageBox::Ok);

    auto question = BuildMessageBox({"zerbex2", "Do you wish to create a new file?", MB_YESNO});
    EXPECT_EQ(question->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question->defaultButton(), question->button(QMessageBox::Yes));
    EXPECT_EQ(question->icon(), QMessageBox::NoIcon);

    auto warning = BuildMessageBox({"zerbex2", "x", MB_ICONEXCLAMATION});
    EXPECT_EQ(warning->icon(), QMessageBox::Warning);
}

TEST(MessageBoxLayer, WindowBoxesCarryTheExecutableNameAndReturnTheAnswer) {
    DialogFixture f;
    EXPECT_EQ(AppDisplayName(), "ui_tests");
    f.boxes.answers = {IDNO, IDYES};
    EXPECT_EQ(f.dialog->MessageBox("This command will overwrite the output file. Are you sure?",
                                   MB_YESNO),
              IDNO);
    EXPECT_EQ(f.dialog->MessageBox("Do you wish to create a new file?", MB_YESNO), IDYES);
    ASSERT_EQ(f.boxes.shown.size(), 2u);
    for (const MessageBoxRequest& request : f.boxes.shown) {
        EXPECT_EQ(request.caption, "ui_tests");
        EXPECT_EQ(request.type, unsigned(MB_YESNO));
    }
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

// Threads of this process, leaving out Qt's own pool, whose idle threads expire by themselves.
int ThreadCount() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        QFile comm(QString::fromStdString((entry.path() / "comm").string()));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("Thread (pooled)")) {
            continue;
        }
        ++count;
    }
    return count;
}

TEST(Program, ClosingTheWindowEndsTheRunWithNoWorkerLeft) {
    EnsureApplication();
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    // A sanitizer starts a thread of its own with the first thread of the process.
    std::thread([] {}).join();
    const int before = ThreadCount();
    std::atomic<int> calls{0};
    // Once the window runs: a worker keeps calling it, then the exit button is clicked.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<MainDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->Workers().Start([&calls, dialog] {
            while (!dialog->State().m_bStopRequest) {
                dialog->ShowMeter(kMeterBitmaps[++calls % 9]);
            }
        });
        QTimer::singleShot(100, dialog, [dialog] {
            qobject_cast<QPushButton*>(dialog->GetDlgItem(IDCANCEL))->click();
        });
    });
    WaveApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_GT(calls, 0);
    EXPECT_EQ(ThreadCount(), before);
}

}  // namespace
