#pragma once

#include <QIcon>
#include <QPixmap>

// A bitmap by its resource number; a null pixmap when there is none.
QPixmap LoadBitmapResource(int id);
// The application icon in every size it is drawn in.
QIcon LoadAppIcon();
