#include "ui/common/palettised_image.h"

#include <QHash>
#include <QList>

namespace sphyra {

QImage PalettisedImage(QImage image) {
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    QList<QRgb> table;
    QHash<QRgb, int> index;
    QImage indexed(source.size(), QImage::Format_Indexed8);
    for (int y = 0; y < source.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        uchar* out = indexed.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            const QRgb pixel = line[x];
            if (qAlpha(pixel) != 255) return image;
            auto it = index.find(pixel);
            if (it == index.end()) {
                if (table.size() == 256) return image;
                it = index.insert(pixel, static_cast<int>(table.size()));
                table.append(pixel);
            }
            out[x] = static_cast<uchar>(*it);
        }
    }
    indexed.setColorTable(table);
    indexed.setDevicePixelRatio(image.devicePixelRatio());
    return indexed;
}

}  // namespace sphyra
