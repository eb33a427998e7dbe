// Loops and moves in the real window, heard through a paced capture device: a loop dragged on
// the waveform plays exactly its frames round and round, a click on the waveform moves the
// playback to the frame under the pointer, and a drag of the position trackbar while playing
// goes on from the time its tooltip showed. The song is noise in the original mode, so every
// captured frame tells which frame of the song it was made of.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QStyleOptionSlider>
#include <QTest>
#include <QToolTip>
#include <chrono>
#include <random>
#include <thread>
#include <unordered_map>

#include "processing/processing.h"
#include "tests/test_support/alsa_capture.h"
#include "tests/ui/e2e_support.h"
#include "ui/bitmap_button.h"
#include "ui/trackbar_slider.h"
#include "ui/waveform_view.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr std::int64_t kFramesPerPixel = 2205;  // 50 ms: 0:12.35 and 0:14.80 fall on pixels

std::uint64_t FramePair(const std::int16_t* samples) {
    std::uint64_t key = 0;
    for (int i = 0; i < 4; ++i) {
        key = key << 16 | static_cast<std::uint16_t>(samples[i]);
    }
    return key;
}

// Which frame of the song each captured frame was made of; -1 for one it was not.
std::vector<std::int64_t> Timeline(const std::vector<std::int16_t>& song, const Bytes& sound) {
    std::vector<std::int16_t> played(song.size());
    for (std::size_t i = 0; i < song.size(); ++i) {
        played[i] = Saturate16(song[i] * kInputAttenuation);
    }
    std::unordered_map<std::uint64_t, std::int64_t> where;
    for (std::size_t f = 0; f + 1 < song.size() / 2; ++f) {
        where.emplace(FramePair(&played[2 * f]), static_cast<std::int64_t>(f));
    }
    std::vector<std::int16_t> captured(sound.size() / 2);
    for (std::size_t i = 0; i < captured.size(); ++i) {
        captured[i] = static_cast<std::int16_t>(sound[2 * i] | (sound[2 * i + 1] << 8));
    }
    // A frame is known with the one after it, or the last before a jump with the one before.
    std::vector<std::int64_t> timeline;
    for (std::size_t f = 0; f + 1 < captured.size() / 2; ++f) {
        if (const auto next = where.find(FramePair(&captured[2 * f])); next != where.end()) {
            timeline.push_back(next->second);
        } else if (const auto last =
                       f > 0 ? where.find(FramePair(&captured[2 * f - 2])) : where.end();
                   last != where.end()) {
            timeline.push_back(last->second + 1);
        } else {
            timeline.push_back(-1);
        }
    }
    return timeline;
}

// A drag of a trackbar's thumb to x, held a while, as a hand does it; the tooltip's text at
// the release.
QString DragThumb(TrackbarSlider* slider, int x) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    const QPoint from =
        slider->style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
            .center();
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, from);
    for (int step = 1; step <= 5; ++step) {
        const QPointF at(from.x() + (x - from.x()) * step / 5.0, from.y());
        QMouseEvent move(QEvent::MouseMove, at, slider->mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(slider, &move);
        QTest::qWait(60);  // the playback tells its position meanwhile
    }
    QString tip = QToolTip::text();
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, from.y()));
    return tip;
}

std::int64_t TipFrame(const QString& tip) {
    const QStringList parts = tip.split(QLatin1Char(':'));
    return parts.size() != 2 ? -1
                             : std::llround((parts[0].toInt() * 60 + parts[1].toDouble()) * 44100);
}

