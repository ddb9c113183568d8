#pragma once

#include "acquisition/sensor_display.h"

namespace sphyra {

// A display that shows nothing, so a benchmark measures only what feeds it.
class NullDisplay final : public SensorDisplay {
public:
    void AddSample(std::uint16_t) override {}
    void AddSamples(std::span<const std::uint8_t>) override {}
    void AddSensorRow(const SensorRecord&) override {}
    void UpdateSensorRow(const SensorRecord&) override {}
    void SelectSensor(const SensorRecord&) override {}
};

}  // namespace sphyra
