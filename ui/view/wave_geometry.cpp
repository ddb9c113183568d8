#include "ui/view/wave_geometry.h"

#include <algorithm>

namespace sphyra {

namespace {

int FloorDiv(int a, int b) {
    const int q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int CeilDiv(int a, int b) {
    return -FloorDiv(-a, b);
}

// Truncates toward zero, as the original integer conversion of a scaled position did.
int Truncate(float value) {
    return static_cast<int>(value);
}

}  // namespace

WaveGeometry::WaveGeometry(float xScale, float yScale, int width, int height)
    : m_xScale(xScale),
      m_yScale(yScale),
      m_width(width),
      m_height(height),
      m_step(std::max(0, Truncate(xScale))),
      m_wrapPeriod(0) {
    if (m_step > 0) {
        m_wrapPeriod = std::max(1, CeilDiv(m_width, m_step));
    } else if (m_width <= 0) {
        m_wrapPeriod = 1;  // x = 0 already counts as the right edge
    }
}

int WaveGeometry::CapacityForWidth(int width, float xScale) {
    if (!(xScale > 0.0F)) {
        return kMaxSamples;
    }
    const float fit = static_cast<float>(width) / xScale;
    if (fit >= static_cast<float>(kMaxSamples)) {
        return kMaxSamples;
    }
    return Truncate(fit);
}

int WaveGeometry::TraceY(std::uint16_t value) const {
    return Baseline() - Truncate(static_cast<float>(value) * m_yScale);
}

WaveGeometry::Span WaveGeometry::DirtyColumns(int count) const {
    return {Truncate(static_cast<float>(count - 2) * m_xScale),
            Truncate(static_cast<float>(count + 2) * m_xScale) - 1};
}

WaveGeometry::Span WaveGeometry::DirtyRows(int count, const std::uint16_t* samples) const {
    if (count < 2) return {};
    const int y1 = TraceY(samples[count - 2]);
    const int y2 = TraceY(samples[count - 1]);
    return {std::max(std::min(y1, y2), 0), std::min(std::max(y1, y2), m_height - 1)};
}

WaveGeometry::Span WaveGeometry::TraceRows(const std::uint16_t* samples, int count) const {
    if (count < 1) return {};
    int top = TraceY(samples[0]);
    int bottom = top;
    for (int i = 1; i < count; ++i) {
        const int y = TraceY(samples[i]);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    return {top, bottom};
}

int WaveGeometry::SegmentStartX(int i) const {
    const int j = i - 1;
    return (m_wrapPeriod > 0 ? j % m_wrapPeriod : j) * m_step;
}

WaveGeometry::Segment WaveGeometry::SegmentAt(int i, const std::uint16_t* samples) const {
    const int x1 = SegmentStartX(i);
    return {x1, TraceY(samples[i - 1]), x1 + m_step, TraceY(samples[i])};
}

std::vector<WaveGeometry::Span> WaveGeometry::SegmentsMeeting(Span columns, int points) const {
    std::vector<Span> result;
    const int lastSegment = points - 1;
    if (lastSegment < 1 || columns.Empty()) {
        return result;
    }
    if (m_step == 0) {
        // Every segment is a vertical stroke in column 0.
        if (columns.first <= 0 && columns.last >= 0) {
            result.push_back({1, lastSegment});
        }
        return result;
    }
    // Within one sweep segment i starts at (i - 1) * step and ends one step further.
    const int jLow = std::max(0, CeilDiv(columns.first - m_step, m_step));
    const int jHigh = std::min(m_wrapPeriod - 1, FloorDiv(columns.last, m_step));
    if (jLow > jHigh) {
        return result;
    }
    for (int base = 0; base + 1 <= lastSegment; base += m_wrapPeriod) {
        const Span span{base + jLow + 1, std::min(base + jHigh + 1, lastSegment)};
        if (span.Empty()) {
            break;
        }
        if (!result.empty() && result.back().last + 1 == span.first) {
            result.back().last = span.last;
        } else {
            result.push_back(span);
        }
    }
    return result;
}

std::vector<int> WaveGeometry::SegmentsToPaint(const std::vector<Area>& areas,
                                               const std::uint16_t* samples, int points) const {
    std::vector<int> indices;
    for (const Area& area : areas) {
        if (area.rows.Empty()) {
            continue;
        }
        for (const Span& span : SegmentsMeeting(area.columns, points)) {
            for (int i = span.first; i <= span.last; ++i) {
                const Segment s = SegmentAt(i, samples);
                if (std::min(s.y1, s.y2) <= area.rows.last &&
                    std::max(s.y1, s.y2) >= area.rows.first) {
                    indices.push_back(i);
                }
            }
        }
    }
    // Areas of one region often share columns (a strip split into bands by another
    // rectangle), so the same segment can turn up more than once.
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    return indices;
}

std::int64_t WaveGeometry::FirstStepAtOffset(std::int64_t j, std::int64_t n, std::int64_t d,
                                             bool halfwayTowardZero) {
    // The minor offset at step k is k * d / n rounded; it reaches j once
    // 2kd > (2j - 1)n (halfway rounds toward zero) or 2kd >= (2j - 1)n (away from it).
    const std::int64_t numerator = (2 * j - 1) * n;
    const std::int64_t denominator = 2 * d;
    if (halfwayTowardZero) {
        return numerator / denominator + 1;
    }
    return (numerator + denominator - 1) / denominator;
}

}  // namespace sphyra
