#include "res/resources.h"

#include <QString>
#include <iterator>

// The images live in a static library: without this call the linker may drop them and every
// image would vanish without an error. It stays outside any namespace, since the macro
// declares the initialiser at the scope it is used in.
static void EnsureImagesRegistered() {
    [[maybe_unused]] static const bool registered = [] {
        Q_INIT_RESOURCE(images);
        return true;
    }();
}

qreal BitmapScaleFor(qreal devicePixelRatio) {
    for (const qreal scale : kBitmapScales) {
        // A ratio a hair above a drawn scale (1.5000001 from a rounded screen size) is it.
        if (devicePixelRatio <= scale + 0.01) {
            return scale;
        }
    }
    return kBitmapScales[std::size(kBitmapScales) - 1];
}

QPixmap LoadBitmapResource(int id, qreal devicePixelRatio) {
    EnsureImagesRegistered();
    const qreal scale = BitmapScaleFor(devicePixelRatio);
    const QString suffix = scale == 1.0 ? QString() : QStringLiteral("@%1x").arg(scale);
    QPixmap image(QStringLiteral(":/bitmaps/%1%2.png").arg(id).arg(suffix));
    image.setDevicePixelRatio(scale);
    return image;
}

QIcon LoadAppIcon() {
    EnsureImagesRegistered();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/zerbex2-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}
