#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QSize>

#include <cstdint>
#include <memory>

namespace sphyra {

// The waveform's latest-value read-out, laid out and drawn once per value and kept as an
// image, so a repaint copies pixels instead of shaping the text again. The image holds the
// text and its opaque background box, cut to them: drawing it gives the same pixels as
// drawing the text in place.
class ReadoutCache {
public:
    // Values kept before the cache starts over; raw samples have 256 values.
    static constexpr int kMaxEntries = 256;

    ReadoutCache(QFont font, QColor text, QColor background, QSize box);

    // The drawn part of one value's read-out: its image and where that goes in the box.
    struct Entry {
        QPointF offset;
        QImage image;
    };

    // The read-out of `value` for a device of pixel ratio `pixelRatio`.
    const Entry& Image(std::uint16_t value, qreal pixelRatio);

    int Size() const { return static_cast<int>(m_images.size()); }

private:
    Entry Render(std::uint16_t value);
    QPainter& ScratchPainter();

    QFont m_font;
    QColor m_text;
    QColor m_background;
    QSize m_box;
    qreal m_pixelRatio = 1.0;
    QHash<std::uint16_t, Entry> m_images;
    // Each new value is drawn into the same box by a painter kept open on it: a painter begun
    // afresh looks the font up again, and a new value comes every few frames at first.
    QImage m_scratch;
    std::unique_ptr<QPainter> m_painter;  // ends before m_scratch goes
};

}  // namespace sphyra
