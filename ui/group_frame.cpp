#include "ui/group_frame.h"

#include <QPainter>

void GroupFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics metrics(font());
    const int lineY = metrics.height() / 2;
    const QRect frame = rect().adjusted(0, lineY, -2, -2);
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(frame.translated(1, 1));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(frame);

    if (title().isEmpty()) {
        return;
    }
    const int padding = metrics.horizontalAdvance(QLatin1Char(' ')) / 2 + 1;
    const QRect text(metrics.averageCharWidth() + 2, 0,
                     metrics.horizontalAdvance(title()) + 2 * padding, metrics.height());
    p.fillRect(text, palette().color(QPalette::Window));
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(text, Qt::AlignCenter, title());
}
