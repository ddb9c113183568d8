#include "sensor_table.h"

#include <algorithm>

namespace sphyra {

SensorRecord* SensorTable::FindSensor(std::uint8_t address) {
    for (auto& record : m_records)
        if (record.address == address) return &record;
    return nullptr;
}

const SensorRecord* SensorTable::FindSensor(std::uint8_t address) const {
    for (const auto& record : m_records)
        if (record.address == address) return &record;
    return nullptr;
}

SensorRecord& SensorTable::AddSensor(std::uint8_t address) {
    if (SensorRecord* existing = FindSensor(address)) return *existing;
    SensorRecord& record = m_records.emplace_back();
    record.address = address;
    return record;
}

void SensorTable::RemoveSensor(std::uint8_t address) {
    const auto it = std::find_if(m_records.begin(), m_records.end(),
                                 [address](const SensorRecord& r) { return r.address == address; });
    if (it != m_records.end()) m_records.erase(it);
}

}  // namespace sphyra