TEST(EndToEnd, LoopsAndMovesLandOnTheFrameAskedFor) {
    TempDir dir;
    const fs::path capture = UseCaptureDevice(dir);
    RealWindow real(dir);
    MainWindow& window = real.window;
    const MainWindowUi& ui = window.Ui();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    MessageBoxWatch unexpected;

    WaveformView* wave = ui.waveform;
    const std::int64_t frames = wave->width() * kFramesPerPixel;
    std::vector<std::int16_t> song(static_cast<std::size_t>(2 * frames));
    std::mt19937 noise(34);
    std::uniform_int_distribution<int> sample(-12000, 12000);
    for (std::int16_t& s : song) {
        s = static_cast<std::int16_t>(sample(noise));
    }
    const fs::path input = dir / "noise.wav";
    WriteFile(input, SimpleWav(song));
    window.SelectInputFile(QString::fromStdString(input.string()));
    ASSERT_TRUE(
        PumpUntil([&] { return wave->Buckets() * kEnvelopeFrames >= std::size_t(frames); }));

    // The loop from 0:12.35 to 0:14.80, dragged.
    QTest::mousePress(wave, Qt::LeftButton, {}, QPoint(247, 10));
    QTest::mouseMove(wave, QPoint(270, 10));
    QTest::mouseMove(wave, QPoint(296, 10));
    QTest::mouseRelease(wave, Qt::LeftButton, {}, QPoint(296, 10));
    ASSERT_EQ(window.Controls().play.Read().loopStartFrame, 544635);
    ASSERT_EQ(window.Controls().play.Read().loopEndFrame, 652680);
    QTest::mouseClick(ui.playOriginalButton, Qt::LeftButton);
    constexpr std::uintmax_t kLoopBytes = (652680 - 544635) * 4;
    ASSERT_TRUE(PumpUntil([&] { return SizeOf(capture) >= 2 * kLoopBytes + 44100; }, 30s));

    // The loop over the whole song again, by its trackbars.
    QTest::keyClick(ui.Slider(Knob::LoopStart), Qt::Key_Home);
    QTest::keyClick(ui.Slider(Knob::LoopEnd), Qt::Key_End);
    ASSERT_EQ(window.Controls().play.Read().loopEndFrame, -1);

    struct Move {
        const char* how;
        std::int64_t frame;      // where it should go on from
        std::int64_t tolerance;  // frames
    };
    std::vector<Move> moves;
    for (int i = 0; i < 6; ++i) {
        const int x = 20 + 72 * i;  // inside the loop's 100/110 of the width
        QTest::mouseClick(wave, Qt::LeftButton, {}, QPoint(x, 10));
        moves.push_back({"click", wave->FrameAt(x), 441});
        QTest::qWait(400);
    }
    TrackbarSlider* position = ui.Slider(Knob::PlayPos);
    for (int i = 0; i < 5; ++i) {
        const QString tip = DragThumb(position, position->width() * (9 - 2 * i) / 11 + 10);
        moves.push_back({"drag", TipFrame(tip), 4410});
        QTest::qWait(400);
    }
    QTest::mouseClick(ui.playOriginalButton, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }, 30s));
    std::this_thread::sleep_for(300ms);  // the sink writes out its last bytes

    CapturedSound captured;
    ASSERT_TRUE(ReadCapture(capture, captured));
    const std::vector<std::int64_t> timeline = Timeline(song, captured.sound);
    auto at = std::find_if(timeline.begin(), timeline.end(), [](auto f) { return f >= 0; });
    ASSERT_NE(at, timeline.end());
    // Two rounds of the loop, frame after frame: nothing missing, nothing between.
    for (int round = 0; round < 2; ++round) {
        for (std::int64_t f = 544635; f < 652680; ++f, ++at) {
            ASSERT_EQ(*at, f) << "round " << round;
        }
    }
    // Then each move, in order, lands where it was asked to.
    std::vector<std::int64_t> jumps;
    for (auto it = at + 1; it != timeline.end(); ++it) {
        if (*it >= 0 && *it != *(it - 1) + 1) {
            jumps.push_back(*it);
        }
    }
    auto jump = jumps.begin();
    for (const Move& move : moves) {
        jump = std::find_if(jump, jumps.end(), [&](std::int64_t f) {
            return std::abs(f - move.frame) <= move.tolerance;
        });
        ASSERT_NE(jump, jumps.end()) << move.how << " to frame " << move.frame;
        std::printf("%s to %lld went on from %lld\n", move.how, static_cast<long long>(move.frame),
                    static_cast<long long>(*jump));
    }
    EXPECT_TRUE(unexpected.texts.empty()) << unexpected.texts.front().toStdString();
    window.close();
}

}  // namespace
