#include "ui/view/readout_cache.h"

#include "ui/common/palettised_image.h"

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
    // A byte per pixel holds the text over its box exactly: 208 KB for a full cache, not 438.
    QImage cut = PalettisedImage(image.copy(drawn));
    cut.setDevicePixelRatio(m_pixelRatio);
    return {QPointF(drawn.topLeft()) / m_pixelRatio, std::move(cut)};
}

}  // namespace sphyra
