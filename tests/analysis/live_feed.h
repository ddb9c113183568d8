#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <span>

#include "analysis/pulse_analyzer.h"

namespace sphyra::analysis {

// Plays samples into an analyzer as a sensor's frames would arrive: `framesPerSecond` batches
// with arrival ticks jittered by up to `jitterMs`, counted from `startTick`. After each batch,
// `onBatch` sees the analyzer and the time of the batch in seconds.
struct LiveFeed {
    double sampleRateHz = 100;
    double framesPerSecond = 25;
    double jitterMs = 10;
    std::uint32_t startTick = 0xFFFFFFFFu - 5000u;  // the tick wraps early in every run
    std::uint32_t seed = 7;

    std::uint32_t Play(PulseAnalyzer& analyzer, std::span<const std::uint16_t> samples,
                       const std::function<void(const PulseAnalyzer&, double)>& onBatch = {},
                       double startS = 0) const {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> jitter(0.0, jitterMs);
        const double perFrame = sampleRateHz / framesPerSecond;
        std::size_t sent = 0;
        std::uint32_t tick = startTick;
        for (long frame = 1; sent < samples.size(); ++frame) {
            const double t = static_cast<double>(frame) / framesPerSecond;
            const std::size_t due = std::min(
                samples.size(), static_cast<std::size_t>(static_cast<double>(frame) * perFrame));
            tick = startTick +
                   static_cast<std::uint32_t>(std::llround(1000.0 * (startS + t) + jitter(rng)));
            analyzer.AddSamples(tick, samples.data() + sent, due - sent);
            sent = due;
            if (onBatch) onBatch(analyzer, startS + t);
        }
        return tick;
    }
};

}  // namespace sphyra::analysis
