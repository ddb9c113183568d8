#pragma once

#include <cstdint>
#include <vector>

#include "acquisition/sensor_display.h"

namespace sphyra::test {

// Keeps what frame application tells the window.
class RecordingDisplay final : public SensorDisplay {
public:
    void AddSample(std::uint16_t value) override { samples.push_back(value); }
    void AddSensorRow(const SensorRecord& record) override { added.push_back(record.address); }
    void UpdateSensorRow(const SensorRecord& record) override { updated.push_back(record.address); }
    void SelectSensor(const SensorRecord& record) override { selected.push_back(record.address); }

    std::vector<std::uint16_t> samples;
    std::vector<std::uint8_t> added;
    std::vector<std::uint8_t> updated;
    std::vector<std::uint8_t> selected;
};

}  // namespace sphyra::test
