#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sensor_record.h"

namespace sphyra {

// Every sensor heard, in order of first appearance, one record per address.
// Pointers returned here stay valid only until the next AddSensor or RemoveSensor.
class SensorTable {
public:
    SensorTable() { m_index.fill(kAbsent); }

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
    void Clear();

private:
    static constexpr std::uint16_t kAbsent = 0xFFFF;

    std::vector<SensorRecord> m_records;
    // Position in m_records of each address's record, so a frame finds its sensor
    // in one step however many are listed; at most 256 records, so 16 bits suffice.
    std::array<std::uint16_t, 256> m_index{};
};

}  // namespace sphyra
