#include "ui/bitmap_button.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>

#include "res/resources.h"

namespace {

constexpr qreal kCornerRadius = 3.0;

void DrawFace(QPainter& p, const QRect& area, const QPixmap& image) {
    const QSize size = image.deviceIndependentSize().toSize();
    const int top = area.top() + (area.height() - size.height()) / 2;
    const int left = area.left() + (area.width() - size.width()) / 2;
    if (size.width() < area.width()) {
        p.drawPixmap(QRect(area.left(), top, area.width(), size.height()), image);
    }
    p.drawPixmap(left, top, image);
}

}  // namespace

BitmapButton::BitmapButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent), m_caption(caption) {}

void BitmapButton::ShowStopText() {
    const QKeySequence accessKey = shortcut();
    setText(QStringLiteral("Stop"));
    setShortcut(accessKey);
}

void BitmapButton::SetImage(int resourceId) {
    m_image = LoadBitmapResource(resourceId, devicePixelRatioF());
    m_imageId = m_image.isNull() ? 0 : resourceId;
    update();
}

const QPixmap& BitmapButton::ImageFor(qreal devicePixelRatio) {
    // The window may move to a screen of another scale, or be painted into an image.
    if (m_imageId != 0 && m_image.devicePixelRatio() != BitmapScaleFor(devicePixelRatio)) {
        m_image = LoadBitmapResource(m_imageId, devicePixelRatio);
    }
    return m_image;
}

void BitmapButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap& image = ImageFor(p.device()->devicePixelRatioF());
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(outer, kCornerRadius, kCornerRadius);

    if (image.isNull()) {
        QStyleOptionButton option;
        initStyleOption(&option);
        style()->drawControl(QStyle::CE_PushButton, &option, &p, this);
        return;
    }

    p.save();
    p.setClipPath(shape);
    DrawFace(p, rect(), image);
    if (isDown() || isChecked()) {
        p.fillPath(shape, QColor(0, 0, 0, 70));
    } else if (underMouse() && isEnabled()) {
        p.fillPath(shape, QColor(255, 255, 255, 40));
    }
    if (!isEnabled()) {
        p.fillPath(shape, QColor(128, 128, 128, 140));
    }
    p.restore();

    p.setPen(QPen(palette().color(QPalette::Shadow), isDefault() ? 2.0 : 1.0));
    p.setBrush(Qt::NoBrush);
    const qreal inset = isDefault() ? 1.0 : 0.5;
    p.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), kCornerRadius,
                      kCornerRadius);
    if (hasFocus()) {
        p.setPen(QPen(QColor(255, 255, 255, 220), 1.0, Qt::DotLine));
        p.drawRoundedRect(QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5), 2.0, 2.0);
    }
}
