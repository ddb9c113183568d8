#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sensor_record.h"

namespace sphyra {

// Every sensor heard, in order of first appearance, one record per address.
// Pointers returned here stay valid only until the next AddSensor or RemoveSensor.
class SensorTable {
public:
    SensorRecord* FindSensor(std::uint8_t address);
    const SensorRecord* FindSensor(std::uint8_t address) const;

    // Returns the existing record for `address`, or appends a fresh one.
    SensorRecord& AddSensor(std::uint8_t address);

    // Removes the record; the ones behind it keep their order. Unknown addresses are ignored.
    void RemoveSensor(std::uint8_t address);

    std::size_t Size() const { return m_records.size(); }
    const SensorRecord& At(std::size_t index) const { return m_records[index]; }
    // For updating what a record holds; its address must stay as it is.
    SensorRecord& At(std::size_t index) { return m_records[index]; }
    void Clear() { m_records.clear(); }

private:
    std::vector<SensorRecord> m_records;
};

}  // namespace sphyra
