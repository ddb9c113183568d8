#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sphyra {

// How often, and how, the simulated link damages the stream. Every kind is
// designed so that it can never swallow a neighbouring good frame: garbage never
// holds a sync byte, a bad-checksum frame costs only its own bytes, and an
// over-long frame carries as many bytes as its length byte claims.
struct CorruptionConfig {
    double rate = 0.0;         // chance per frame, 0-1, that one of the kinds below strikes
    bool garbage = true;       // noise bytes inserted before a (still good) frame
    bool badChecksum = true;   // the frame's checksum byte is wrong
    bool overLong = true;      // the length byte says 81-255 samples
    int maxGarbageBytes = 24;  // a burst holds 1 to this many bytes (1-4096)
};

struct SimSensorConfig {
    std::uint8_t address = 1;
    double bpm = 72.0;            // beats per minute, 1-300
    std::uint8_t gain = 5;        // sent in every frame and scales the samples
    double batteryStart = 100.0;  // percent, 0-100
    double framesPerSecond = 25.0;
    int samplesPerFrame = 20;  // 0-80
};

struct SimulatorConfig {
    std::vector<SimSensorConfig> sensors;
    double batteryDrainPerMinute = 0.5;  // percentage points lost per minute
    double noiseCounts = 0.5;            // standard deviation of sample noise, in counts
    CorruptionConfig corruption;
    std::uint64_t seed = 1;
};

inline constexpr double kMinDefaultBpm = 55.0;
inline constexpr double kMaxDefaultBpm = 110.0;
inline constexpr double kMinFramesPerSecond = 0.01;
inline constexpr double kMaxFramesPerSecond = 1000.0;

// Sensors at `addresses`, all sending `samplesPerFrame` samples `framesPerSecond`
// times a second, with beat rates spread over 55-110 bpm, gains over 4-6 and
// starting battery levels over 100-50 %, so that neighbours differ; `seed`
// decides who gets which.
SimulatorConfig MakeSimulatorConfig(std::span<const std::uint8_t> addresses, int samplesPerFrame,
                                    double framesPerSecond, std::uint64_t seed);

// Empty when `config` can be simulated, otherwise what is wrong with it.
std::string ValidateSimulatorConfig(const SimulatorConfig& config);

}  // namespace sphyra
