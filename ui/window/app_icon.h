#pragma once

#include <QIcon>
#include <QPixmap>

namespace sphyra {

// The program's pictures, compiled in from resources/.
class AppIcon {
public:
    // Icon 128: the window icon, also shown in the About box.
    static QIcon Window();
    // Image 132: the logo at the bottom left of the main window.
    static QPixmap Logo();
};

}  // namespace sphyra
