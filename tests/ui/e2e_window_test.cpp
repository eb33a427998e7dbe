// The real window on a virtual display, playing through PortAudio into ALSA devices that
// capture what is played at a sound card's pace: the mode buttons' access keys, the loop end,
// and the sound output chosen on the window menu.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "processing/processing.h"
#include "render/render.h"
#include "tests/test_support/alsa_capture.h"
#include "tests/ui/e2e_support.h"
#include "ui/bitmap_button.h"
#include "ui/trackbar_slider.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Whether anything but silence was captured past offset.
bool SoundAfter(const fs::path& capture, std::size_t offset) {
    std::ifstream in(capture, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    return std::any_of(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(),
                       [](char b) { return b != 0; });
}

std::size_t FileSize(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : static_cast<std::size_t>(size);
}

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face != nullptr ? face->text(QAccessible::Name) : QString();
}

// Alt+2, Alt+1 and Alt+3 (the stereo mode) in turn: each starts its mode, and the same key
// stops it. Every start is heard; after every stop the button's caption is back for screen
// readers.
TEST(EndToEndWindow, AccessKeysStartAndStopPlaybackTenTimesInBothLanguages) {
    const struct {
        bool english;
        QString captions[3];  // as a screen reader reads them: modes 2, 1 and stereo
    } cases[] = {
        {false,
         {QString::fromUtf8("发挥Zerbex 2"), QString::fromUtf8("发挥Zerbex 1"),
          QString::fromUtf8("发挥立体声 3")}},
        {true,
         {QStringLiteral("Play Zerbex 2"), QStringLiteral("Play Zerbex 1"),
          QStringLiteral("Play Stereo 3")}},
    };
    const struct {
        Qt::Key key;
        PlayMode mode;
        BitmapButton* MainWindowUi::*button;
    } keys[] = {{Qt::Key_2, PlayMode::Mode2, &MainWindowUi::playMode2Button},
                {Qt::Key_1, PlayMode::Mode1, &MainWindowUi::playMode1Button},
                {Qt::Key_3, PlayMode::Stereo, &MainWindowUi::playStereoButton}};
    TempDir dir;
    const fs::path capture = dir / "capture.raw";
    UseAlsaConfig(dir, "append.conf", PacedFileDeviceConfig(capture, kBytesPerSecond, true));
    const fs::path input = dir / "song.wav";
    WriteFile(input, SimpleWav(TestSignal(44100 * 30)));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.english ? "English" : "Chinese");
        ASSERT_TRUE(SpeakEnglish(c.english));
        RealWindow real(dir);
        MainWindow& window = real.window;
        const MainWindowUi& ui = window.Ui();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        MessageBoxWatch unexpected;
        window.SelectInputFile(QString::fromStdString(input.string()));
        for (int round = 0; round < 10; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            const auto& k = keys[round % std::size(keys)];
            BitmapButton* button = ui.*k.button;
            const QString& caption = c.captions[round % std::size(keys)];
            const std::size_t before = FileSize(capture);
            QTest::keyClick(&window, k.key, Qt::AltModifier);
            ASSERT_TRUE(PumpUntil([&] { return SoundAfter(capture, before); }, 30s));
            EXPECT_EQ(window.Controls().settings.Read().mode, k.mode);
            EXPECT_NE(AccessibleName(button), caption);
            QTest::keyClick(&window, k.key, Qt::AltModifier);
            ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }, 30s));
            EXPECT_EQ(AccessibleName(button), caption);
        }
        EXPECT_TRUE(unexpected.texts.empty()) << unexpected.texts.front().toStdString();
        window.close();
    }
    SpeakEnglish(false);
}

// Where a loop went back: the first frame after which the frame numbers the input carries do
// not go on by one. Nothing when they never do. Silence between two frames is the device
// waiting for sound, not a move.
struct Wrap {
    std::uint64_t endByte;     // the byte position the loop ended at
    std::uint64_t backToByte;  // and went back to
};

// Every frame carries its number in two digits of base kDigits, one a sample, each digit d
// as the sample 5d: the input's attenuation, 0.45 in every mode, keeps such samples apart. The
// right sample's digit is one more, so that no frame is silent.
constexpr std::uint32_t kDigits = 6554;
constexpr std::int16_t kSpacing = 5;

