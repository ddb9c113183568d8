#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace sphyra {

// Pixel geometry of the sweeping trace, kept free of the toolkit so it can be tested
// exactly: where each sample lands, which segments a repaint of some columns needs,
// which columns a new sample dirties, and which pixels a one-pixel line lights.
class WaveGeometry {
public:
    static constexpr int kMaxSamples = 1024;
    // The baseline (value 0) sits this far above the bottom edge.
    static constexpr int kBaselineMargin = 8;

    // Inclusive range of integers; empty when first > last.
    struct Span {
        int first = 0;
        int last = -1;
        bool Empty() const { return first > last; }
        bool operator==(const Span&) const = default;
    };

    // A rectangle of lit pixels.
    struct Run {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        bool operator==(const Run&) const = default;
    };

    // Segment i joins sample i - 1 to sample i.
    struct Segment {
        int x1 = 0;
        int y1 = 0;
        int x2 = 0;
        int y2 = 0;
    };

    WaveGeometry(float xScale, float yScale, int width, int height);

    // Samples that fit across `width` pixels, never more than kMaxSamples.
    static int CapacityForWidth(int width, float xScale);

    int Baseline() const { return m_height - kBaselineMargin; }
    int Step() const { return m_step; }
    int TraceY(std::uint16_t value) const;

    // Columns to repaint once the sample count has become `count`: the new segment and
    // a little margin either side.
    Span DirtyColumns(int count) const;
    // Rows the new segment can light once the sample count has become `count`, within the
    // view; empty when there is no segment yet. Everything else in the dirty columns looks
    // the same before and after, so repainting only these rows shows the same pixels.
    Span DirtyRows(int count, const std::uint16_t* samples) const;
    // The rows from the highest to the lowest of the first `count` samples, as they would lie
    // if the view were tall enough; they may reach past its edges.
    Span TraceRows(const std::uint16_t* samples, int count) const;

    // x where segment i (1 <= i) starts; the trace returns to 0 whenever it reaches the
    // right edge.
    int SegmentStartX(int i) const;

    Segment SegmentAt(int i, const std::uint16_t* samples) const;

    // Segment indices, in ascending runs, whose columns meet [columns.first,
    // columns.last] when `points` samples are drawn. A segment can light pixels in
    // both its start and end column, so both count.
    std::vector<Span> SegmentsMeeting(Span columns, int points) const;

    // A rectangle to repaint, as the columns and rows it covers.
    struct Area {
        Span columns;
        Span rows;
    };

    // Indices of the segments, ascending and each once, that can light a pixel inside
    // any of `areas` when the first `points` of `samples` are drawn.
    std::vector<int> SegmentsToPaint(const std::vector<Area>& areas, const std::uint16_t* samples,
                                     int points) const;

    // Rasterises a one-pixel line from (x1, y1) to (x2, y2) and hands the lit pixels to
    // `sink` as runs. The start pixel is lit and the end pixel is not, so consecutive
    // segments of a polyline never light a pixel twice. One pixel per step along the
    // major axis; the minor coordinate is rounded to nearest, and a line passing exactly
    // halfway between two pixels lights the left one (or the upper one for a shallow
    // line), which is the usual convention for cosmetic lines on desktop systems.
    template <class Sink>
    static void ForEachLineRun(int x1, int y1, int x2, int y2, Sink&& sink);

private:
    // Smallest step k along the major axis at which the rounded minor offset reaches `j`.
    static std::int64_t FirstStepAtOffset(std::int64_t j, std::int64_t n, std::int64_t d,
                                          bool halfwayTowardZero);

    float m_xScale;
    float m_yScale;
    int m_width;
    int m_height;
    int m_step;
    // Segments per sweep before the trace wraps to the left edge; 0 when it never wraps.
    int m_wrapPeriod;
};

template <class Sink>
void WaveGeometry::ForEachLineRun(int x1, int y1, int x2, int y2, Sink&& sink) {
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    const bool yMajor = std::abs(dy) > std::abs(dx);
    const std::int64_t n = yMajor ? std::abs(dy) : std::abs(dx);
    const std::int64_t d = yMajor ? std::abs(dx) : std::abs(dy);
    if (n == 0) {
        return;
    }
    const int majorSign = (yMajor ? dy : dx) < 0 ? -1 : 1;
    const int minorSign = (yMajor ? dx : dy) < 0 ? -1 : 1;
    // Halfway cases go to the smaller coordinate: toward offset 0 when the minor axis
    // grows, away from it when it shrinks.
    const bool halfwayTowardZero = minorSign > 0;

    std::int64_t kStart = 0;
    for (std::int64_t j = 0; j <= d && kStart < n; ++j) {
        std::int64_t kNext = j == d ? n : FirstStepAtOffset(j + 1, n, d, halfwayTowardZero);
        if (kNext > n) {
            kNext = n;
        }
        if (kNext > kStart) {
            const int minor = static_cast<int>(j) * minorSign;
            const int length = static_cast<int>(kNext - kStart);
            const int from =
                majorSign > 0 ? static_cast<int>(kStart) : -static_cast<int>(kNext - 1);
            if (yMajor) {
                sink(Run{x1 + minor, y1 + from, 1, length});
            } else {
                sink(Run{x1 + from, y1 + minor, length, 1});
            }
        }
        kStart = kNext;
    }
}

}  // namespace sphyra
