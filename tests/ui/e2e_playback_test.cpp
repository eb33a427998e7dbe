// The real program's parts end to end on a virtual display: the real window, the real
// file dialog, PortAudio into an ALSA device that captures what is played at a sound card's
// pace. Choose the input, play mode 2, move the pan, stop; and a file that is decoded first.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "alsa_capture.h"
#include "command.h"
#include "job_runner.h"
#include "main_dialog.h"
#include "message_boxes.h"
#include "portaudio_backend.h"
#include "profile.h"
#include "resource_ids.h"
#include "slider_ctrl.h"
#include "ui_test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr long kBytesPerSecond = 44100 * 4;

template <typename Done>
bool PumpUntil(Done done, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::uintmax_t SizeOf(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

// Points ALSA's default device at a capture file in dir, paced at a sound card's rate.
fs::path UseCaptureDevice(const TempDir& dir) {
    const fs::path capture = dir / "capture.raw";
    const fs::path config = dir / "asound.conf";
    const std::string text = PacedFileDeviceConfig(capture, kBytesPerSecond, true);
    WriteFile(config, Bytes(text.begin(), text.end()));
    ::setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    return capture;
}

// Whether what was played starts with the input's first block in mode 2 at the start-up
// positions, byte for byte.
::testing::AssertionResult FirstBlockIsModeTwoAtStartUp(const Bytes& captured, const Bytes& input) {
    WindowState startUp;
    const Bytes processed = ExpectedWrite(input, startUp);
    const Bytes firstBlock(processed.begin() + 44, processed.begin() + 44 + 44100);
    const std::size_t end =
        std::min<std::size_t>(captured.size(), FirstSoundingFrame(captured, 4) + 44100);
    return PlayedExactly(
        Bytes(captured.begin(), captured.begin() + static_cast<std::ptrdiff_t>(end)), firstBlock);
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

// The program's window with the real message boxes, file dialogs and sound device, shown.
struct RealWindow {
    explicit RealWindow(const TempDir& dir)
        : profile(QString::fromStdString((dir / "zerbex2.ini").string())),
          window(UiServices{boxes, files, profile, &audio}) {
        window.show();
    }
    bool Idle() {
        return window.State().m_bPlaying == 0 && window.Workers().AllFinished() &&
               window.Phase() == JobPhase::Idle;
    }

    bool application = (EnsureApplication(), true);  // before any widget
    QtMessageBoxes boxes;
    QtFileDialogs files;
    Profile profile;
    PortAudioBackend audio;
    MainDialog window;
};

// Closes any message box that comes up, so that an unexpected one fails the test instead
// of waiting for a user who is not there.
class MessageBoxWatch {
  public:
    MessageBoxWatch() {
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts.push_back(box->text());
                box->done(QMessageBox::Ok);
            }
        });
        m_poll.start(50);
    }
    std::vector<QString> texts;

  private:
    QTimer m_poll;
};

TEST(EndToEnd, PlayModeTwoMoveAPanAndStopThroughTheRealWindowAndDevice) {
    TempDir dir;
    const fs::path capture = UseCaptureDevice(dir);

    const Bytes input = SimpleWav(TestSignal(44100 * 20));
    const fs::path inputPath = dir / "song.wav";
    WriteFile(inputPath, input);

    RealWindow real(dir);
    MainDialog& window = real.window;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    MessageBoxWatch unexpected;

    AnswerNextFileDialog(QString::fromStdString(inputPath.string()));
    QTest::mouseClick(window.GetDlgItem(IDC_SELECT_INPUT), Qt::LeftButton);
    ASSERT_TRUE(window.State().m_bInputSelected);

    QTest::mouseClick(window.GetDlgItem(IDC_PLAY_MODE2), Qt::LeftButton);
    EXPECT_EQ(window.ButtonFace(IDC_PLAY_MODE2), IDB_WIDE_STOP);
    // Half a second of sound before the pan moves.
    ASSERT_TRUE(PumpUntil([&] { return SizeOf(capture) >= kBytesPerSecond / 2; }));
    auto* pan = qobject_cast<SliderCtrl*>(window.GetDlgItem(IDC_PAN));
    pan->setFocus();
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(pan, Qt::Key_Right);
    }
    EXPECT_EQ(window.State().m_nPan, 10);
    EXPECT_GT(window.State().m_fPanGainL, 1.0f);
    ASSERT_TRUE(PumpUntil([&] { return SizeOf(capture) >= kBytesPerSecond; }));

    QTest::mouseClick(window.GetDlgItem(IDC_PLAY_MODE2), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return real.Idle(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.ButtonFace(IDC_PLAY_MODE2), IDB_PLAY_MODE2_IDLE);
    EXPECT_EQ(window.MeterBitmap(), IDB_METER_DARK);

    // What was played starts with mode 2 at the start-up positions, byte for byte.
    std::this_thread::sleep_for(300ms);  // the sink writes out its last bytes
    const Bytes captured = ReadFile(capture);
    EXPECT_TRUE(FirstBlockIsModeTwoAtStartUp(captured, input));
    EXPECT_GE(captured.size(), static_cast<std::size_t>(kBytesPerSecond));
    EXPECT_TRUE(unexpected.texts.empty()) << unexpected.texts.front().toStdString();
    window.reject();
}

// A file that is decoded first plays through the window as any WAV does: a FLAC file holds
// the same samples as the WAV it was made from, so the window plays what render writes.
TEST(EndToEnd, DecodedFilePlaysThroughTheRealWindow) {
    TempDir dir;
    const fs::path capture = UseCaptureDevice(dir);
    ::setenv("XDG_CACHE_HOME", dir.Path().c_str(), 1);
    const Bytes input = SimpleWav(TestSignal(44100 * 5));
    WriteFile(dir / "song.wav", input);
    const fs::path flac = dir / "song.flac";
    ASSERT_EQ(
        RunCommand({"ffmpeg", "-v", "error", "-i", (dir / "song.wav").string(), flac.string()})
            .exitCode,
        0);

    RealWindow real(dir);
    MainDialog& window = real.window;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    MessageBoxWatch unexpected;
    window.SelectInputFile(QString::fromStdString(flac.string()));
    ASSERT_TRUE(window.State().m_bInputSelected);

    QTest::mouseClick(window.GetDlgItem(IDC_PLAY_MODE2), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return SizeOf(capture) >= kBytesPerSecond / 2; }));
    QTest::mouseClick(window.GetDlgItem(IDC_PLAY_MODE2), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return real.Idle(); }));
    std::this_thread::sleep_for(300ms);  // the sink writes out its last bytes
    const Bytes captured = ReadFile(capture);
    EXPECT_TRUE(FirstBlockIsModeTwoAtStartUp(captured, input));
    EXPECT_TRUE(unexpected.texts.empty()) << unexpected.texts.front().toStdString();
    window.reject();
}

}  // namespace
