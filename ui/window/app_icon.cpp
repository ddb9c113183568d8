#include "ui/window/app_icon.h"

#include <QPixmap>
#include <QString>

#include "ui/common/png_image.h"
#include "ui/window/png_icon_engine.h"

// Q_INIT_RESOURCE must be used outside any namespace. Calling it makes the linker keep the
// resources, which otherwise sit unreferenced in a static library.
static void InitSphyraResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(sphyra);
        return true;
    }();
    (void)done;
}

namespace sphyra {

QIcon AppIcon::Window() {
    InitSphyraResources();
    return QIcon(new PngIconEngine(QStringLiteral(":/sphyra/icon_128.png")));
}

QPixmap AppIcon::Logo() {
    InitSphyraResources();
    return QPixmap::fromImage(ReadPng(QStringLiteral(":/sphyra/logo_132.png")));
}

}  // namespace sphyra
