#include "resources.h"

#include <QString>

// The images live in a static library: without this call the linker may drop them and every
// image would vanish without an error. It stays outside any namespace, since the macro
// declares the initialiser at the scope it is used in.
static void EnsureImagesRegistered() {
    [[maybe_unused]] static const bool registered = [] {
        Q_INIT_RESOURCE(images);
        return true;
    }();
}

QPixmap LoadBitmapResource(int id) {
    EnsureImagesRegistered();
    return QPixmap(QStringLiteral(":/bitmaps/%1.png").arg(id));
}

QIcon LoadAppIcon() {
    EnsureImagesRegistered();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/zerbex2-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}
