#pragma once

#include <cstdint>
#include <vector>

namespace sphyra {

// A finger pulse with known beats for testing the detector: the simulator's beat shape, with
// the rate drifting linearly from `bpm` to `bpmEnd`, beat-to-beat variability, sample noise,
// and finger-off or motion episodes.
struct SyntheticPulseConfig {
    // Wander keeps the pulse and lifts its baseline slowly (0.25 Hz, 40 counts), as a hand does.
    enum class Episode : std::uint8_t { FlatZero, Saturated, Noise, Wander };
    struct Off {
        double fromS = 0;
        double toS = 0;
        Episode kind = Episode::FlatZero;
    };

    double bpm = 60;
    double bpmEnd = 0;  // 0: the same as bpm
    double sampleRateHz = 100;
    double seconds = 30;
    double variability = 0;  // standard deviation of each interval, as a share of it
    double noiseCounts = 0;  // standard deviation of the sample noise
    std::uint8_t gain = 3;
    std::uint32_t seed = 1;
    std::vector<Off> episodes;
};

struct SyntheticPulse {
    std::vector<std::uint16_t> samples;
    std::vector<double> beatTimesS;  // systolic peaks, outside the episodes
    // The rate a perfect detector would show at `timeS`: 60 over the median of the last eight
    // intervals, 0 when fewer than two beats have passed.
    double TrueBpmAt(double timeS) const;
};

SyntheticPulse MakeSyntheticPulse(const SyntheticPulseConfig& config);

}  // namespace sphyra
