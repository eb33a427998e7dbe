// The waveform on its own: what a click, a drag, an edge's drag, Escape and the keys ask for,
// and lines that fall on whole device pixels at every scale.

#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

#include "tests/ui/ui_test_support.h"
#include "ui/waveform_view.h"

namespace {

constexpr int kWidth = 1000;
constexpr std::int64_t kPerPixel = 441;  // frames
constexpr unsigned kRate = 44100;

struct Asked {
    std::int64_t seek = -1;  // -1: none asked for
    std::int64_t loopStart = -1;
    std::int64_t loopEnd = -1;
};

TEST(Waveform, MouseAndKeysAskForMovesAndLoops) {
    EnsureApplication();
    using Act = std::function<void(WaveformView&)>;
    const auto drag = [](int from, int to, bool escape = false) {
        return [=](WaveformView& view) {
            QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(from, 20));
            QTest::mouseMove(&view, QPoint((from + to) / 2, 20));
            QTest::mouseMove(&view, QPoint(to, 20));
            if (escape) {
                QTest::keyClick(&view, Qt::Key_Escape);
            }
            QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(to, 20));
        };
    };
    const auto key = [](Qt::Key k, Qt::KeyboardModifiers modifiers = {}) {
        return [=](WaveformView& view) { QTest::keyClick(&view, k, modifiers); };
    };
    const struct {
        const char* name;
        Act act;
        Asked asked;
        std::int64_t loopStart;  // shown afterwards
        std::int64_t loopEnd;
    } cases[] = {
        {"click", drag(500, 500), {500 * kPerPixel}, 100 * kPerPixel, 300 * kPerPixel},
        {"drag right",
         drag(600, 700),
         {-1, 600 * kPerPixel, 700 * kPerPixel},
         600 * kPerPixel,
         700 * kPerPixel},
        {"drag left",
         drag(700, 600),
         {-1, 600 * kPerPixel, 700 * kPerPixel},
         600 * kPerPixel,
         700 * kPerPixel},
        {"start edge",
         drag(102, 50),
         {-1, 50 * kPerPixel, 300 * kPerPixel},
         50 * kPerPixel,
         300 * kPerPixel},
        {"end edge",
         drag(298, 400),
         {-1, 100 * kPerPixel, 400 * kPerPixel},
         100 * kPerPixel,
         400 * kPerPixel},
        {"escape", drag(600, 700, true), {}, 100 * kPerPixel, 300 * kPerPixel},
        {"right", key(Qt::Key_Right), {200 * kPerPixel + kRate}, 100 * kPerPixel, 300 * kPerPixel},
        {"page up", key(Qt::Key_PageUp), {0}, 100 * kPerPixel, 300 * kPerPixel},
        {"shift left",
         key(Qt::Key_Left, Qt::ShiftModifier),
         {-1, 100 * kPerPixel - kRate / 10, 300 * kPerPixel},
         100 * kPerPixel - kRate / 10,
         300 * kPerPixel},
        {"ctrl shift right",
         key(Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier),
         {-1, 100 * kPerPixel, 300 * kPerPixel + kRate / 10},
         100 * kPerPixel,
         300 * kPerPixel + kRate / 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WaveformView view;
        view.resize(kWidth, 80);
        view.SetLength(kWidth * kPerPixel, kRate);
        view.SetLoop(100 * kPerPixel, 300 * kPerPixel);
        view.SetPlayHead(200 * kPerPixel);
        QSignalSpy seeks(&view, &WaveformView::seekRequested);
        QSignalSpy loops(&view, &WaveformView::loopRequested);
        c.act(view);
        ASSERT_EQ(seeks.size(), c.asked.seek >= 0 ? 1 : 0);
        if (c.asked.seek >= 0) {
            EXPECT_EQ(seeks[0][0].toLongLong(), c.asked.seek);
        }
        ASSERT_EQ(loops.size(), c.asked.loopStart >= 0 ? 1 : 0);
        if (c.asked.loopStart >= 0) {
            EXPECT_EQ(loops[0][0].toLongLong(), c.asked.loopStart);
            EXPECT_EQ(loops[0][1].toLongLong(), c.asked.loopEnd);
        }
        EXPECT_EQ(view.LoopStart(), c.loopStart);
        EXPECT_EQ(view.LoopEnd(), c.loopEnd);
    }
}

// The play head is one device pixel of its own colour, with no blend beside it: drawn crisp
// at every scale the desktop sets (run at 1.25 to 2 by the scaled image tests).
TEST(Images, WaveformPlayHeadFallsOnWholeDevicePixels) {
    EnsureApplication();
    WaveformView view;
    view.resize(333, 60);
    view.SetLength(1234567, kRate);
    view.SetLoop(0, 1234567);
    view.SetPlayHead(777777);
    const QImage image = view.grab().toImage();
    int red = 0;
    int blended = 0;
    // In the ruler, below the envelope and above the frame.
    const int row = image.height() - 1 - 3 * static_cast<int>(std::ceil(view.devicePixelRatioF()));
    for (int x = 0; x < image.width(); ++x) {
        const QColor colour = image.pixelColor(x, row);
        red += colour == QColor(200, 30, 30) ? 1 : 0;
        blended += colour.red() > colour.green() + 60 && colour != QColor(200, 30, 30) ? 1 : 0;
    }
    EXPECT_EQ(red, std::max(1, static_cast<int>(std::lround(view.devicePixelRatioF()))));
    EXPECT_EQ(blended, 0);
}

}  // namespace
