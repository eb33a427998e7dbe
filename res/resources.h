#pragma once

#include <QIcon>
#include <QPixmap>

// A bitmap by its resource number, drawn for a screen of devicePixelRatio pixels per unit
// (the nearest drawn scale at or above it, else the largest); a null pixmap when there is
// none.
QPixmap LoadBitmapResource(int id, qreal devicePixelRatio = 1.0);
// The scale LoadBitmapResource picks for a screen of devicePixelRatio.
qreal BitmapScaleFor(qreal devicePixelRatio);
// The application icon in every size it is drawn in.
QIcon LoadAppIcon();
