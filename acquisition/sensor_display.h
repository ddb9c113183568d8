#pragma once

#include <cstdint>
#include <span>

#include "sensor_record.h"

namespace sphyra {

// What frame application asks of the window: the waveform view's AddSample(s), the sensor
// list's three row operations, and the beats to mark on the trace. Records passed here are valid
// only for the duration of the call.
class SensorDisplay {
public:
    virtual ~SensorDisplay() = default;
    virtual void AddSample(std::uint16_t value) = 0;
    // One frame's raw samples at once, the same as AddSample for each in turn; a
    // display that can take them together overrides it to do the work once per frame.
    virtual void AddSamples(std::span<const std::uint8_t> samples) {
        for (const std::uint8_t sample : samples) AddSample(sample);
    }
    virtual void AddSensorRow(const SensorRecord& record) = 0;
    virtual void UpdateSensorRow(const SensorRecord& record) = 0;
    virtual void SelectSensor(const SensorRecord& record) = 0;
    // A beat found on the displayed sensor, `samplesAgo` samples before its latest AddSample.
    virtual void MarkBeat(std::uint32_t samplesAgo) { static_cast<void>(samplesAgo); }
};

}  // namespace sphyra
