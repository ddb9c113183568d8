#include "tools/sim/sim_config.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "acquisition/sensor_frame.h"
#include "tools/sim/sim_random.h"

namespace sphyra {
namespace {

// `count` values evenly spread over [lo, hi], each jittered within its own slot
// (so they stay distinct), handed out in a seeded random order.
std::vector<double> SpreadValues(std::size_t count, double lo, double hi, SimRandom& random) {
    std::vector<double> values(count);
    const double slot = count > 0 ? (hi - lo) / static_cast<double>(count) : 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = lo + slot * (static_cast<double>(i) + random.Uniform(0.1, 0.9));
    }
    for (std::size_t i = count; i > 1; --i) {
        std::swap(values[i - 1], values[random.UniformInt(0, i - 1)]);
    }
    return values;
}

bool InRange(double value, double lo, double hi) {
    return std::isfinite(value) && value >= lo && value <= hi;
}

std::string ValidatePulse(const SimSensorConfig& sensor) {
    if (!InRange(sensor.variability, 0.0, kMaxVariability)) return "variability must be 0-0.2";
    if (!InRange(sensor.driftBpm, 0.0, 299.0) || sensor.bpm - sensor.driftBpm < 1.0 ||
        sensor.bpm + sensor.driftBpm > 300.0) {
        return "the rate with its drift must stay within 1-300 beats per minute";
    }
    if (!InRange(sensor.driftPeriodS, 1.0, 1e6)) return "drift period must be 1-1000000 s";
    if (!InRange(sensor.prematureRate, 0.0, kMaxPrematureRate)) {
        return "premature beat rate must be 0-0.5";
    }
    for (const SimEpisode& e : sensor.episodes) {
        if (!InRange(e.startS, 0.0, 1e9) || !InRange(e.durationS, 0.0, 1e9) || e.durationS == 0) {
            return "an episode needs a start of 0 s or later and a positive length";
        }
    }
    if (sensor.replay) {
        if (sensor.replay->empty()) return "nothing to replay";
        if (sensor.samplesPerFrame == 0) return "a replayed sensor needs samples in its frames";
    }
    return {};
}

}  // namespace

SimulatorConfig MakeSimulatorConfig(std::span<const std::uint8_t> addresses, int samplesPerFrame,
                                    double framesPerSecond, std::uint64_t seed) {
    SimulatorConfig config;
    config.seed = seed;
    SimRandom random(SimRandom::DeriveSeed(seed, 0x5E05));
    const std::size_t count = addresses.size();
    const std::vector<double> bpms = SpreadValues(count, kMinDefaultBpm, kMaxDefaultBpm, random);
    const std::vector<double> gains = SpreadValues(count, 3.5, 6.5, random);
    const std::vector<double> batteries = SpreadValues(count, 50.0, 100.0, random);
    for (std::size_t i = 0; i < count; ++i) {
        SimSensorConfig sensor;
        sensor.address = addresses[i];
        sensor.bpm = bpms[i];
        sensor.gain = static_cast<std::uint8_t>(std::lround(gains[i]));
        sensor.batteryStart = std::round(batteries[i]);
        sensor.framesPerSecond = framesPerSecond;
        sensor.samplesPerFrame = samplesPerFrame;
        config.sensors.push_back(sensor);
    }
    return config;
}

std::string ValidateSimulatorConfig(const SimulatorConfig& config) {
    if (config.sensors.empty()) return "at least one sensor is needed";
    std::set<int> seen;
    for (const SimSensorConfig& sensor : config.sensors) {
        const std::string who = "sensor " + std::to_string(sensor.address) + ": ";
        if (!seen.insert(sensor.address).second) return who + "address used twice";
        if (!InRange(sensor.bpm, 1.0, 300.0)) return who + "beats per minute must be 1-300";
        if (!InRange(sensor.batteryStart, 0.0, 100.0)) return who + "battery must be 0-100";
        if (!InRange(sensor.framesPerSecond, kMinFramesPerSecond, kMaxFramesPerSecond)) {
            return who + "frames per second must be 0.01-1000";
        }
        if (sensor.samplesPerFrame < 0 || sensor.samplesPerFrame > kMaxFrameSamples) {
            return who + "samples per frame must be 0-80";
        }
        const std::string pulse = ValidatePulse(sensor);
        if (!pulse.empty()) return who + pulse;
    }
    if (!InRange(config.batteryDrainPerMinute, 0.0, 100.0)) {
        return "battery drain must be 0-100 per minute";
    }
    if (!InRange(config.noiseCounts, 0.0, 255.0)) return "noise must be 0-255";
    const CorruptionConfig& c = config.corruption;
    if (!InRange(c.rate, 0.0, 1.0)) return "corruption rate must be 0-1";
    if (c.rate > 0.0 && !c.garbage && !c.badChecksum && !c.overLong) {
        return "corruption needs at least one kind";
    }
    if (c.maxGarbageBytes < 1 || c.maxGarbageBytes > 4096) {
        return "garbage bursts must be 1-4096 bytes long";
    }
    return {};
}

}  // namespace sphyra