std::int16_t SampleOf(std::uint32_t digit) {
    return static_cast<std::int16_t>(kSpacing * digit);
}

// The digit of a sample as the original mode plays it.
std::uint32_t DigitOf(std::int16_t played) {
    static const std::vector<std::int16_t> attenuated = [] {
        std::vector<std::int16_t> table;
        for (std::uint32_t d = 0; d < kDigits; ++d) {
            table.push_back(Saturate16(SampleOf(d) * kInputAttenuation));
        }
        return table;
    }();
    return static_cast<std::uint32_t>(
        std::lower_bound(attenuated.begin(), attenuated.end(), played) - attenuated.begin());
}

std::uint32_t FrameNumber(const Bytes& sound, std::size_t at) {
    const auto sample = [&sound](std::size_t i) {
        return static_cast<std::int16_t>(sound[i] | (sound[i + 1] << 8));
    };
    return (DigitOf(sample(at + 2)) - 1) * kDigits + DigitOf(sample(at));
}

Bytes NumberedFrames(std::uint32_t frames) {
    std::vector<std::int16_t> samples;
    samples.reserve(frames * 2ULL);
    for (std::uint32_t i = 0; i < frames; ++i) {
        samples.push_back(SampleOf(i % kDigits));
        samples.push_back(SampleOf(i / kDigits + 1));
    }
    return SimpleWav(samples);
}

std::optional<Wrap> FirstWrap(const Bytes& sound) {
    std::optional<std::uint32_t> last;
    for (std::size_t at = 0; at + 4 <= sound.size(); at += 4) {
        if (SilentFrame(sound, at, 4)) {
            continue;
        }
        const std::uint32_t frame = FrameNumber(sound, at);
        if (last && frame != *last + 1) {
            return Wrap{(*last + 1) * 4ULL, frame * 4ULL};
        }
        last = frame;
    }
    return std::nullopt;
}

// The original mode plays the input attenuated alone, so the capture tells where each frame
// came from. The loop runs from the loop start's position; it goes back at the first block boundary
// at or after the loop end's position, counted in blocks from where the play started.
TEST(EndToEndWindow, LoopGoesBackAtTheFirstBlockBoundaryAtOrAfterTheLoopEnd) {
    const struct {
        int seconds;
        int loopStart;  // near the loop end on the long files, to keep the test short
        int loopEnd;
    } cases[] = {{11, 0, 20}, {30, 45, 50}, {180, 78, 80}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.seconds) + " s, loop " + std::to_string(c.loopStart) + ".." +
                     std::to_string(c.loopEnd));
        TempDir dir;
        const fs::path capture = UseCaptureDevice(dir);
        const auto frames = static_cast<std::uint32_t>(44100 * c.seconds);
        const fs::path input = dir / "numbered.wav";
        WriteFile(input, NumberedFrames(frames));

        RealWindow real(dir);
        MainWindow& window = real.window;
        const MainWindowUi& ui = window.Ui();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        MessageBoxWatch unexpected;
        window.SelectInputFile(QString::fromStdString(input.string()));
        ui.Slider(Knob::LoopStart)->setValue(c.loopStart);
        ui.Slider(Knob::LoopEnd)->setValue(c.loopEnd);

        const std::uint64_t step = frames * 4ULL / kPositionSteps;
        const auto start = static_cast<std::uint64_t>(PositionBytes(c.loopStart, step));
        const auto end = static_cast<std::uint64_t>(PositionBytes(c.loopEnd, step));
        const std::uint64_t blocks = (end - start + kBlockBytes - 1) / kBlockBytes;
        const std::uint64_t expected = start + blocks * kBlockBytes;

        QTest::mouseClick(ui.playOriginalButton, Qt::LeftButton);
        ASSERT_EQ(window.Controls().settings.Read().mode, PlayMode::Original);
        // Half a second past the wrap, after up to half a second of leading silence.
        const std::uint64_t enough = expected - start + kBytesPerSecond;
        ASSERT_TRUE(PumpUntil([&] { return SizeOf(capture) >= enough; }, 60s));
        QTest::mouseClick(ui.playOriginalButton, Qt::LeftButton);
        ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }, 30s));

        CapturedSound captured;
        ASSERT_TRUE(ReadCapture(capture, captured));
        const std::size_t first = FirstSoundingFrame(captured.sound, 4);
        ASSERT_LT(first + 4, captured.sound.size());
        EXPECT_EQ(FrameNumber(captured.sound, first) * 4ULL, start) << "the play's first frame";
        const std::optional<Wrap> wrap = FirstWrap(captured.sound);
        ASSERT_TRUE(wrap.has_value()) << "the loop never went back";
        EXPECT_EQ(wrap->endByte, expected);
        EXPECT_GE(wrap->endByte, end);
        EXPECT_LT(wrap->endByte, end + kBlockBytes) << "more than a block past the loop end";
        EXPECT_EQ(wrap->backToByte, start);
        EXPECT_TRUE(unexpected.texts.empty()) << unexpected.texts.front().toStdString();
        window.close();
    }
}

