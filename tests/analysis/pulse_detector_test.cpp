// The detector on synthetic pulses whose beats are known: every beat found, none invented,
// and the rate right, across heart rates, sample rates and rates that change.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/band_pass_filter.h"
#include "analysis/pulse_analyzer.h"
#include "tests/analysis/live_feed.h"
#include "tools/pulse/beat_matching.h"
#include "tools/pulse/synthetic_pulse.h"

namespace sphyra::analysis {
namespace {

// Peak-to-peak output over the last half of `seconds` of a unit sine at `hz`.
double SineGain(double hz, double sampleRateHz) {
    BandPassFilter f;
    f.Design(sampleRateHz);
    const int n = static_cast<int>(20.0 * sampleRateHz);
    double low = 0, high = 0;
    for (int i = 0; i < n; ++i) {
        const double y = f.Process(std::sin(2 * std::numbers::pi * hz * i / sampleRateHz));
        if (i > n / 2) low = std::min(low, y), high = std::max(high, y);
    }
    return (high - low) / 2;
}

TEST(PulseDetector, BandPassKeepsThePulseBandOnly) {
    for (const double fs : {50.0, 500.0}) {
        SCOPED_TRACE(fs);
        EXPECT_NEAR(SineGain(2.0, fs), 1.0, 0.05);
        EXPECT_NEAR(SineGain(0.5, fs), std::numbers::sqrt2 / 2, 0.05);  // the corners: -3 dB
        EXPECT_LT(SineGain(0.05, fs), 0.02);
        EXPECT_LT(SineGain(20.0, fs), 0.2);
    }
}

struct Analysis {
    BeatScore score;
    std::vector<double> shownBpm;  // once a second
};

Analysis Analyze(const SyntheticPulseConfig& c, const SyntheticPulse& pulse) {
    PulseAnalyzer analyzer;
    LiveFeed feed;
    feed.sampleRateHz = c.sampleRateHz;
    Analysis run;
    std::vector<double> beats;
    double nextSecond = 1;
    feed.Play(analyzer, pulse.samples, [&](const PulseAnalyzer& a, double t) {
        for (const Beat& b : a.NewBeats()) beats.push_back(b.timeS);
        if (t >= nextSecond) {
            run.shownBpm.push_back(a.Status().rateBpm.value_or(0));
            nextSecond += 1;
        }
    });
    // The first few beats are the warm-up; the last half second's are still being decided.
    const std::array<TimeSpan, 2> unscored{{{-1, 4}, {c.seconds - 0.5, c.seconds}}};
    run.score = ScoreBeats(beats, pulse.beatTimesS, 0.05, unscored);
    return run;
}

TEST(PulseDetector, FindsEveryBeatAcrossHeartAndSampleRates) {
    struct Case {
        double bpm, hz;
    };
    for (const Case k : {Case{40, 50}, Case{75, 100}, Case{120, 250}, Case{200, 500}, Case{200, 50},
                         Case{40, 500}}) {
        SCOPED_TRACE(testing::Message() << k.bpm << " BPM at " << k.hz << " Hz");
        SyntheticPulseConfig c;
        c.bpm = k.bpm;
        c.sampleRateHz = k.hz;
        c.seconds = 40;
        c.variability = 0.04;
        c.noiseCounts = 1.5;
        const SyntheticPulse pulse = MakeSyntheticPulse(c);
        const Analysis run = Analyze(c, pulse);
        EXPECT_EQ(run.score.matched, run.score.reference);
        EXPECT_EQ(run.score.detected, run.score.reference);
        // The median error over the last 30 s, against the rate of the 8 beats before: a beat
        // is known about half a second after its peak.
        std::vector<double> errors;
        for (std::size_t s = 10; s <= run.shownBpm.size(); ++s) {
            errors.push_back(std::abs(run.shownBpm[s - 1] - pulse.TrueBpmAt(double(s) - 0.5)));
        }
        std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
        EXPECT_LE(errors[errors.size() / 2], 1.0);
    }
}

TEST(PulseDetector, TracksChangingRates) {
    // A climb from rest to exercise in a minute, then an abrupt halving.
    SyntheticPulseConfig c;
    c.bpm = 60;
    c.bpmEnd = 160;
    c.sampleRateHz = 100;
    c.seconds = 60;
    c.variability = 0.03;
    const SyntheticPulse climb = MakeSyntheticPulse(c);
    const Analysis run = Analyze(c, climb);
    EXPECT_GE(run.score.Sensitivity(), 0.99);
    EXPECT_GE(run.score.PositivePredictivity(), 0.99);
    for (std::size_t s = 10; s < run.shownBpm.size(); ++s) {
        SCOPED_TRACE(s);
        // The median of the last beats trails a climb of 1.7 BPM a second by a little.
        EXPECT_NEAR(run.shownBpm[s - 1], climb.TrueBpmAt(static_cast<double>(s)), 4.0);
    }

    c.bpm = 150;
    c.bpmEnd = 0;
    c.seconds = 20;
    SyntheticPulse step = MakeSyntheticPulse(c);
    c.bpm = 75;
    const SyntheticPulse slow = MakeSyntheticPulse(c);
    step.samples.insert(step.samples.end(), slow.samples.begin(), slow.samples.end());
    PulseAnalyzer analyzer;
    LiveFeed feed;
    std::vector<double> shown;
    feed.Play(analyzer, step.samples, [&](const PulseAnalyzer& a, double t) {
        if (t > 28.0 && a.Status().rateBpm) shown.push_back(*a.Status().rateBpm);
    });
    // Within eight seconds of the step the rate is the new one, and nothing in between stays.
    ASSERT_FALSE(shown.empty());
    for (const double bpm : shown) EXPECT_NEAR(bpm, 75, 3);
}

}  // namespace
}  // namespace sphyra::analysis
