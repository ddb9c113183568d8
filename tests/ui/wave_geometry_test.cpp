#include "ui/view/wave_geometry.h"

#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace sphyra {
namespace {

using Span = WaveGeometry::Span;
using LineRun = WaveGeometry::Run;
using Pixel = std::pair<int, int>;

TEST(WaveGeometryTest, CapacityFollowsWidthUpTo1024) {
    EXPECT_EQ(WaveGeometry::CapacityForWidth(1100, 1.0F), 1024);
    EXPECT_EQ(WaveGeometry::CapacityForWidth(900, 1.0F), 900);
    EXPECT_EQ(WaveGeometry::CapacityForWidth(0, 1.0F), 0);
    EXPECT_EQ(WaveGeometry::CapacityForWidth(10, 1.5F), 6);
}

// Follows the drawing loop literally: x advances by the step and returns to 0 once it
// reaches the right edge.
std::vector<int> SimulatedStarts(float xScale, int width, int segments) {
    std::vector<int> starts;
    const int step = static_cast<int>(xScale);
    int x = 0;
    for (int i = 1; i <= segments; ++i) {
        starts.push_back(x);
        x += step;
        if (x >= width) {
            x = 0;
        }
    }
    return starts;
}

TEST(WaveGeometryTest, SegmentSelectionMatchesTheDrawingLoopIncludingWraps) {
    const int kPoints = 40;
    for (float xScale : {1.0F, 2.0F, 3.0F, 3.7F, 0.5F}) {
        for (int width : {0, 1, 2, 7, 10, 50, 200}) {
            const WaveGeometry g(xScale, 1.0F, width, 100);
            const std::vector<int> starts = SimulatedStarts(xScale, width, kPoints - 1);
            const int step = g.Step();
            for (int i = 1; i < kPoints; ++i) {
                ASSERT_EQ(g.SegmentStartX(i), starts[static_cast<std::size_t>(i - 1)])
                    << "xScale " << xScale << " width " << width << " i " << i;
            }
            for (int first = -3; first < 60; first += 2) {
                for (int last = first; last < first + 9; last += 4) {
                    std::vector<int> expected;
                    for (int i = 1; i < kPoints; ++i) {
                        const int s = starts[static_cast<std::size_t>(i - 1)];
                        if (s <= last && s + step >= first) {
                            expected.push_back(i);
                        }
                    }
                    std::vector<int> actual;
                    for (const Span& span : g.SegmentsMeeting({first, last}, kPoints)) {
                        ASSERT_FALSE(span.Empty());
                        for (int i = span.first; i <= span.last; ++i) {
                            actual.push_back(i);
                        }
                    }
                    ASSERT_EQ(actual, expected) << "xScale " << xScale << " width " << width
                                                << " columns " << first << ".." << last;
                }
            }
        }
    }
}

TEST(WaveGeometryTest, AreasSelectSegmentsByRowsAsWellAsColumns) {
    const WaveGeometry g(1.0F, 1.0F, 1100, 300);
    std::vector<std::uint16_t> samples(1024, 100);  // y 192, well below the read-out box
    // A new sample's region: the read-out box and a strip, split into bands by the box.
    const std::vector<WaveGeometry::Area> region = {
        {{499, 502}, {0, 3}}, {{8, 67}, {4, 23}}, {{499, 502}, {4, 23}}, {{499, 502}, {24, 299}}};
    EXPECT_EQ(g.SegmentsToPaint(region, samples.data(), 501), (std::vector<int>{499, 500}));
    EXPECT_EQ(g.SegmentsToPaint(region, samples.data(), 1024),
              (std::vector<int>{499, 500, 501, 502, 503}));

    // A trace high enough to pass behind the read-out needs those segments too.
    samples[30] = 280;  // y 12
    EXPECT_EQ(g.SegmentsToPaint(region, samples.data(), 501), (std::vector<int>{30, 31, 499, 500}));
    EXPECT_TRUE(g.SegmentsToPaint({{{499, 502}, {5, 4}}}, samples.data(), 501).empty());
}

std::vector<LineRun> Runs(int x1, int y1, int x2, int y2) {
    std::vector<LineRun> runs;
    WaveGeometry::ForEachLineRun(x1, y1, x2, y2, [&runs](const LineRun& r) { runs.push_back(r); });
    return runs;
}

TEST(WaveGeometryTest, SteepStrokeSwitchesColumnHalfwayAndLeavesOutItsEnd) {
    // Halfway down (row 5) the line is exactly between columns 0 and 1: the left wins.
    EXPECT_EQ(Runs(0, 0, 1, 10), (std::vector<LineRun>{{0, 0, 1, 6}, {1, 6, 1, 4}}));
    EXPECT_EQ(Runs(0, 10, 1, 0), (std::vector<LineRun>{{0, 5, 1, 6}, {1, 1, 1, 4}}));
    EXPECT_EQ(Runs(3, 7, 4, 7), (std::vector<LineRun>{{3, 7, 1, 1}}));
    EXPECT_TRUE(Runs(4, 4, 4, 4).empty());
}

// One pixel per step along the longer axis, the other coordinate rounded to nearest,
// halfway cases to the smaller coordinate, end point left out.
std::multiset<Pixel> ReferencePixels(int x1, int y1, int x2, int y2) {
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    const bool yMajor = std::abs(dy) > std::abs(dx);
    const int n = yMajor ? std::abs(dy) : std::abs(dx);
    const int d = yMajor ? std::abs(dx) : std::abs(dy);
    const int majorSign = (yMajor ? dy : dx) < 0 ? -1 : 1;
    const int minorSign = (yMajor ? dx : dy) < 0 ? -1 : 1;
    std::multiset<Pixel> pixels;
    for (int k = 0; k < n; ++k) {
        int offset = k * d / n;
        const int twiceRemainder = 2 * (k * d % n);
        if (twiceRemainder > n || (twiceRemainder == n && minorSign < 0)) {
            ++offset;
        }
        const int major = k * majorSign;
        const int minor = offset * minorSign;
        pixels.insert(yMajor ? Pixel{x1 + minor, y1 + major} : Pixel{x1 + major, y1 + minor});
    }
    return pixels;
}

TEST(WaveGeometryTest, LineRunsLightExactlyTheReferencePixelsInEveryDirection) {
    for (int x2 = -9; x2 <= 9; ++x2) {
        for (int y2 = -13; y2 <= 13; ++y2) {
            std::multiset<Pixel> lit;
            WaveGeometry::ForEachLineRun(2, -1, x2, y2, [&lit](const LineRun& r) {
                ASSERT_TRUE(r.width == 1 || r.height == 1);
                for (int x = r.x; x < r.x + r.width; ++x) {
                    for (int y = r.y; y < r.y + r.height; ++y) {
                        lit.insert({x, y});
                    }
                }
            });
            ASSERT_EQ(lit, ReferencePixels(2, -1, x2, y2)) << "to " << x2 << "," << y2;
        }
    }
}

TEST(WaveGeometryTest, FullScaleSwingStaysTwoRuns) {
    // A one-sample jump across the whole value range must not cost a pixel-by-pixel walk.
    const std::vector<LineRun> runs = Runs(10, 292, 11, 292 - 65535);
    ASSERT_EQ(runs.size(), 2U);
    EXPECT_EQ(runs[0].height + runs[1].height, 65535);
    EXPECT_EQ(runs[0].x, 10);
    EXPECT_EQ(runs[1].x, 11);
}

}  // namespace
}  // namespace sphyra
