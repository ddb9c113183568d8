#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/sim/sensor_simulator.h"

namespace sphyra {

// What became of the produced bytes on their way to the reader.
struct LinkCounters {
    std::uint64_t written = 0;  // accepted by the system
    std::uint64_t dropped = 0;  // discarded from the send queue (reader stalled)
    std::size_t unsent = 0;     // still queued at the end
    std::size_t unread = 0;     // accepted by the system but never read
};

// One line per sensor describing its setup, for the start of a run.
std::string FormatSimSetup(const SimulatorConfig& config);

// The end-of-run report: one "sensor key=value ..." line per sensor and one
// "total key=value ..." line.
std::string FormatSimSummary(const SensorSimulator& simulator, double seconds,
                             const LinkCounters& link);

// Bytes per second the configuration sends when nothing is corrupted.
double NominalBytesPerSecond(const SimulatorConfig& config);

}  // namespace sphyra
