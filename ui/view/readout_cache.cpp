#include "ui/view/readout_cache.h"

#include <QList>
#include <QPainter>
#include <QString>

#include <utility>

namespace sphyra {

ReadoutCache::ReadoutCache(QFont font, QColor text, QColor background, QSize box)
    : m_font(std::move(font)), m_text(text), m_background(background), m_box(box) {}

const ReadoutCache::Entry& ReadoutCache::Image(std::uint16_t value, qreal pixelRatio) {
    if (pixelRatio != m_pixelRatio) {
        m_images.clear();
        m_pixelRatio = pixelRatio;
    }
    auto it = m_images.find(value);
    if (it != m_images.end()) return *it;
    // Filtered values can take any of 65536 values; starting over bounds the memory.
    if (m_images.size() >= kMaxEntries) m_images.clear();
    return *m_images.insert(value, Render(value));
}

ReadoutCache::Entry ReadoutCache::Render(std::uint16_t value) const {
    QImage image(m_box * m_pixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(m_pixelRatio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(m_font);
    painter.setPen(m_text);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(m_background);
    painter.drawText(QRect(QPoint(0, 0), m_box), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QString::number(value));
    painter.end();

    // Keep only the rectangle around the drawn pixels.
    QRect drawn;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 0) drawn |= QRect(x, y, 1, 1);
    }
    if (drawn.isEmpty()) return {};
    QImage cut = Palettised(image.copy(drawn));
    cut.setDevicePixelRatio(m_pixelRatio);
    return {QPointF(drawn.topLeft()) / m_pixelRatio, std::move(cut)};
}

QImage ReadoutCache::Palettised(QImage image) {
    // Antialiased text over its opaque box mixes two colours in a few dozen shades: a byte per
    // pixel and its palette hold it exactly in half the memory: 208 KB for a full cache.
    QList<QRgb> table;
    QHash<QRgb, int> index;
    QImage indexed(image.size(), QImage::Format_Indexed8);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* out = indexed.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
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
    return indexed;
}

}  // namespace sphyra
