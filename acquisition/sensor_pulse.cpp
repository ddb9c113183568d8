#include "sensor_pulse.h"

#include <cmath>

namespace sphyra {

std::optional<int> ShownPulseRate(const analysis::PulseStatus& status) {
    if (status.state != analysis::PulseState::Good || !status.rateBpm) return std::nullopt;
    return static_cast<int>(std::lround(*status.rateBpm));
}

bool FeedSensorPulse(SensorRecord& record, Tick tick, const std::uint16_t* samples, std::size_t n) {
    const std::optional<int> before = ShownPulseRate(record);
    record.pulse->AddSamples(tick, samples, n);
    return ShownPulseRate(record) != before;
}

bool FeedSensorPulse(SensorRecord& record, Tick tick, const std::uint8_t* samples, std::size_t n) {
    const std::optional<int> before = ShownPulseRate(record);
    record.pulse->AddByteSamples(tick, samples, n);
    return ShownPulseRate(record) != before;
}

bool AdvanceSensorPulse(SensorRecord& record, Tick now) {
    const std::optional<int> before = ShownPulseRate(record);
    record.pulse->Advance(now);
    return ShownPulseRate(record) != before;
}

}  // namespace sphyra