// Opens the real submenu and clicks the entry, as a user does.
::testing::AssertionResult ClickSoundEntry(const MainWindow& window, const QString& text) {
    QMenu* menu = window.SoundMenu();
    menu->popup(window.mapToGlobal(QPoint(20, 20)));
    if (!QTest::qWaitForWindowExposed(menu)) {
        return ::testing::AssertionFailure() << "the menu did not show";
    }
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            return ::testing::AssertionSuccess();
        }
    }
    menu->close();
    return ::testing::AssertionFailure() << "no entry " << text.toStdString();
}

// ALSA's default captures into one file and a second device into another. A device chosen on
// the window menu is kept and played on; once it is gone from the configuration, the next
// window says so and the default plays.
TEST(EndToEndWindow, TheSoundOutputChosenOnTheMenuPlaysAndAKeptOneThatIsGoneFallsBack) {
    const struct {
        const char* what;
        bool secondThere;
        bool chooseSecond;  // through the menu, before playing
        bool heardOnSecond;
        bool told;  // the window says that the kept device is gone
    } cases[] = {
        {"chosen on the menu", true, true, true, false},
        {"kept, and there", true, false, true, false},
        {"kept, and gone", false, false, false, true},
    };
    TempDir dir;  // one profile for every window
    const fs::path input = dir / "song.wav";
    WriteFile(input, SimpleWav(TestSignal(44100 * 20)));
    int config = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path first = dir / "first.wav";
        const fs::path second = dir / "second.wav";
        fs::remove(first);
        fs::remove(second);
        std::string text = PacedFileDevice("!default", first, kBytesPerSecond);
        if (c.secondThere) {
            text += PacedFileDevice("zerbex_second", second, kBytesPerSecond);
        }
        UseAlsaConfig(dir, "asound" + std::to_string(++config) + ".conf", text);

        RecordingBoxes boxes;
        RealWindow real(dir, &boxes);
        MainWindow& window = real.window;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.SelectInputFile(QString::fromStdString(input.string()));
        if (c.chooseSecond) {
            ASSERT_TRUE(ClickSoundEntry(window, QStringLiteral("zerbex_second (ALSA)")));
            ASSERT_TRUE(PumpUntil([&] { return window.ChosenDevice() == "zerbex_second"; }));
        }
        const fs::path heard = c.heardOnSecond ? second : first;
        QTest::mouseClick(window.Ui().playMode2Button, Qt::LeftButton);
        ASSERT_TRUE(PumpUntil([&] { return SizeOf(heard) >= kBytesPerSecond / 2; }, 30s));
        QTest::mouseClick(window.Ui().playMode2Button, Qt::LeftButton);
        ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }, 30s));

        EXPECT_TRUE(HeardAnything(heard));
        EXPECT_FALSE(HeardAnything(c.heardOnSecond ? first : second));
        const std::vector<QString> told = boxes.Texts();
        if (c.told) {
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0],
                      QString::fromUtf8("声音设备“zerbex_second”不存在；将在默认设备上播放。"));
        } else {
            EXPECT_TRUE(told.empty()) << told.front().toStdString();
        }
        window.close();
    }
}

}  // namespace
