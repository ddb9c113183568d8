#pragma once

#include <cstdint>
#include <memory>
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

// What a finger off the sensor or a moving hand does to the samples, from
// `startS` for `durationS` seconds on the sensor's sample clock.
enum class EpisodeKind : std::uint8_t {
    kFlatZero,   // every sample 0, as with no light reaching the detector
    kSaturated,  // every sample 255, as with the detector flooded
    kNoise,      // the pulse drowned in large random noise
    kWander,     // the baseline swings slowly and widely, as with a moving hand
};

struct SimEpisode {
    EpisodeKind kind = EpisodeKind::kFlatZero;
    double startS = 0.0;
    double durationS = 0.0;
    bool Covers(double seconds) const { return seconds >= startS && seconds < startS + durationS; }
};

struct SimSensorConfig {
    std::uint8_t address = 1;
    double bpm = 72.0;            // beats per minute, 1-300
    std::uint8_t gain = 5;        // sent in every frame and scales the samples
    double batteryStart = 100.0;  // percent, 0-100
    double framesPerSecond = 25.0;
    int samplesPerFrame = 20;  // 0-80
    // The heart's irregularity; all zero gives a perfectly steady pulse.
    double variability = 0.0;    // standard deviation of each beat's length, as a fraction, 0-0.2
    double driftBpm = 0.0;       // the rate swings this far either side of `bpm` ...
    double driftPeriodS = 60.0;  // ... over this many seconds
    double prematureRate = 0.0;  // chance per beat of a premature beat, 0-0.5
    std::vector<SimEpisode> episodes{};
    // When set, these recorded samples are played instead of a simulated pulse,
    // once (the sensor then falls silent) or over and over when `replayLoop`.
    std::shared_ptr<const std::vector<std::uint8_t>> replay{};
    bool replayLoop = false;

    double SampleRate() const { return framesPerSecond * samplesPerFrame; }
    bool Steady() const { return variability == 0.0 && driftBpm == 0.0 && prematureRate == 0.0; }
};

struct SimulatorConfig {
    std::vector<SimSensorConfig> sensors;
    double batteryDrainPerMinute = 0.5;  // percentage points lost per minute
    double noiseCounts = 0.5;            // standard deviation of sample noise, in counts
    CorruptionConfig corruption;
    std::uint64_t seed = 1;
    bool keepTrueBeats = false;  // record every sensor's beats for SensorSimulator::TrueBeats
};

inline constexpr double kMinDefaultBpm = 55.0;
inline constexpr double kMaxDefaultBpm = 110.0;
inline constexpr double kMinFramesPerSecond = 0.01;
inline constexpr double kMaxFramesPerSecond = 1000.0;
inline constexpr double kMaxVariability = 0.2;
inline constexpr double kMaxPrematureRate = 0.5;

// Sensors at `addresses`, all sending `samplesPerFrame` samples `framesPerSecond`
// times a second, with beat rates spread over 55-110 bpm, gains over 4-6 and
// starting battery levels over 100-50 %, so that neighbours differ; `seed`
// decides who gets which.
SimulatorConfig MakeSimulatorConfig(std::span<const std::uint8_t> addresses, int samplesPerFrame,
                                    double framesPerSecond, std::uint64_t seed);

// Empty when `config` can be simulated, otherwise what is wrong with it.
std::string ValidateSimulatorConfig(const SimulatorConfig& config);

}  // namespace sphyra
