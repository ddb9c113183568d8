#pragma once

#include <cstdint>
#include <memory>

#include "analysis/pulse_analyzer.h"
#include "sample_ring.h"
#include "tick.h"

namespace sphyra {

// What the monitor knows of one sensor address. Held by SensorTable; anything
// that outlives a single call keeps the address, never a pointer to the record.
struct SensorRecord {
    std::uint8_t address = 0;
    int gain = 0;
    int battery = 0;
    std::uint32_t interval = 0;  // ms between the last two frames
    Tick lastTick = 0;           // 0: never heard
    std::uint64_t frames = 0;    // frames applied since the record was created
    std::uint64_t samples = 0;   // samples applied since the record was created
    std::unique_ptr<SampleRing> history = std::make_unique<SampleRing>();
    // Beats and rate, fed with every sample the history stores.
    std::unique_ptr<analysis::PulseAnalyzer> pulse = std::make_unique<analysis::PulseAnalyzer>();
};

}  // namespace sphyra
