#include "tools/sim/sim_options.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace sphyra {
namespace {

std::string Parse(std::vector<std::string> args, SimOptions& options) {
    return ParseSimOptions(args, options);
}

TEST(SimOptions, DefaultsAreFourSensorsAtOneToFour) {
    SimOptions options;
    ASSERT_EQ(Parse({}, options), "");
    ASSERT_EQ(options.config.sensors.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const SimSensorConfig& s = options.config.sensors[i];
        EXPECT_EQ(s.address, i + 1);
        EXPECT_EQ(s.samplesPerFrame, 20);
        EXPECT_EQ(s.framesPerSecond, 25.0);
    }
    EXPECT_EQ(options.config.corruption.rate, 0.0);
    EXPECT_EQ(options.config.seed, 1u);
    EXPECT_EQ(options.durationSeconds, 0.0);
    EXPECT_TRUE(options.linkPath.empty());
    EXPECT_TRUE(options.devicePath.empty());
    EXPECT_FALSE(options.help);
}

TEST(SimOptions, PerSensorListsAndBothSpellings) {
    SimOptions options;
    ASSERT_EQ(Parse({"--addresses=7,0,255",
                     "--fps",
                     "10,50,0.5",
                     "--bpm=60",
                     "--gain",
                     "3,200,0",
                     "--battery",
                     "10,20,30",
                     "--samples",
                     "80",
                     "--seed",
                     "0x10",
                     "--corrupt",
                     "0.1",
                     "--corrupt-kinds",
                     "checksum,length",
                     "--duration",
                     "2.5",
                     "--link",
                     "/tmp/port",
                     "--noise=0",
                     "--battery-drain",
                     "2",
                     "--linger",
                     "0"},
                    options),
              "");
    const auto& s = options.config.sensors;
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].address, 7);
    EXPECT_EQ(s[1].address, 0);
    EXPECT_EQ(s[2].address, 255);
    EXPECT_EQ(s[2].framesPerSecond, 0.5);
    for (const SimSensorConfig& sensor : s) {
        EXPECT_EQ(sensor.bpm, 60.0);
        EXPECT_EQ(sensor.samplesPerFrame, 80);
    }
    EXPECT_EQ(s[1].gain, 200);
    EXPECT_EQ(s[2].batteryStart, 30.0);
    EXPECT_EQ(options.config.seed, 16u);
    EXPECT_EQ(options.config.corruption.rate, 0.1);
    EXPECT_FALSE(options.config.corruption.garbage);
    EXPECT_TRUE(options.config.corruption.badChecksum);
    EXPECT_TRUE(options.config.corruption.overLong);
    EXPECT_EQ(options.durationSeconds, 2.5);
    EXPECT_EQ(options.linkPath, "/tmp/port");
    EXPECT_EQ(options.config.noiseCounts, 0.0);
    EXPECT_EQ(options.config.batteryDrainPerMinute, 2.0);
    EXPECT_EQ(options.lingerMs, 0u);
}

TEST(SimOptions, HeartOptionsPerSensorAndRepeatedEpisodes) {
    SimOptions options;
    ASSERT_EQ(
        Parse({"--sensors", "3", "--variability", "0.05", "--drift", "5,10,0", "--drift-period",
               "90", "--premature=0.1", "--episode", "flat@1+2", "--episode", "2:wander@3.5+0.5"},
              options),
        "");
    const auto& s = options.config.sensors;
    EXPECT_EQ(s[2].variability, 0.05);
    EXPECT_EQ(s[1].driftBpm, 10.0);
    EXPECT_EQ(s[0].driftPeriodS, 90.0);
    EXPECT_EQ(s[2].prematureRate, 0.1);
    ASSERT_EQ(s[1].episodes.size(), 2u);
    EXPECT_EQ(s[1].episodes[1].kind, EpisodeKind::kWander);
    EXPECT_EQ(s[1].episodes[1].startS, 3.5);
    EXPECT_EQ(s[1].episodes[1].durationS, 0.5);
    EXPECT_EQ(s[0].episodes.size(), 1u);
    EXPECT_EQ(s[2].episodes.front().kind, EpisodeKind::kFlatZero);
}

