#include "ui/list/sensor_image_strip.h"

#include <QBitmap>

#include "ui/common/png_image.h"

// Resources compiled into a static library are only linked in when something
// refers to them; this function is that reference. It must live outside any namespace.
static void InitSensorListResources() {
    Q_INIT_RESOURCE(sensor_list);
}

namespace sphyra {

std::vector<QPixmap> CutSensorImageStrip(const QImage& strip) {
    std::vector<QPixmap> images;
    if (strip.height() < kSensorImageHeight) return images;
    const QImage rgb = strip.convertToFormat(QImage::Format_RGB32);
    for (int x = 0; x + kSensorImageWidth <= rgb.width(); x += kSensorImageWidth) {
        QPixmap pixmap = QPixmap::fromImage(rgb.copy(x, 0, kSensorImageWidth, kSensorImageHeight));
        pixmap.setMask(pixmap.createMaskFromColor(QColor(255, 255, 255), Qt::MaskInColor));
        images.push_back(pixmap);
    }
    return images;
}

std::vector<QPixmap> LoadSensorImageStrip() {
    InitSensorListResources();
    return CutSensorImageStrip(ReadPng(kSensorStripResource));
}

}  // namespace sphyra
