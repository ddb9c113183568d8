#include "sensor_table.h"

namespace sphyra {

SensorRecord* SensorTable::FindSensor(std::uint8_t address) {
    const std::uint16_t at = m_index[address];
    return at == kAbsent ? nullptr : &m_records[at];
}

const SensorRecord* SensorTable::FindSensor(std::uint8_t address) const {
    const std::uint16_t at = m_index[address];
    return at == kAbsent ? nullptr : &m_records[at];
}

SensorRecord& SensorTable::AddSensor(std::uint8_t address) {
    if (SensorRecord* existing = FindSensor(address)) return *existing;
    m_index[address] = static_cast<std::uint16_t>(m_records.size());
    SensorRecord& record = m_records.emplace_back();
    record.address = address;
    return record;
}

void SensorTable::RemoveSensor(std::uint8_t address) {
    const std::uint16_t at = m_index[address];
    if (at == kAbsent) return;
    m_records.erase(m_records.begin() + at);
    m_index[address] = kAbsent;
    // The records behind it moved up by one.
    for (std::size_t i = at; i < m_records.size(); ++i)
        m_index[m_records[i].address] = static_cast<std::uint16_t>(i);
}

void SensorTable::Clear() {
    m_records.clear();
    m_index.fill(kAbsent);
}

}  // namespace sphyra
