#include "tools/sim/sensor_simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "tests/tools/sim_test_support.h"

namespace sphyra {
namespace {

using test::GoodFrames;
using test::ParseStream;
using test::ReceivedFrame;
using test::RecordedEvent;
using test::RunInSteps;

SimulatorConfig MixedConfig(std::uint64_t seed) {
    const std::vector<std::uint8_t> addresses{0, 1, 2, 0xF0, 255};
    SimulatorConfig config = MakeSimulatorConfig(addresses, 20, 25.0, seed);
    // Every length from the shortest frame to the longest, at unlike rates.
    config.sensors[0].samplesPerFrame = 0;
    config.sensors[1].samplesPerFrame = 80;
    config.sensors[1].framesPerSecond = 5.0;
    config.sensors[2].framesPerSecond = 60.0;
    config.sensors[3].gain = 0xC0;  // clipped samples, and header bytes that look like sync
    config.sensors[4].framesPerSecond = 0.5;
    return config;
}

std::map<std::uint8_t, std::uint64_t> CountByAddress(const std::vector<ReceivedFrame>& frames) {
    std::map<std::uint8_t, std::uint64_t> counts;
    for (const ReceivedFrame& f : frames) ++counts[f.address];
    return counts;
}

void ExpectCountsMatchStats(const std::vector<ReceivedFrame>& received,
                            const SensorSimulator& simulator) {
    const auto counts = CountByAddress(received);
    for (const SensorStats& stats : simulator.Stats()) {
        const auto it = counts.find(stats.address);
        EXPECT_EQ(it == counts.end() ? 0 : it->second, stats.frames)
            << "address " << int{stats.address};
    }
}

TEST(SensorSimulator, ReceiverGetsExactlyTheFramesSent) {
    SensorSimulator simulator(MixedConfig(3));
    std::vector<RecordedEvent> events;
    test::Record(simulator, events);
    const std::vector<std::uint8_t> stream = RunInSteps(simulator, 10'000, 20);

    const std::vector<ReceivedFrame> received = ParseStream(stream);
    EXPECT_EQ(received, GoodFrames(events));
    ExpectCountsMatchStats(received, simulator);
    EXPECT_EQ(simulator.Totals().frames, received.size());
    EXPECT_EQ(simulator.Totals().bytes, stream.size());
    EXPECT_EQ(simulator.Totals().Corrupted(), 0u);
    // The events' bytes are the stream, cut up.
    std::vector<std::uint8_t> joined;
    for (const RecordedEvent& e : events)
        joined.insert(joined.end(), e.bytes.begin(), e.bytes.end());
    EXPECT_EQ(joined, stream);
}

class SimulatorCorruption : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(SimulatorCorruption, EveryGoodFrameStillArrivesAndNoDamagedOne) {
    SimulatorConfig config = MixedConfig(GetParam());
    config.corruption.rate = 0.3;
    config.corruption.maxGarbageBytes = 300;
    SensorSimulator simulator(config);
    std::vector<RecordedEvent> events;
    test::Record(simulator, events);
    const std::vector<std::uint8_t> stream = RunInSteps(simulator, 20'000, 20);

    const SimTotals& totals = simulator.Totals();
    ASSERT_GT(totals.badChecksum, 10u);
    ASSERT_GT(totals.overLong, 10u);
    ASSERT_GT(totals.garbageBursts, 10u);
    EXPECT_EQ(ParseStream(stream), GoodFrames(events));
    ExpectCountsMatchStats(ParseStream(stream), simulator);

    std::uint64_t corrupted = 0;
    for (const SensorStats& s : simulator.Stats()) corrupted += s.Corrupted();
    EXPECT_EQ(corrupted, totals.Corrupted());
}

INSTANTIATE_TEST_SUITE_P(Seeds, SimulatorCorruption, ::testing::Values(1u, 2u, 77u));

// At rate 1 every frame is struck: damaged frames must really be unreadable,
// and garbage alone must cost nothing.
TEST(SensorSimulator, EachCorruptionKindAloneDoesWhatItSays) {
    struct Case {
        bool garbage, checksum, overLong;
        bool framesSurvive;
    };
    for (const Case c : {Case{true, false, false, true}, Case{false, true, false, false},
                         Case{false, false, true, false}}) {
        SimulatorConfig config = MixedConfig(4);
        config.corruption = {1.0, c.garbage, c.checksum, c.overLong, 40};
        SensorSimulator simulator(config);
        const std::vector<std::uint8_t> stream = RunInSteps(simulator, 5'000, 50);
        const std::size_t received = ParseStream(stream).size();
        if (c.framesSurvive) {
            EXPECT_EQ(received, simulator.Totals().frames);
            EXPECT_EQ(simulator.Totals().garbageBursts, received);
        } else {
            EXPECT_EQ(received, 0u);
            EXPECT_EQ(simulator.Totals().frames, 0u);
            EXPECT_GT(simulator.Totals().Corrupted(), 100u);
        }
    }
}

TEST(SensorSimulator, CorruptionLeavesTheGoodFramesUntouched) {
    SimulatorConfig clean = MixedConfig(8);
    SimulatorConfig noisy = clean;
    noisy.corruption.rate = 0.4;
    SensorSimulator cleanSim(clean);
    SensorSimulator noisySim(noisy);
    std::vector<RecordedEvent> cleanEvents;
    std::vector<RecordedEvent> noisyEvents;
    test::Record(cleanSim, cleanEvents);
    test::Record(noisySim, noisyEvents);
    RunInSteps(cleanSim, 8'000, 20);
    RunInSteps(noisySim, 8'000, 20);

    std::map<std::tuple<std::uint8_t, std::uint64_t>, ReceivedFrame> byTime;
    for (const RecordedEvent& e : cleanEvents) byTime[{e.frame.address, e.timeUs}] = e.frame;
    std::size_t compared = 0;
    for (const RecordedEvent& e : noisyEvents) {
        if (e.kind != SimEventKind::kFrame) continue;
        ASSERT_EQ(e.frame, (byTime.at({e.frame.address, e.timeUs})));
        ++compared;
    }
    EXPECT_GT(compared, 100u);
    for (std::size_t i = 0; i < clean.sensors.size(); ++i) {
        const SensorStats& a = cleanSim.Stats()[i];
        const SensorStats& b = noisySim.Stats()[i];
        EXPECT_EQ(a.frames, b.frames + b.Corrupted());
    }
}

TEST(SensorSimulator, SameSeedSameStreamHoweverTimeIsCut) {
    const SimulatorConfig config = MixedConfig(11);
    SimulatorConfig damaged = config;
    damaged.corruption.rate = 0.2;
    SimulatorConfig irregular = config;
    irregular.sensors[2].variability = 0.1;
    irregular.sensors[2].prematureRate = 0.2;
    irregular.sensors[2].episodes = {{EpisodeKind::kNoise, 1, 2}, {EpisodeKind::kWander, 3, 2}};
    for (const SimulatorConfig& c : {config, damaged, irregular}) {
        SensorSimulator once(c);
        SensorSimulator stepped(c);
        SensorSimulator odd(c);
        const std::vector<std::uint8_t> whole = once.Produce(6'000);
        EXPECT_EQ(RunInSteps(stepped, 6'000, 20), whole);
        EXPECT_EQ(RunInSteps(odd, 6'000, 7), whole);
        // Asking for a time already produced adds nothing.
        EXPECT_TRUE(odd.Produce(5'000).empty());
        EXPECT_EQ(odd.NowMs(), 6'000u);
    }
    SensorSimulator other(MixedConfig(12));
    SensorSimulator same(MixedConfig(11));
    EXPECT_NE(other.Produce(2'000), same.Produce(2'000));
}

TEST(SensorSimulator, FramesComeOnScheduleInTimeOrder) {
    SimulatorConfig config = MixedConfig(5);
    SensorSimulator simulator(config);
    std::vector<RecordedEvent> events;
    test::Record(simulator, events);
    constexpr std::uint64_t kMs = 20'000;
    simulator.Produce(kMs);

    std::map<std::uint8_t, std::vector<std::uint64_t>> times;
    std::uint64_t last = 0;
    for (const RecordedEvent& e : events) {
        ASSERT_GE(e.timeUs, last);
        ASSERT_LE(e.timeUs, kMs * 1000);
        last = e.timeUs;
        times[e.frame.address].push_back(e.timeUs);
    }
    for (const SimSensorConfig& s : config.sensors) {
        const std::vector<std::uint64_t>& t = times[s.address];
        const double period = 1e6 / s.framesPerSecond;
        EXPECT_NEAR(static_cast<double>(t.size()), kMs / 1000.0 * s.framesPerSecond, 1.0);
        ASSERT_FALSE(t.empty());
        EXPECT_LT(static_cast<double>(t.front()), period);
        for (std::size_t i = 1; i < t.size(); ++i) {
            ASSERT_NEAR(static_cast<double>(t[i] - t[i - 1]), period, 1.0);
        }
    }
    EXPECT_GT(simulator.NextFrameDueMs(), kMs);
}

TEST(SensorSimulator, BatteryStartsWhereConfiguredAndDrainsSteadily) {
    SimulatorConfig config = MakeSimulatorConfig(std::vector<std::uint8_t>{1, 2}, 5, 10.0, 1);
    config.sensors[0].batteryStart = 80;
    config.sensors[1].batteryStart = 3;
    config.batteryDrainPerMinute = 30.0;  // half a point a second
    SensorSimulator simulator(config);
    std::vector<RecordedEvent> events;
    test::Record(simulator, events);
    simulator.Produce(20'000);

    std::map<std::uint8_t, std::vector<std::uint8_t>> levels;
    for (const RecordedEvent& e : events) levels[e.frame.address].push_back(e.frame.battery);
    EXPECT_EQ(levels[1].front(), 80);
    EXPECT_GE(levels[1].back(), 70);  // the last frame falls just before 20 s
    EXPECT_LE(levels[1].back(), 71);
    EXPECT_TRUE(std::is_sorted(levels[1].rbegin(), levels[1].rend()));
    EXPECT_EQ(levels[2].back(), 0);  // empties, never wraps
    EXPECT_EQ(simulator.Stats()[0].battery, levels[1].back());
}

TEST(SensorSimulator, DefaultSensorsDifferFromEachOther) {
    for (std::uint64_t seed : {1u, 2u, 3u}) {
        std::vector<std::uint8_t> addresses;
        for (int a = 1; a <= 8; ++a) addresses.push_back(static_cast<std::uint8_t>(a));
        const SimulatorConfig config = MakeSimulatorConfig(addresses, 20, 25.0, seed);
        ASSERT_TRUE(ValidateSimulatorConfig(config).empty());
        std::set<double> bpms;
        std::set<double> batteries;
        for (const SimSensorConfig& s : config.sensors) {
            EXPECT_GE(s.bpm, kMinDefaultBpm);
            EXPECT_LE(s.bpm, kMaxDefaultBpm);
            EXPECT_GE(s.gain, 4);
            EXPECT_LE(s.gain, 6);
            EXPECT_GE(s.batteryStart, 50.0);
            EXPECT_LE(s.batteryStart, 100.0);
            bpms.insert(s.bpm);
            batteries.insert(s.batteryStart);
        }
        EXPECT_EQ(bpms.size(), 8u);
        EXPECT_EQ(batteries.size(), 8u);
    }
}

// Finds the rising crossings of the half-way level and returns the mean beat
// length in samples.
double MeanBeatSamples(const std::vector<std::uint8_t>& samples) {
    const auto [lo, hi] = std::minmax_element(samples.begin(), samples.end());
    const double mid = (*lo + *hi) / 2.0;
    std::vector<std::size_t> rises;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < mid && samples[i] >= mid) rises.push_back(i);
    }
    if (rises.size() < 2) return 0.0;
    return static_cast<double>(rises.back() - rises.front()) /
           static_cast<double>(rises.size() - 1);
}

TEST(SensorSimulator, SamplesFollowEachSensorsPulseAndGain) {
    SimulatorConfig config = MakeSimulatorConfig(std::vector<std::uint8_t>{1, 2, 3}, 20, 25.0, 9);
    config.noiseCounts = 0.0;
    config.sensors[0].gain = 5;
    config.sensors[1].gain = 2;
    config.sensors[2].gain = 12;
    SensorSimulator simulator(config);
    std::map<std::uint8_t, std::vector<std::uint8_t>> samples;
    for (const ReceivedFrame& f : ParseStream(simulator.Produce(30'000))) {
        samples[f.address].insert(samples[f.address].end(), f.samples.begin(), f.samples.end());
    }
    const double rate = 20 * 25.0;
    for (const SimSensorConfig& s : config.sensors) {
        const std::vector<std::uint8_t>& v = samples[s.address];
        ASSERT_EQ(v.size(), simulator.Stats()[s.address - 1u].samples);
        const double expected = rate * 60.0 / s.bpm;
        EXPECT_NEAR(MeanBeatSamples(v), expected, expected * 0.01) << int{s.address};
    }
    const auto span = [&](std::uint8_t address) {
        const auto [lo, hi] = std::minmax_element(samples[address].begin(), samples[address].end());
        return std::pair{int{*lo}, int{*hi}};
    };
    EXPECT_EQ(span(1), (std::pair{24, 24 + 5 * 36}));
    EXPECT_EQ(span(2), (std::pair{24, 24 + 2 * 36}));
    EXPECT_EQ(span(3), (std::pair{24, 255}));  // clipped at the top, never wrapped round
}

TEST(SensorSimulator, RefusesConfigurationsItCannotPlay) {
    const SimulatorConfig good = MakeSimulatorConfig(std::vector<std::uint8_t>{1, 2}, 20, 25, 1);
    ASSERT_TRUE(ValidateSimulatorConfig(good).empty());
    std::vector<SimulatorConfig> bad(8, good);
    bad[0].sensors.clear();
    bad[1].sensors[1].address = 1;
    bad[2].sensors[0].samplesPerFrame = 81;
    bad[3].sensors[0].framesPerSecond = 0.0;
    bad[4].sensors[0].bpm = 0.0;
    bad[5].corruption.rate = 1.5;
    bad[6].corruption = {0.1, false, false, false, 10};
    bad[7].sensors[1].batteryStart = 101;
    for (const SimulatorConfig& config : bad) {
        EXPECT_FALSE(ValidateSimulatorConfig(config).empty());
        EXPECT_THROW(SensorSimulator{config}, std::invalid_argument);
    }
}

}  // namespace
}  // namespace sphyra
