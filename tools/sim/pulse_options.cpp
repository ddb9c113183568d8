#include "tools/sim/pulse_options.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "acquisition/sensor_frame.h"
#include "tools/sim/csv_column.h"

namespace sphyra {
namespace {

using simopt::ParseNumber;
using simopt::ParseOne;
using simopt::ParsePerSensor;

constexpr double kMaxReplayRate = 10000.0;

std::optional<EpisodeKind> EpisodeKindNamed(const std::string& name) {
    if (name == "flat") return EpisodeKind::kFlatZero;
    if (name == "saturate") return EpisodeKind::kSaturated;
    if (name == "noise") return EpisodeKind::kNoise;
    if (name == "wander") return EpisodeKind::kWander;
    return std::nullopt;
}

std::string ApplyHeartOptions(const simopt::GivenOptions& given, SimulatorConfig& config) {
    const std::size_t count = config.sensors.size();
    std::vector<double> list;
    struct PerSensor {
        const char* name;
        double hi;
        double SimSensorConfig::*field;
    };
    for (const PerSensor& option :
         {PerSensor{"variability", kMaxVariability, &SimSensorConfig::variability},
          PerSensor{"drift", 299.0, &SimSensorConfig::driftBpm},
          PerSensor{"premature", kMaxPrematureRate, &SimSensorConfig::prematureRate}}) {
        const auto it = given.find(option.name);
        if (it == given.end()) continue;
        std::string fault =
            ParsePerSensor(option.name, it->second.back(), count, 0, option.hi, false, list);
        if (!fault.empty()) return fault;
        for (std::size_t i = 0; i < count; ++i) config.sensors[i].*option.field = list[i];
    }
    if (const auto it = given.find("drift-period"); it != given.end()) {
        double period = 0.0;
        std::string fault = ParseOne("drift-period", it->second.back(), 1, 1e6, false, period);
        if (!fault.empty()) return fault;
        for (SimSensorConfig& sensor : config.sensors) sensor.driftPeriodS = period;
    }
    if (const auto it = given.find("episode"); it != given.end()) {
        for (const std::string& text : it->second) {
            SimEpisode episode;
            int address = -1;
            std::string fault = ParseEpisode(text, episode, address);
            if (!fault.empty()) return fault;
            bool applied = false;
            for (SimSensorConfig& sensor : config.sensors) {
                if (address >= 0 && sensor.address != address) continue;
                sensor.episodes.push_back(episode);
                applied = true;
            }
            if (!applied) return "--episode: no sensor at address " + std::to_string(address);
        }
    }
    return {};
}

std::string ApplyReplayOptions(const simopt::GivenOptions& given, SimOptions& options) {
    const bool replay = given.count("replay-csv") != 0;
    for (const char* name : {"column", "rate", "loop"}) {
        if (!replay && given.count(name) != 0) {
            return std::string("--") + name + " goes with --replay-csv";
        }
    }
    if (!replay) return {};
    if (given.count("rate") == 0) return "--replay-csv needs --rate, the recording's sample rate";
    double rate = 0.0;
    std::string fault =
        ParseOne("rate", given.at("rate").back(), 0.01, kMaxReplayRate, false, rate);
    if (!fault.empty()) return fault;
    const auto column = given.find("column");
    auto samples = std::make_shared<std::vector<std::uint8_t>>();
    fault = ReadCsvColumn(given.at("replay-csv").back(),
                          column == given.end() ? "u8" : column->second.back(), *samples);
    if (!fault.empty()) return "--replay-csv: " + fault;

    // Frames of the requested size, or as many samples as keep the frame rate
    // near the one asked for; the frame rate then follows from the sample rate.
    SimSensorConfig& sensor = options.config.sensors.front();
    if (given.count("samples") == 0) {
        const double perFrame = std::round(rate / sensor.framesPerSecond);
        sensor.samplesPerFrame =
            static_cast<int>(std::clamp(perFrame, 1.0, double{kMaxFrameSamples}));
    }
    if (sensor.samplesPerFrame == 0) return "--replay-csv needs at least one sample a frame";
    sensor.framesPerSecond = rate / sensor.samplesPerFrame;
    if (sensor.framesPerSecond < kMinFramesPerSecond)
        return "--rate: too slow for frames of that size";
    sensor.replayLoop = given.count("loop") != 0;
    if (!sensor.replayLoop && given.count("duration") == 0) {
        // Long enough for the last frame, whatever the sensor's offset (under a frame).
        const double frames =
            std::ceil(static_cast<double>(samples->size()) / sensor.samplesPerFrame);
        options.durationSeconds = (frames + 1.0) / sensor.framesPerSecond;
    }
    sensor.replay = std::move(samples);
    return {};
}

}  // namespace

std::string ParseEpisode(const std::string& text, SimEpisode& episode, int& address) {
    const std::string usage = "--episode: '" + text + "' is not [ADDRESS:]KIND@START+SECONDS";
    std::string rest = text;
    if (const std::size_t colon = rest.find(':'); colon != std::string::npos) {
        const std::optional<double> a = ParseNumber(rest.substr(0, colon));
        if (!a || *a < 0 || *a > 255 || std::floor(*a) != *a) return usage;
        address = static_cast<int>(*a);
        rest = rest.substr(colon + 1);
    }
    const std::size_t at = rest.find('@');
    const std::size_t plus = rest.find('+', at == std::string::npos ? 0 : at);
    if (at == std::string::npos || plus == std::string::npos) return usage;
    const std::optional<EpisodeKind> kind = EpisodeKindNamed(rest.substr(0, at));
    if (!kind) {
        return "--episode: unknown kind '" + rest.substr(0, at) +
               "' (flat, saturate, noise, wander)";
    }
    const std::optional<double> start = ParseNumber(rest.substr(at + 1, plus - at - 1));
    const std::optional<double> length = ParseNumber(rest.substr(plus + 1));
    if (!start || !length || *start < 0 || *length <= 0) return usage;
    episode = {*kind, *start, *length};
    return {};
}

std::string ApplyPulseOptions(const simopt::GivenOptions& given, SimOptions& options) {
    std::string fault = ApplyHeartOptions(given, options.config);
    if (!fault.empty()) return fault;
    return ApplyReplayOptions(given, options);
}

}  // namespace sphyra
