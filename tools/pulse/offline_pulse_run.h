#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/pulse_analyzer.h"

namespace sphyra {

// What the pulse analyzer makes of a whole recording at a known sample rate: every beat, the
// rate and state once a second, and each change of state.
struct OfflinePulseRun {
    struct RatePoint {
        double timeS = 0;
        std::optional<double> bpm;
        analysis::PulseState state = analysis::PulseState::NoSignal;
    };
    struct StateChange {
        double timeS = 0;
        analysis::PulseState state = analysis::PulseState::NoSignal;
    };

    double sampleRateHz = 0;
    std::uint64_t samples = 0;
    std::vector<analysis::Beat> beats;
    std::vector<RatePoint> rates;
    std::vector<StateChange> changes;
};

// Feeds `samples` one at a time, as a live sensor's would arrive, with the time of each as
// its tick, so the states change at the sample where they would live.
OfflinePulseRun RunOffline(std::span<const std::uint16_t> samples, double sampleRateHz);

const char* PulseStateName(analysis::PulseState state);

}  // namespace sphyra
