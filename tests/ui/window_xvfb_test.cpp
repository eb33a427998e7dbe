// The trackbars' tooltips and a dropped file in the real window on an X display.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QUrl>

#include "tests/ui/ui_test_support.h"
#include "ui/trackbar_slider.h"

namespace {

// A 16-bit stereo WAV of 110 seconds at 8 frames a second: a trackbar step is one second.
QString WriteSlowWave(const QString& path) {
    const quint32 byteRate = 32;
    const quint32 dataBytes = 110 * byteRate;
    QByteArray bytes("RIFF");
    auto le32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i) {
            bytes.append(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
    };
    auto le16 = [&](quint16 v) {
        bytes.append(static_cast<char>(v & 0xFF));
        bytes.append(static_cast<char>(v >> 8));
    };
    le32(36 + dataBytes);
    bytes.append("WAVEfmt ");
    le32(16);
    le16(1);
    le16(2);
    le32(8);
    le32(byteRate);
    le16(4);
    le16(16);
    bytes.append("data");
    le32(dataBytes);
    bytes.append(QByteArray(static_cast<int>(dataBytes), '\0'));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

QPoint ThumbCentre(TrackbarSlider* slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.upsideDown = slider->invertedAppearance() != (slider->orientation() == Qt::Vertical);
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
        .center();
}

bool DropFiles(QWidget& target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(target.width() / 2, target.height() - 5);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
    return drop.isAccepted();
}

}  // namespace

TEST(RealWindow, DroppedFileBecomesTheInputAndTrackbarsShowTheirValues) {
    EnsureApplication();
    WindowFixture f;
    MainWindow& window = *f.window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QTemporaryDir dir;
    const QString wave = WriteSlowWave(dir.filePath(QStringLiteral("slow.wav")));
    EXPECT_FALSE(DropFiles(window, {QUrl(QStringLiteral("https://example.org/a.wav"))}));
    ASSERT_TRUE(DropFiles(window, {QUrl::fromLocalFile(wave),
                                   QUrl::fromLocalFile(dir.filePath(QStringLiteral("b.wav")))}));
    EXPECT_EQ(f.Ui().inputPathEdit->text(), wave);

    // Hovering: the low cut-off in Hz.
    TrackbarSlider* low = f.Ui().Slider(Knob::Low);
    QTest::mouseMove(low, ThumbCentre(low));
    QHelpEvent hover(QEvent::ToolTip, ThumbCentre(low), low->mapToGlobal(ThumbCentre(low)));
    QApplication::sendEvent(low, &hover);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("240 Hz"));

    // Dragging: the pan by side.
    TrackbarSlider* pan = f.Ui().Slider(Knob::Pan);
    const QPoint grab = ThumbCentre(pan);
    QTest::mousePress(pan, Qt::LeftButton, Qt::NoModifier, grab);
    QMouseEvent move(QEvent::MouseMove, QPointF(grab + QPoint(pan->width() / 4, 0)),
                     pan->mapToGlobal(QPointF(grab + QPoint(pan->width() / 4, 0))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pan, &move);
    EXPECT_GT(pan->sliderPosition(), 0);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("R %1").arg(pan->sliderPosition()));
    QTest::mouseRelease(pan, Qt::LeftButton, Qt::NoModifier, grab + QPoint(pan->width() / 4, 0));

    // Keys: the play position in minutes, seconds and tenths of the dropped file.
    TrackbarSlider* position = f.Ui().Slider(Knob::PlayPos);
    position->setFocus();
    position->setValue(64);
    QTest::keyClick(position, Qt::Key_Right);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("1:05.0"));
}