TEST(SimOptions, AllAddressesForTheLargestCount) {
    SimOptions options;
    ASSERT_EQ(Parse({"--sensors", "256"}, options), "");
    std::set<int> addresses;
    for (const SimSensorConfig& s : options.config.sensors) addresses.insert(s.address);
    EXPECT_EQ(addresses.size(), 256u);
}

TEST(SimOptions, DeviceTakesABaudRate) {
    SimOptions options;
    ASSERT_EQ(Parse({"--device", "/dev/ttyUSB0", "--baud", "9600"}, options), "");
    EXPECT_EQ(options.devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(options.baud, 9600);
    SimOptions help;
    ASSERT_EQ(Parse({"--samples", "bogus", "-h"}, help), "");  // help wins over faults
    EXPECT_TRUE(help.help);
}

TEST(SimOptions, ReplayTakesACaptureAndASpeed) {
    SimOptions options;
    ASSERT_EQ(Parse({"--replay", "a.sphc", "--speed", "2.5", "--link", "/tmp/p"}, options), "");
    EXPECT_EQ(options.replayPath, "a.sphc");
    EXPECT_EQ(options.replaySpeed, 2.5);
    EXPECT_EQ(options.linkPath, "/tmp/p");
}

class SimOptionsFault : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(SimOptionsFault, IsRefusedWithAReason) {
    SimOptions options;
    EXPECT_NE(ParseSimOptions(GetParam(), options), "");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimOptionsFault,
    ::testing::Values(
        std::vector<std::string>{"--samples", "81"}, std::vector<std::string>{"--samples", "-1"},
        std::vector<std::string>{"--samples"}, std::vector<std::string>{"--samples", "1x"},
        std::vector<std::string>{"--sensors", "0"}, std::vector<std::string>{"--sensors", "257"},
        std::vector<std::string>{"--sensors", "3", "--addresses", "1,2"},
        std::vector<std::string>{"--addresses", "1,1"},
        std::vector<std::string>{"--addresses", "1,,2"},
        std::vector<std::string>{"--addresses", "256"}, std::vector<std::string>{"--fps", "0"},
        std::vector<std::string>{"--fps", "1,2"}, std::vector<std::string>{"--bpm", "abc"},
        std::vector<std::string>{"--bpm", "nan"}, std::vector<std::string>{"--gain", "2.5"},
        std::vector<std::string>{"--battery", "101"}, std::vector<std::string>{"--corrupt", "1.5"},
        std::vector<std::string>{"--corrupt-kinds", "garbage,foo"},
        std::vector<std::string>{"--corrupt", "0.5", "--corrupt-kinds", ""},
        std::vector<std::string>{"--seed", "-1"}, std::vector<std::string>{"--duration", "-1"},
        std::vector<std::string>{"--link", "x", "--device", "y"},
        std::vector<std::string>{"--link", ""}, std::vector<std::string>{"--baud", "9600"},
        std::vector<std::string>{"--bogus", "1"}, std::vector<std::string>{"stray"},
        std::vector<std::string>{"--speed", "2"},
        std::vector<std::string>{"--replay", "a.sphc", "--speed", "0"},
        std::vector<std::string>{"--variability", "0.5"},
        std::vector<std::string>{"--bpm", "295", "--drift", "10"},
        std::vector<std::string>{"--episode", "flat@1"},
        std::vector<std::string>{"--episode", "jump@1+2"},
        std::vector<std::string>{"--episode", "9:flat@1+2"},
        std::vector<std::string>{"--rate", "100"}, std::vector<std::string>{"--loop=1"},
        std::vector<std::string>{"--replay-csv", "/nonexistent.csv", "--rate", "100"}));

}  // namespace
}  // namespace sphyra
