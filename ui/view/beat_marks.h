#pragma once

#include <QColor>
#include <QRect>
#include <bitset>
#include <cstdint>

#include "ui/view/wave_geometry.h"

class QPainter;
class QRegion;

namespace sphyra {

// Small ticks above the trace where the pulse analysis found a beat, one per marked sample of
// the current sweep.
class BeatMarks {
public:
    static constexpr int kWidth = 3;
    static constexpr int kHeight = 8;
    static constexpr int kGap = 4;        // between the tick and the trace
    static constexpr int kClearance = 6;  // samples before the beat the tick stays above
    static const QColor kColor;

    void Clear() { m_marked.reset(); }
    // Marks sample `index` of the sweep; out of range is ignored.
    void Mark(int index);
    bool IsMarked(int index) const;
    int Count() const { return static_cast<int>(m_marked.count()); }

    // Where the tick of sample `index` of `count` goes: centred above the sample, clear of the
    // trace over the few samples before it.
    static QRect RectAt(const WaveGeometry& geometry, const std::uint16_t* samples, int count,
                        int index);
    // Draws the ticks of the first `count` samples that meet `region`.
    void Paint(QPainter& painter, const WaveGeometry& geometry, const std::uint16_t* samples,
               int count, const QRegion& region) const;

private:
    std::bitset<WaveGeometry::kMaxSamples> m_marked;
};

}  // namespace sphyra
