#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "analysis/pulse_analyzer.h"
#include "sensor_record.h"
#include "sensor_table.h"
#include "tick.h"

namespace sphyra {

// The pulse rate as a sensor's tile shows it: whole beats a minute while the
// pulse can be trusted, nothing otherwise (shown as "--").
std::optional<int> ShownPulseRate(const analysis::PulseStatus& status);
inline std::optional<int> ShownPulseRate(const SensorRecord& record) {
    return ShownPulseRate(record.pulse->Status());
}

// Feeds one frame's samples, as the history stored them, to the sensor's
// analyzer. Returns true when what the sensor's tile shows of the pulse changed.
bool FeedSensorPulse(SensorRecord& record, Tick tick, const std::uint16_t* samples, std::size_t n);
bool FeedSensorPulse(SensorRecord& record, Tick tick, const std::uint8_t* samples, std::size_t n);

// Lets time pass for the sensor, so that one gone silent loses its rate.
// Returns true when what its tile shows of the pulse changed.
bool AdvanceSensorPulse(SensorRecord& record, Tick now);

// The same for every sensor in `table`, calling `changed(record)` for each whose tile must show
// another pulse.
template <typename OnChanged>
void AdvanceEveryPulse(SensorTable& table, Tick now, OnChanged changed) {
    for (std::size_t i = 0; i < table.Size(); ++i) {
        SensorRecord& record = table.At(i);
        if (AdvanceSensorPulse(record, now)) changed(static_cast<const SensorRecord&>(record));
    }
}

}  // namespace sphyra
