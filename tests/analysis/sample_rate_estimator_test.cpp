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

TEST(SampleRateEstimator, AStalledReaderIsNotANewRate) {
    // The sensor keeps sending while the program is held up for a while; the frames it missed
    // then arrive all at once. Once they are in, samples and time agree again: no new rate.
    for (const std::uint32_t stallMs : {300u, 600u, 900u}) {
        SCOPED_TRACE(stallMs);
        std::mt19937 rng(7);
        SampleRateEstimator e;
        std::uint32_t tick = Feed(e, 1000, 4000, 50, 10, 2, rng);
        const std::uint32_t resumed = tick + stallMs;
        // The backlog comes in reads a millisecond apart, several frames each.
        for (std::uint32_t missed = 0; missed < stallMs / 20; ++missed)
            e.AddBatch(resumed + missed / 4, 80);
        Feed(e, resumed + stallMs / 80, 4000, 50, 5, 2, rng);
        EXPECT_EQ(e.Restarts(), 0u);
        EXPECT_NEAR(e.RateHz(), 4000, 40);
    }
    // Held up for longer than a silence: the stream starts afresh, after its backlog.
    std::mt19937 rng(8);
    SampleRateEstimator e;
    std::uint32_t tick = Feed(e, 1000, 4000, 50, 10, 2, rng);
    for (std::uint32_t missed = 0; missed < 1500 / 20; ++missed)
        e.AddBatch(tick + 1500 + missed / 4, 80);
    Feed(e, tick + 1520, 4000, 50, 1, 2, rng);
    EXPECT_EQ(e.Restarts(), 1u);
    EXPECT_NEAR(e.RateHz(), 4000, 40);
}

}  // namespace
}  // namespace sphyra::analysis
