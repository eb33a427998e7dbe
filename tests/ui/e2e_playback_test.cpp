// The real program's parts end to end on a virtual display: the real window, the real
// file dialog, PortAudio into an ALSA device that captures what is played at a sound card's
// pace. Choose the input, play mode 2, move the pan, stop; and a file that is decoded first.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "alsa_capture.h"
#include "bitmap_button.h"
#include "command.h"
#include "e2e_support.h"
#include "resource_ids.h"
#include "trackbar_slider.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Whether what was played starts with the input's first block in mode 2 at the start-up
// positions, byte for byte.
::testing::AssertionResult FirstBlockIsModeTwoAtStartUp(const fs::path& capture,
                                                        const fs::path& input) {
    CapturedSound captured;
    if (::testing::AssertionResult read = ReadCapture(capture, captured); !read) {
        return read;
    }
    const Bytes processed = ModeTwoWrite(ReadFile(input));
    const Bytes first(processed.begin() + 44, processed.begin() + 44 + 44100);
    const std::size_t heard = FirstSoundingFrame(captured.sound, 4);
    const std::size_t expected = FirstSoundingFrame(first, 4);
    const auto at = static_cast<std::ptrdiff_t>(heard);
    if (captured.sound.size() < heard + first.size() - expected ||
        !std::equal(first.begin() + static_cast<std::ptrdiff_t>(expected), first.end(),
                    captured.sound.begin() + at)) {
        return ::testing::AssertionFailure() << "the first block was not played as written";
    }
    return ::testing::AssertionSuccess();
}

// Answers the next real file dialog by typing a path into its name box and pressing
// Enter, as a user would.
void AnswerNextFileDialog(const QString& path) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
        if (name == nullptr || !name->isVisible()) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        name->setFocus();
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    });
    poll->start(20);
}

TEST(EndToEnd, PlayModeTwoMoveAPanAndStopThroughTheRealWindowAndDevice) {
    TempDir dir;
    const fs::path capture = UseCaptureDevice(dir);

    const fs::path inputPath = dir / "song.wav";
    WriteFile(inputPath, SimpleWav(TestSignal(44100 * 20)));

    RealWindow real(dir);
    MainWindow& window = real.window;
    const MainWindowUi& ui = window.Ui();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    MessageBoxWatch unexpected;

    AnswerNextFileDialog(QString::fromStdString(inputPath.string()));
    QTest::mouseClick(ui.selectInputButton, Qt::LeftButton);
    ASSERT_EQ(ui.inputPathEdit->text(), QString::fromStdString(inputPath.string()));

    QTest::mouseClick(ui.playMode2Button, Qt::LeftButton);
    EXPECT_EQ(ui.playMode2Button->ImageId(), IDB_WIDE_STOP);
    // Half a second of sound before the pan moves.
    ASSERT_TRUE(PumpUntil([&] { return SizeOf(capture) >= kBytesPerSecond / 2; }, 30s));
    ui.Slider(Knob::Pan)->setFocus();
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(ui.Slider(Knob::Pan), Qt::Key_Right);
    }
    EXPECT_EQ(ui.Slider(Knob::Pan)->value(), 10);
    EXPECT_EQ(window.Controls().params.panGainL, PanMapping(10).gainL);
    ASSERT_TRUE(PumpUntil([&] { return SizeOf(capture) >= kBytesPerSecond; }, 30s));

    QTest::mouseClick(ui.playMode2Button, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }, 30s));
    EXPECT_EQ(ui.playMode2Button->ImageId(), IDB_PLAY_MODE2_IDLE);
    EXPECT_EQ(window.MeterImage(), IDB_METER_DARK);

    // What was played starts with mode 2 at the start-up positions, byte for byte.
    std::this_thread::sleep_for(300ms);  // the sink writes out its last bytes
    EXPECT_TRUE(FirstBlockIsModeTwoAtStartUp(capture, inputPath));
    EXPECT_GE(SizeOf(capture), static_cast<std::size_t>(kBytesPerSecond));
    EXPECT_TRUE(unexpected.texts.empty()) << unexpected.texts.front().toStdString();
    window.reject();
}

// A file that is decoded first plays through the window as any WAV does: a FLAC file holds
// the same samples as the WAV it was made from, so the window plays what render writes.
TEST(EndToEnd, DecodedFilePlaysThroughTheRealWindow) {
    TempDir dir;
    const fs::path capture = UseCaptureDevice(dir);
    ::setenv("XDG_CACHE_HOME", dir.Path().c_str(), 1);
    WriteFile(dir / "song.wav", SimpleWav(TestSignal(44100 * 5)));
    const fs::path flac = dir / "song.flac";
    ASSERT_EQ(
        RunCommand({"ffmpeg", "-v", "error", "-i", (dir / "song.wav").string(), flac.string()})
            .exitCode,
        0);

    RealWindow real(dir);
    MainWindow& window = real.window;
    const MainWindowUi& ui = window.Ui();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    MessageBoxWatch unexpected;
    window.SelectInputFile(QString::fromStdString(flac.string()));
    ASSERT_EQ(ui.inputPathEdit->text(), QString::fromStdString(flac.string()));

    QTest::mouseClick(ui.playMode2Button, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return SizeOf(capture) >= kBytesPerSecond / 2; }, 30s));
    QTest::mouseClick(ui.playMode2Button, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }, 30s));
    std::this_thread::sleep_for(300ms);  // the sink writes out its last bytes
    EXPECT_TRUE(FirstBlockIsModeTwoAtStartUp(capture, dir / "song.wav"));
    EXPECT_TRUE(unexpected.texts.empty()) << unexpected.texts.front().toStdString();
    window.reject();
}

}  // namespace
