#include "ui/common/png_image.h"

#include <QImageReader>

namespace sphyra {

QImage ReadPng(const QString& path) {
    QImageReader reader(path, QByteArrayLiteral("png"));
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

}  // namespace sphyra
