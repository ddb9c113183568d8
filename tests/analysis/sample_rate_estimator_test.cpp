#include "analysis/sample_rate_estimator.h"

#include <gtest/gtest.h>

#include <random>

namespace sphyra::analysis {
namespace {

// Batches of a sensor at `hz` that sends `framesPerSecond` frames, for `seconds`, with
// arrival jitter up to `jitterMs`; the counts vary as the sensor's sample clock and its frame
// timer drift apart. Returns the tick of the last batch.
std::uint32_t Feed(SampleRateEstimator& e, std::uint32_t start, double hz, double framesPerSecond,
                   double seconds, double jitterMs, std::mt19937& rng) {
    std::uniform_real_distribution<double> jitter(0.0, jitterMs);
    std::uint32_t tick = start;
    std::size_t sent = 0;
    for (int frame = 1; frame <= static_cast<int>(seconds * framesPerSecond); ++frame) {
        const double t = frame / framesPerSecond;
        const auto due = static_cast<std::size_t>(t * hz);
        tick = start + static_cast<std::uint32_t>(std::lround(1000.0 * t + jitter(rng)));
        e.AddBatch(tick, due - sent);
        sent = due;
    }
    return tick;
}

TEST(SampleRateEstimator, JitteredArrivalsAcrossTheTickWrap) {
    struct Case {
        double hz, framesPerSecond, jitterMs;
    };
    // From 10 frames of 5 samples to 50 frames of 80, jitter up to a third of a frame.
    for (const Case c :
         {Case{50, 10, 30}, Case{125, 25, 15}, Case{333, 50, 6}, Case{4000, 50, 6}}) {
        SCOPED_TRACE(c.hz);
        std::mt19937 rng(3);
        SampleRateEstimator e;
        e.AddBatch(0xFFFFF000u, 7);
        EXPECT_EQ(e.RateHz(), 0);  // one arrival tells nothing
        Feed(e, 0xFFFFF000u, c.hz, c.framesPerSecond, 10.0, c.jitterMs, rng);
        EXPECT_NEAR(e.RateHz(), c.hz, 0.003 * c.hz);
        EXPECT_EQ(e.Restarts(), 0u);
    }
}

TEST(SampleRateEstimator, FollowsARestartAtANewRate) {
    std::mt19937 rng(5);
    SampleRateEstimator e;
    std::uint32_t tick = Feed(e, 1000, 100, 25, 10, 10, rng);
    ASSERT_NEAR(e.RateHz(), 100, 0.5);
    // Straight on at a new rate, then after a silence at a third.
    tick = Feed(e, tick, 250, 25, 3, 10, rng);
    EXPECT_NEAR(e.RateHz(), 250, 5);
    EXPECT_EQ(e.Restarts(), 1u);
    Feed(e, tick + 5000, 60, 10, 3, 10, rng);
    EXPECT_NEAR(e.RateHz(), 60, 1.5);
    EXPECT_GE(e.Restarts(), 2u);
}

}  // namespace
}  // namespace sphyra::analysis
