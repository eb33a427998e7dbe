#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QStringList>

DialogBaseUnits DialogBaseUnits::FromFont(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const DialogBaseUnits units{(alphabet / 26 + 1) / 2, metrics.height()};
    return units.cx > 0 && units.cy > 0 ? units : DialogBaseUnits{};
}

// Rounded half away from zero, as the dialog manager's integer arithmetic rounds.
int DialogBaseUnits::MapX(int du) const {
    return qRound(static_cast<double>(du) * cx / 4);
}

int DialogBaseUnits::MapY(int du) const {
    return qRound(static_cast<double>(du) * cy / 8);
}

QRect DialogBaseUnits::MapRect(const QRect& du) const {
    // Both edges are mapped, so neighbours that touch in dialog units touch in pixels.
    const int left = MapX(du.x());
    const int top = MapY(du.y());
    const int right = MapX(du.x() + du.width());
    const int bottom = MapY(du.y() + du.height());
    return QRect(left, top, right - left, bottom - top);
}

QSize DialogBaseUnits::MapSize(const QSize& du) const {
    return QSize(MapX(du.width()), MapY(du.height()));
}

QFont DialogFont(int pointSize) {
    QFont font;
    font.setFamilies(QStringList{"SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC",
                                 "Noto Sans SC", "Source Han Sans SC", "Droid Sans Fallback"});
    font.setPointSize(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}
