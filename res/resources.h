#pragma once

#include <QIcon>
#include <QPixmap>

// The scales every bitmap is drawn at (res/tools/draw_images.cpp), in the resource list as
// NUMBER.png and NUMBER@1.25x.png and so on.
inline constexpr qreal kBitmapScales[] = {1.0, 1.25, 1.5, 1.75, 2.0};

// A bitmap by its resource number, drawn for a screen of devicePixelRatio pixels per unit
// (the nearest drawn scale at or above it, else the largest); a null pixmap when there is
// none.
QPixmap LoadBitmapResource(int id, qreal devicePixelRatio = 1.0);
// The scale LoadBitmapResource picks for a screen of devicePixelRatio.
qreal BitmapScaleFor(qreal devicePixelRatio);
// The application icon in every size it is drawn in.
QIcon LoadAppIcon();
