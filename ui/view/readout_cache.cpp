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
        m_painter.reset();
    }
    auto it = m_images.find(value);
    if (it != m_images.end()) return *it;
    // Filtered values can take any of 65536 values; starting over bounds the memory.
    if (m_images.size() >= kMaxEntries) m_images.clear();
    return *m_images.insert(value, Render(value));
}

QPainter& ReadoutCache::ScratchPainter() {
    if (m_painter == nullptr) {
        m_scratch = QImage(m_box * m_pixelRatio, QImage::Format_ARGB32_Premultiplied);
        m_scratch.setDevicePixelRatio(m_pixelRatio);
        m_painter = std::make_unique<QPainter>(&m_scratch);
        m_painter->setRenderHint(QPainter::Antialiasing, false);
        m_painter->setFont(m_font);
        m_painter->setPen(m_text);
        m_painter->setBackgroundMode(Qt::OpaqueMode);
        m_painter->setBackground(m_background);
    }
    return *m_painter;
}

ReadoutCache::Entry ReadoutCache::Render(std::uint16_t value) {
    QPainter& painter = ScratchPainter();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(m_scratch.size()) / m_pixelRatio),
                     Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawText(QRect(QPoint(0, 0), m_box), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QString::number(value));

    // Keep only the rectangle around the drawn pixels. The raster painter draws straight into
    // the image, so it can be read with the painter still open.
    QRect drawn;
    for (int y = 0; y < m_scratch.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(m_scratch.constScanLine(y));
        for (int x = 0; x < m_scratch.width(); ++x)
            if (qAlpha(line[x]) != 0) drawn |= QRect(x, y, 1, 1);
    }
    if (drawn.isEmpty()) return {};
    // A byte per pixel holds the text over its box exactly: 208 KB for a full cache, not 438.
    QImage cut = PalettisedImage(m_scratch.copy(drawn));
    cut.setDevicePixelRatio(m_pixelRatio);
    return {QPointF(drawn.topLeft()) / m_pixelRatio, std::move(cut)};
}

}  // namespace sphyra
