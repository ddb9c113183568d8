#include "ui/window/png_icon_engine.h"

#include <QIcon>
#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>

#include <utility>

#include "ui/common/png_image.h"

namespace sphyra {

namespace {

// The form a picture is made for; the others (a disabled icon, say) an ordinary icon makes.
bool NormalForm(QIcon::Mode mode, QIcon::State state) {
    return mode == QIcon::Normal && state == QIcon::Off;
}

// The size an ordinary icon gives a picture of size `picture` asked for at `size`: shrunk to fit,
// never grown.
QSize Fitted(QSize picture, const QSize& size) {
    if (picture.width() > size.width() || picture.height() > size.height())
        picture.scale(size, Qt::KeepAspectRatio);
    return picture;
}

}  // namespace

PngIconEngine::PngIconEngine(QString path) : m_path(std::move(path)) {}

QPixmap PngIconEngine::Picture() const {
    return QPixmap::fromImage(ReadPng(m_path));
}

QIcon PngIconEngine::Decoded() const {
    return QIcon(Picture());
}

QPixmap PngIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    // Other forms are rare (a disabled icon, say): an ordinary icon makes them.
    if (!NormalForm(mode, state)) return Decoded().pixmap(size, 1.0, mode, state);
    // The normal form as an ordinary icon makes it, shrunk to fit and never grown, but kept out
    // of the pixmap cache, where an ordinary icon leaves even a picture it did not scale.
    QPixmap picture = Picture();
    const QSize fitted = Fitted(picture.size(), size);
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
    if (!NormalForm(mode, state)) return Decoded().actualSize(size, mode, state);
    // From the header, as for the sizes listed: a size needs no pixels.
    const QSize picture = PngSize(m_path);
    return picture.isValid() ? Fitted(picture, size) : QSize();
}

QList<QSize> PngIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state) {
    // An icon made from one picture lists that picture's size for its normal, off form only.
    // The size comes from the file's header: decoding the picture for it would double the work
    // of setting a window icon.
    if (!NormalForm(mode, state)) return {};
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
