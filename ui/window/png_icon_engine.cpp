#include "ui/window/png_icon_engine.h"

#include <QIcon>
#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>

#include <utility>

#include "ui/common/png_image.h"

namespace sphyra {

PngIconEngine::PngIconEngine(QString path) : m_path(std::move(path)) {}

QIcon PngIconEngine::Decoded() const {
    return QIcon(QPixmap::fromImage(ReadPng(m_path)));
}

QPixmap PngIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    // Other forms are rare (a disabled icon, say): an ordinary icon makes them.
    if (mode != QIcon::Normal || state != QIcon::Off)
        return Decoded().pixmap(size, 1.0, mode, state);
    // The normal form as an ordinary icon makes it, shrunk to fit and never grown, but kept out
    // of the pixmap cache, where an ordinary icon leaves even a picture it did not scale.
    QPixmap picture = QPixmap::fromImage(ReadPng(m_path));
    QSize fitted = picture.size();
    if (fitted.width() > size.width() || fitted.height() > size.height())
        fitted.scale(size, Qt::KeepAspectRatio);
    if (fitted != picture.size())
        picture = picture.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return picture;
}

void PngIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                          QIcon::State state) {
    const QPaintDevice* device = painter->device();
    const qreal ratio = device != nullptr ? device->devicePixelRatio() : 1.0;
    QPixmap picture = pixmap(rect.size() * ratio, mode, state);
    picture.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect, picture);
}

QSize PngIconEngine::actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return Decoded().actualSize(size, mode, state);
}

QList<QSize> PngIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state) {
    // An icon made from one picture lists that picture's size for its normal, off form only.
    // The size comes from the file's header: decoding the picture for it would double the work
    // of setting a window icon.
    if (mode != QIcon::Normal || state != QIcon::Off) return {};
    const QSize size = PngSize(m_path);
    if (!size.isValid()) return {};
    return {size};
}

QString PngIconEngine::key() const {
    return QStringLiteral("PngIconEngine");
}

QIconEngine* PngIconEngine::clone() const {
    return new PngIconEngine(m_path);
}

}  // namespace sphyra
