#include "tools/sim/pulse_waveform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace sphyra {
namespace {

struct Extremum {
    double phase;
    double level;
    bool isMax;
};

// Local maxima and minima of one beat sampled at `steps` points.
std::vector<Extremum> BeatExtrema(int steps) {
    std::vector<Extremum> found;
    for (int i = 0; i < steps; ++i) {
        const double p = static_cast<double>(i) / steps;
        const double before = PulseWaveform::Shape(p - 1.0 / steps);
        const double here = PulseWaveform::Shape(p);
        const double after = PulseWaveform::Shape(p + 1.0 / steps);
        if (here > before && here >= after) found.push_back({p, here, true});
        if (here < before && here <= after) found.push_back({p, here, false});
    }
    return found;
}

TEST(PulseWaveform, OneBeatHasSystolicPeakNotchDicroticWaveAndFootOnly) {
    const std::vector<Extremum> extrema = BeatExtrema(2000);
    ASSERT_EQ(extrema.size(), 4u);
    const Extremum& systolic = extrema[0];
    const Extremum& notch = extrema[1];
    const Extremum& dicrotic = extrema[2];
    const Extremum& foot = extrema[3];
    EXPECT_TRUE(systolic.isMax);
    EXPECT_FALSE(notch.isMax);
    EXPECT_TRUE(dicrotic.isMax);
    EXPECT_FALSE(foot.isMax);

    EXPECT_NEAR(systolic.phase, PulseWaveform::kSystolicPhase, 0.01);
    EXPECT_NEAR(notch.phase, PulseWaveform::kNotchPhase, 0.02);
    EXPECT_NEAR(dicrotic.phase, PulseWaveform::kDicroticPhase, 0.01);
    EXPECT_NEAR(systolic.level, 1.0, 1e-3);
    EXPECT_NEAR(foot.level, 0.0, 1e-3);
    // A visible notch: clearly below the dicrotic wave, which stays well under the peak.
    EXPECT_GT(dicrotic.level - notch.level, 0.1);
    EXPECT_GT(notch.level, 0.15);
    EXPECT_LT(dicrotic.level, 0.7);
}

TEST(PulseWaveform, ShapeStaysInRangeAndJoinsBeatToBeat) {
    for (int i = -2000; i <= 4000; ++i) {
        const double p = i / 1000.0;
        const double v = PulseWaveform::Shape(p);
        ASSERT_GE(v, 0.0);
        ASSERT_LE(v, 1.0);
        ASSERT_NEAR(v, PulseWaveform::Shape(p + 1.0), 1e-9);
        // No jump anywhere, the join between beats included.
        ASSERT_LT(std::abs(PulseWaveform::Shape(p + 0.001) - v), 0.02) << p;
    }
}

TEST(PulseWaveform, BeatPeriodMatchesRate) {
    for (double bpm : {55.0, 72.5, 110.0, 180.0}) {
        const PulseWaveform wave(bpm, 0.7);
        constexpr double kRate = 500.0;
        std::vector<double> rises;
        double previous = wave.ValueAt(0.0);
        for (int i = 1; i < static_cast<int>(30 * kRate); ++i) {
            const double t = i / kRate;
            const double v = wave.ValueAt(t);
            if (previous < 0.5 && v >= 0.5) rises.push_back(t);
            previous = v;
        }
        ASSERT_GE(rises.size(), 20u);
        const double period =
            (rises.back() - rises.front()) / static_cast<double>(rises.size() - 1);
        EXPECT_NEAR(period, 60.0 / bpm, 60.0 / bpm * 0.005) << bpm;
    }
}

TEST(PulseWaveform, SamplesScaleWithGainAndClipAtTheByteRange) {
    EXPECT_EQ(PulseWaveform::ToSample(0.0, 5), 24);
    EXPECT_EQ(PulseWaveform::ToSample(1.0, 5), 24 + 5 * 36);
    EXPECT_EQ(PulseWaveform::ToSample(0.5, 4), 24 + 72);
    EXPECT_EQ(PulseWaveform::ToSample(1.0, 0), 24);
    EXPECT_EQ(PulseWaveform::ToSample(1.0, 7), 255);  // clipped, not wrapped
    EXPECT_EQ(PulseWaveform::ToSample(1.0, 255), 255);
    EXPECT_EQ(PulseWaveform::ToSample(0.0, 5, -100.0), 0);
    EXPECT_EQ(PulseWaveform::ToSample(0.0, 5, 0.6), 25);  // rounded
}

TEST(PulseWaveform, RejectsRatesThatAreNotPositive) {
    EXPECT_THROW(PulseWaveform{0.0}, std::invalid_argument);
    EXPECT_THROW(PulseWaveform{-60.0}, std::invalid_argument);
    EXPECT_THROW(PulseWaveform{std::numeric_limits<double>::quiet_NaN()}, std::invalid_argument);
}

}  // namespace
}  // namespace sphyra
