#include "ui/common/png_image.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>
#include <QPixmapCache>
#include <cstddef>
#include <cstring>

namespace sphyra {

QImage ReadPng(const QString& path) {
    QImageReader reader(path, QByteArrayLiteral("png"));
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QSize PngSize(const QString& path) {
    QImageReader reader(path, QByteArrayLiteral("png"));
    reader.setAutoDetectImageFormat(false);
    return reader.size();
}

namespace {

// As Qt's key builder writes a number: each byte in memory order, low nibble first.
template <typename T>
QString HexBytes(T value) {
    constexpr char kDigits[] = "0123456789abcdef";
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    QString text;
    for (const unsigned char byte : bytes) {
        text += QLatin1Char(kDigits[byte & 0xF]);
        text += QLatin1Char(kDigits[byte >> 4]);
    }
    return text;
}

}  // namespace

void CachePngForStyle(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return;
    constexpr unsigned kPixmapType = 0;  // QPlatformPixmap::PixmapType
    const QString key = QStringLiteral("qt_pixmap") + info.absoluteFilePath() +
                        HexBytes(static_cast<unsigned>(info.lastModified().toSecsSinceEpoch())) +
                        HexBytes(static_cast<quint64>(info.size())) + HexBytes(kPixmapType);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) return;
    const QImage image = ReadPng(path);
    if (!image.isNull()) QPixmapCache::insert(key, QPixmap::fromImage(image));
}

}  // namespace sphyra
