#include "ui/view/beat_marks.h"

#include <QPainter>
#include <QRegion>
#include <algorithm>

namespace sphyra {

const QColor BeatMarks::kColor(255, 255, 0);

void BeatMarks::Mark(int index) {
    if (index >= 0 && index < WaveGeometry::kMaxSamples)
        m_marked.set(static_cast<std::size_t>(index));
}

bool BeatMarks::IsMarked(int index) const {
    return index >= 0 && index < WaveGeometry::kMaxSamples &&
           m_marked.test(static_cast<std::size_t>(index));
}

QRect BeatMarks::RectAt(const WaveGeometry& geometry, const std::uint16_t* samples, int count,
                        int index) {
    // Sample i ends segment i; the first sample is where segment 1 starts.
    const int x = index >= 1 ? geometry.SegmentAt(index, samples).x2 : geometry.SegmentStartX(1);
    int y = geometry.TraceY(samples[index]);
    // Only samples up to the beat's count: later ones could move a tick already drawn. They are
    // the ones that matter, since a detector finds a peak at or after its top.
    const int to = std::min(count - 1, index);
    for (int i = std::max(0, index - kClearance); i <= to; ++i)
        y = std::min(y, geometry.TraceY(samples[i]));
    const int top = std::max(0, y - kGap - kHeight);
    return QRect(x - kWidth / 2, top, kWidth, kHeight);
}

void BeatMarks::Paint(QPainter& painter, const WaveGeometry& geometry, const std::uint16_t* samples,
                      int count, const QRegion& region) const {
    if (m_marked.none()) return;
    const int last = std::min(count, WaveGeometry::kMaxSamples);
    for (int i = 0; i < last; ++i) {
        if (!m_marked.test(static_cast<std::size_t>(i))) continue;
        const QRect rect = RectAt(geometry, samples, last, i);
        if (region.intersects(rect)) painter.fillRect(rect, kColor);
    }
}

}  // namespace sphyra
