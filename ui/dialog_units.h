#pragma once

#include <QFont>
#include <QRect>

// The dialog font's base units: the average width of a Latin letter and the height of a
// line, in pixels. A dialog unit is a quarter of the one across and an eighth of the other.
struct DialogBaseUnits {
    int cx = 6;
    int cy = 12;

    static DialogBaseUnits FromFont(const QFont& font);

    int MapX(int du) const;
    int MapY(int du) const;
    QRect MapRect(const QRect& du) const;
    QSize MapSize(const QSize& du) const;
};

// The dialog font: the desktop's CJK font at the given size.
QFont DialogFont(int pointSize);
