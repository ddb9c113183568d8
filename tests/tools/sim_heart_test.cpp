// The heart behind a simulated sensor, its finger-off and motion episodes, and
// recordings played as a sensor.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <numeric>
#include <string>
#include <vector>

#include "tests/tools/sim_test_support.h"
#include "tools/sim/csv_column.h"
#include "tools/sim/sensor_simulator.h"
#include "tools/sim/sim_options.h"

namespace sphyra {
namespace {

SimulatorConfig OneSensor(double bpm) {
    SimulatorConfig config = MakeSimulatorConfig(std::vector<std::uint8_t>{3}, 20, 25.0, 5);
    config.sensors[0].bpm = bpm;
    config.sensors[0].gain = 5;
    config.keepTrueBeats = true;
    return config;
}

std::vector<std::uint8_t> SamplesOf(const std::vector<std::uint8_t>& stream) {
    std::vector<std::uint8_t> samples;
    for (const test::ReceivedFrame& f : test::ParseStream(stream)) {
        samples.insert(samples.end(), f.samples.begin(), f.samples.end());
    }
    return samples;
}

double MeanInterval(const std::vector<SimBeat>& beats, double from, double to) {
    std::vector<double> intervals;
    for (std::size_t i = 1; i < beats.size(); ++i) {
        const bool normal = !beats[i].premature && !beats[i - 1].premature;
        if (normal && beats[i].timeS >= from && beats[i].timeS < to) {
            intervals.push_back(beats[i].timeS - beats[i - 1].timeS);
        }
    }
    return std::accumulate(intervals.begin(), intervals.end(), 0.0) /
           static_cast<double>(intervals.size());
}

TEST(SimulatedHeart, TrueBeatsAreThePeaksOfAnIrregularPulse) {
    SimulatorConfig config = OneSensor(75);
    config.noiseCounts = 0.0;
    SimSensorConfig& sensor = config.sensors[0];
    sensor.variability = 0.06;
    sensor.driftBpm = 10;
    sensor.driftPeriodS = 30;
    sensor.prematureRate = 0.08;
    SensorSimulator simulator(config);
    const std::vector<std::uint8_t> samples = SamplesOf(test::RunInSteps(simulator, 120'000, 40));
    const std::vector<SimBeat> beats(simulator.TrueBeats(0).begin(), simulator.TrueBeats(0).end());

    ASSERT_NEAR(static_cast<double>(beats.size()), 150.0, 15.0);
    std::size_t premature = 0;
    for (std::size_t i = 0; i < beats.size(); ++i) {
        const SimBeat& beat = beats[i];
        ASSERT_NEAR(beat.timeS * 500.0, static_cast<double>(beat.sampleIndex), 0.5);
        if (beat.sampleIndex < 75 || beat.sampleIndex + 75 >= samples.size()) continue;
        // On the top of the pulse wave: no other beat comes within 0.15 s either side.
        const auto window = samples.begin() + static_cast<std::ptrdiff_t>(beat.sampleIndex);
        const auto top = std::max_element(window - 75, window + 76);
        EXPECT_GE(*window + 1, *top) << "beat " << i;
        if (!beat.premature || i + 1 >= beats.size()) continue;
        if (beats[i - 1].premature || beats[i + 1].premature) continue;
        ++premature;
        // Early, weak, and the pause after it restores the rhythm.
        const double base =
            60.0 / (75.0 + 10.0 * std::sin(2.0 * std::numbers::pi * beat.timeS / 30.0));
        const double coupled = beat.timeS - beats[i - 1].timeS;
        const double pause = beats[i + 1].timeS - beat.timeS;
        EXPECT_LT(coupled, 0.8 * base);
        EXPECT_NEAR(coupled + pause, 2.0 * base, 0.15 * base);
        EXPECT_LT(*top, samples[beats[i - 1].sampleIndex] - 40);
    }
    EXPECT_GE(premature, 4u);
    // The rate swings with the drift: fast a quarter period in, slow at three quarters.
    EXPECT_LT(MeanInterval(beats, 5, 10) * 1.12, MeanInterval(beats, 20, 25));
    // Beat-to-beat variability: consecutive normal intervals differ.
    double change = 0.0;
    int counted = 0;
    for (std::size_t i = 2; i < beats.size(); ++i) {
        if (beats[i].premature || beats[i - 1].premature || beats[i - 2].premature) continue;
        const double a = beats[i].timeS - beats[i - 1].timeS;
        const double b = beats[i - 1].timeS - beats[i - 2].timeS;
        change += std::abs(a - b) / b;
        ++counted;
    }
    EXPECT_GT(change / counted, 0.03);
}

TEST(SimulatedHeart, EpisodesChangeOnlyTheirOwnStretch) {
    SimulatorConfig plain = OneSensor(70);
    plain.sensors[0].variability = 0.04;
    SimulatorConfig disturbed = plain;
    disturbed.sensors[0].episodes = {{EpisodeKind::kFlatZero, 2, 1},
                                     {EpisodeKind::kSaturated, 4, 1},
                                     {EpisodeKind::kNoise, 6, 1},
                                     {EpisodeKind::kWander, 8, 4}};
    SensorSimulator plainSim(plain);
    SensorSimulator disturbedSim(disturbed);
    const std::vector<std::uint8_t> a = SamplesOf(plainSim.Produce(14'000));
    const std::vector<std::uint8_t> b = SamplesOf(test::RunInSteps(disturbedSim, 14'000, 30));
    ASSERT_EQ(a.size(), b.size());

    const auto stretch = [](double from, double to) {
        return std::pair{static_cast<std::size_t>(from * 500), static_cast<std::size_t>(to * 500)};
    };
    std::vector<double> diff(a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        diff[i] = static_cast<double>(b[i]) - static_cast<double>(a[i]);
    const auto [flatFrom, flatTo] = stretch(2, 3);
    const auto [satFrom, satTo] = stretch(4, 5);
    const auto [noiseFrom, noiseTo] = stretch(6, 7);
    const auto [wanderFrom, wanderTo] = stretch(8, 12);
    double noiseSquares = 0.0;
    double wanderReach = 0.0;
    double wanderStep = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (i >= flatFrom && i < flatTo) {
            ASSERT_EQ(b[i], 0) << i;
        } else if (i >= satFrom && i < satTo) {
            ASSERT_EQ(b[i], 255) << i;
        } else if (i >= noiseFrom && i < noiseTo) {
            noiseSquares += diff[i] * diff[i];
        } else if (i >= wanderFrom && i < wanderTo) {
            wanderReach = std::max(wanderReach, std::abs(diff[i]));
            if (i > wanderFrom) wanderStep = std::max(wanderStep, std::abs(diff[i] - diff[i - 1]));
        } else {
            ASSERT_EQ(diff[i], 0.0) << "sample " << i << " lies outside every episode";
        }
    }
    EXPECT_GT(std::sqrt(noiseSquares / 500.0), 25.0);
    EXPECT_GT(wanderReach, 40.0);
    EXPECT_LT(wanderStep, 8.0);  // a slow swing, not noise (clipping aside)

    for (const SimBeat& beat : disturbedSim.TrueBeats(0)) {
        const bool inside =
            (beat.timeS >= 2 && beat.timeS < 3) || (beat.timeS >= 4 && beat.timeS < 5) ||
            (beat.timeS >= 6 && beat.timeS < 7) || (beat.timeS >= 8 && beat.timeS < 12);
        EXPECT_EQ(beat.obscured, inside) << beat.timeS;
    }
    EXPECT_EQ(disturbedSim.TrueBeats(0).size(), plainSim.TrueBeats(0).size());
}

class SimulatedReplay : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = ::testing::TempDir() + "sphyra-replay-" + std::to_string(::getpid()) + ".csv";
        std::ofstream out(m_path);
        out << "sample,u8\r\n";
        for (int i = 0; i < 95; ++i) {
            m_column.push_back(static_cast<std::uint8_t>(i * 37 % 256));
            out << i << "," << int{m_column.back()} << (i % 2 ? ".2" : "") << "\r\n";
        }
    }
    void TearDown() override { std::remove(m_path.c_str()); }

    std::string m_path;
    std::vector<std::uint8_t> m_column;
};

TEST_F(SimulatedReplay, PlaysTheColumnOnceThenFallsSilentOrOverAndOver) {
    SimOptions once;
    ASSERT_EQ(ParseSimOptions(std::vector<std::string>{"--replay-csv", m_path, "--rate", "50",
                                                       "--samples", "10"},
                              once),
              "");
    ASSERT_EQ(once.config.sensors.size(), 1u);
    EXPECT_EQ(once.config.sensors[0].framesPerSecond, 5.0);
    EXPECT_DOUBLE_EQ(once.durationSeconds, 11 / 5.0);
    SensorSimulator onceSim(once.config);
    EXPECT_EQ(SamplesOf(test::RunInSteps(onceSim, 5'000, 30)), m_column);
    EXPECT_EQ(onceSim.Stats()[0].frames, 10u);
    EXPECT_TRUE(onceSim.TrueBeats(0).empty());

    SimOptions loop;
    ASSERT_EQ(ParseSimOptions(std::vector<std::string>{"--replay-csv", m_path, "--column", "1",
                                                       "--rate", "100", "--loop", "--sensors", "2"},
                              loop),
              "");
    EXPECT_EQ(loop.config.sensors[0].samplesPerFrame, 4);  // about 25 frames a second
    EXPECT_FALSE(loop.config.sensors[1].replay);
    SensorSimulator loopSim(loop.config);
    std::vector<std::uint8_t> played;
    for (const test::ReceivedFrame& f : test::ParseStream(loopSim.Produce(3'000))) {
        if (f.address == 1) played.insert(played.end(), f.samples.begin(), f.samples.end());
    }
    ASSERT_GT(played.size(), 250u);
    for (std::size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], m_column[i % 95]) << i;
}

TEST_F(SimulatedReplay, ColumnsThatAreNotBytesAreRefusedWithTheLine) {
    std::vector<std::uint8_t> samples;
    EXPECT_NE(ReadCsvColumn(m_path, "pleth", samples).find("no column"), std::string::npos);
    {
        std::ofstream out(m_path, std::ios::app);
        out << "95,256\n";
    }
    EXPECT_NE(ReadCsvColumn(m_path, "u8", samples).find(":97:"), std::string::npos);
    EXPECT_NE(ReadCsvColumn(m_path + ".missing", "u8", samples), "");
}

}  // namespace
}  // namespace sphyra
