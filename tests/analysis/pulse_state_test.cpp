// The state machine as a user meets it: a rate only for a pulse that can be trusted, gone
// within 3 s once the pulse stops, back within 8 s once a clean pulse starts.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <vector>

#include "analysis/pulse_analyzer.h"
#include "tests/analysis/live_feed.h"
#include "tools/pulse/synthetic_pulse.h"

namespace sphyra::analysis {
namespace {

using Episode = SyntheticPulseConfig::Episode;

struct Timeline {
    std::vector<double> times;
    std::vector<PulseState> states;
    std::vector<bool> rated;

    // The first time at or after `from` (and before `to`) where `pred` holds, if any.
    template <typename Pred>
    std::optional<double> First(double from, double to, Pred pred) const {
        for (std::size_t i = 0; i < times.size(); ++i) {
            if (times[i] >= from && times[i] < to && pred(i)) return times[i];
        }
        return std::nullopt;
    }
    bool RatedBetween(double from, double to) const {
        return First(from, to, [&](std::size_t i) { return bool(rated[i]); }).has_value();
    }
};

Timeline Watch(const SyntheticPulseConfig& c, LiveFeed feed = {}) {
    const SyntheticPulse pulse = MakeSyntheticPulse(c);
    PulseAnalyzer analyzer;
    feed.sampleRateHz = c.sampleRateHz;
    Timeline line;
    feed.Play(analyzer, pulse.samples, [&](const PulseAnalyzer& a, double t) {
        const PulseStatus& s = a.Status();
        EXPECT_EQ(s.rateBpm.has_value(), s.state == PulseState::Good);
        line.times.push_back(t);
        line.states.push_back(s.state);
        line.rated.push_back(s.rateBpm.has_value());
    });
    return line;
}

TEST(PulseState, FingerOffAndOnAgain) {
    // 40 BPM is the slowest start the 8 s rule must meet, here from a sensor sending 10 frames
    // a second with much jitter; 150 BPM the quick one, at 50 frames a second.
    for (const double bpm : {40.0, 150.0}) {
        SCOPED_TRACE(bpm);
        SyntheticPulseConfig c;
        c.bpm = bpm;
        LiveFeed feed;
        feed.framesPerSecond = bpm < 100 ? 10 : 50;
        feed.jitterMs = bpm < 100 ? 40 : 8;
        c.seconds = 80;
        c.variability = 0.03;
        c.noiseCounts = 1;
        c.episodes = {{0, 5, Episode::FlatZero},
                      {20, 30, Episode::FlatZero},
                      {40, 50, Episode::Saturated},
                      {60, 70, Episode::Noise}};
        const Timeline line = Watch(c, feed);
        auto noSignal = [&](std::size_t i) { return line.states[i] == PulseState::NoSignal; };
        EXPECT_FALSE(line.RatedBetween(0, 5));
        EXPECT_TRUE(line.First(3, 5, noSignal));
        for (const double start : {5.0, 30.0, 50.0, 70.0}) {
            SCOPED_TRACE(start);
            const auto rated =
                line.First(start, start + 8, [&](std::size_t i) { return bool(line.rated[i]); });
            EXPECT_TRUE(rated);
        }
        // Finger off: no rate from 3 s in, and no signal said so.
        for (const double off : {20.0, 40.0}) {
            SCOPED_TRACE(off);
            EXPECT_FALSE(line.RatedBetween(off + 3, off + 10));
            EXPECT_TRUE(line.First(off, off + 3, noSignal));
        }
        // Motion noise: never a rate once the pulse is gone.
        EXPECT_FALSE(line.RatedBetween(63, 70));
    }
}

TEST(PulseState, NoiseAloneNeverShowsARate) {
    for (const std::uint32_t seed : {1u, 2u, 3u}) {
        SyntheticPulseConfig c;
        c.seconds = 120;
        c.seed = seed;
        c.episodes = {{0, 120, Episode::Noise}};
        const Timeline line = Watch(c);
        EXPECT_FALSE(line.RatedBetween(0, 120)) << seed;
    }
}

TEST(PulseState, SilenceLosesTheRateAndBeatsAreReportedOnce) {
    SyntheticPulseConfig c;
    c.bpm = 90;
    c.seconds = 20;
    const SyntheticPulse pulse = MakeSyntheticPulse(c);
    PulseAnalyzer analyzer;
    LiveFeed feed;
    std::vector<Beat> beats;
    const std::uint32_t last =
        feed.Play(analyzer, pulse.samples, [&](const PulseAnalyzer& a, double) {
            for (const Beat& b : a.NewBeats()) {
                // A display marks a beat this many samples back from the newest.
                ASSERT_LT(b.sampleIndex, a.SamplesSeen());
                if (!beats.empty()) {
                    EXPECT_GT(b.sampleIndex, beats.back().sampleIndex);
                }
                beats.push_back(b);
            }
        });
    ASSERT_TRUE(analyzer.Status().rateBpm);
    EXPECT_NEAR(*analyzer.Status().rateBpm, 90, 3);
    EXPECT_NEAR(analyzer.Status().lastIntervalMs, 667, 60);
    EXPECT_NEAR(analyzer.Status().sampleRateHz, 100, 0.5);
    EXPECT_NEAR(beats.back().timeS, pulse.beatTimesS.back(), 0.15);
    EXPECT_EQ(analyzer.SamplesSeen(), pulse.samples.size());

    // The window's timer keeps calling; a tick from just before the last batch changes nothing.
    analyzer.Advance(last - 10);
    EXPECT_TRUE(analyzer.Status().rateBpm);
    analyzer.Advance(last + 3000);
    EXPECT_EQ(analyzer.Status().state, PulseState::NoSignal);
    EXPECT_FALSE(analyzer.Status().rateBpm);

    analyzer.Reset();
    EXPECT_EQ(analyzer.SamplesSeen(), 0u);
    EXPECT_EQ(analyzer.Status().state, PulseState::NoSignal);
    EXPECT_EQ(analyzer.Status().sampleRateHz, 0);
}

// Whatever arrives (any counts, batch sizes, ticks that jump, stall or go back), the status
// keeps its promises and beats stay in order.
TEST(PulseState, ArbitraryInputKeepsTheInvariants) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> count(0, 80);
    std::uniform_int_distribution<int> value(0, 0xFFFF);
    std::uniform_int_distribution<int> step(-50, 400);
    std::uniform_int_distribution<int> mode(0, 3);
    PulseAnalyzer analyzer;
    std::vector<std::uint16_t> batch(80);
    std::vector<std::uint8_t> bytes(80);
    std::uint32_t tick = 0xFFFFF000u;
    std::uint64_t lastBeat = 0;
    bool anyBeat = false;
    for (int i = 0; i < 20000; ++i) {
        const int n = count(rng);
        const int m = mode(rng);
        for (int k = 0; k < n; ++k) {
            // Random counts, a square wave, a rail, or raw bytes.
            batch[k] = static_cast<std::uint16_t>(m == 0   ? value(rng)
                                                  : m == 1 ? ((i / 7) % 2) * 200
                                                           : 0xFFFF);
            bytes[k] = static_cast<std::uint8_t>(value(rng));
        }
        tick += static_cast<std::uint32_t>(step(rng));
        if (i % 500 == 0) analyzer.Advance(tick + 5000);
        const auto size = static_cast<std::size_t>(n);
        if (m == 3) {
            analyzer.AddByteSamples(tick, bytes.data(), size);
        } else {
            analyzer.AddSamples(tick, batch.data(), size);
        }
        const PulseStatus& s = analyzer.Status();
        ASSERT_EQ(s.rateBpm.has_value(), s.state == PulseState::Good);
        if (s.rateBpm) {
            ASSERT_GE(*s.rateBpm, 30.0 * 0.7);
            ASSERT_LE(*s.rateBpm, 220.0 / 0.7);
        }
        ASSERT_TRUE(std::isfinite(s.sampleRateHz));
        for (const Beat& b : analyzer.NewBeats()) {
            ASSERT_LT(b.sampleIndex, analyzer.SamplesSeen());
            if (anyBeat) {
                ASSERT_GE(b.sampleIndex, lastBeat);
            }
            ASSERT_TRUE(std::isfinite(b.timeS));
            lastBeat = b.sampleIndex;
            anyBeat = true;
        }
    }
}

}  // namespace
}  // namespace sphyra::analysis
