#include "analysis/interval_tracker.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace sphyra::analysis {
namespace {

using Verdict = IntervalTracker::Verdict;

// Beats at 100 samples/s; returns the verdict on the last.
Verdict Beats(IntervalTracker& t, std::initializer_list<double> positions) {
    Verdict v = Verdict::First;
    for (const double p : positions) v = t.AddBeat(p, 100.0);
    return v;
}

TEST(IntervalTracker, ExtraAndMissedBeatsLeaveTheMedianAlone) {
    IntervalTracker t;
    Beats(t, {0, 80, 160, 240, 320});
    ASSERT_EQ(*t.MedianInterval(), 80);
    // A knock between two beats is skipped, and the interval it fell in stays whole.
    EXPECT_EQ(Beats(t, {350}), Verdict::Irregular);
    EXPECT_EQ(Beats(t, {400}), Verdict::Accepted);
    EXPECT_EQ(t.LastAcceptedInterval(), 80);
    // A missed beat: the long interval is refused, and measuring goes on from the late beat.
    EXPECT_EQ(Beats(t, {560}), Verdict::Irregular);
    EXPECT_EQ(Beats(t, {640}), Verdict::Accepted);
    EXPECT_EQ(t.AcceptedRun(), 1u);
    EXPECT_EQ(t.RecentRejections(4), 2u);
    EXPECT_EQ(*t.MedianInterval(), 80);
    // Beyond 30-220 BPM nothing counts, however regular.
    EXPECT_EQ(Beats(t, {660}), Verdict::TooShort);
    EXPECT_EQ(Beats(t, {1000}), Verdict::TooLong);
}

TEST(IntervalTracker, ARunAtANewRateTakesOver) {
    IntervalTracker t;
    Beats(t, {0, 100, 200, 300, 400, 500});
    // Twice the rate: at first it looks like extra beats between the old ones, but three
    // agreeing spacings are a new rate.
    EXPECT_EQ(Beats(t, {550}), Verdict::Irregular);
    EXPECT_EQ(Beats(t, {600}), Verdict::Accepted);
    EXPECT_EQ(Beats(t, {650}), Verdict::Accepted);
    EXPECT_EQ(*t.MedianInterval(), 50);
    EXPECT_EQ(t.RecentRejections(8), 0u);
}

}  // namespace
}  // namespace sphyra::analysis
