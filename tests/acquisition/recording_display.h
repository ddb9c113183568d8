#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/sensor_display.h"

namespace sphyra::test {

// Logs every call frame application makes, in order, as readable text. A
// selection logs the history the view would copy, since that is the only way
// samples of a newly selected sensor reach the screen.
class RecordingDisplay final : public SensorDisplay {
public:
    void AddSample(std::uint16_t value) override {
        m_calls.push_back("AddSample " + std::to_string(value));
    }
    void AddSensorRow(const SensorRecord& record) override {
        m_calls.push_back("AddSensorRow " + Describe(record));
    }
    void UpdateSensorRow(const SensorRecord& record) override {
        m_calls.push_back("UpdateSensorRow " + Describe(record));
    }
    void SelectSensor(const SensorRecord& record) override {
        m_calls.push_back("SelectSensor " + std::to_string(record.address) + " history" +
                          History(record));
    }

    // Beats are kept apart from the calls, so the call order tests stay as they are.
    void MarkBeat(std::uint32_t samplesAgo) override { m_beatMarks.push_back(samplesAgo); }
    const std::vector<std::uint32_t>& BeatMarks() const { return m_beatMarks; }

    // Lets a test interleave its own events (a filter call, say) with the display's.
    void Note(const std::string& text) { m_calls.push_back(text); }

    const std::vector<std::string>& Calls() const { return m_calls; }
    void ClearCalls() { m_calls.clear(); }

    static std::string Describe(const SensorRecord& record) {
        return std::to_string(record.address) + " gain " + std::to_string(record.gain) +
               " battery " + std::to_string(record.battery) + " interval " +
               std::to_string(record.interval);
    }

    static std::string History(const SensorRecord& record) {
        std::array<std::uint16_t, SampleRing::kCapacity> samples{};
        const std::size_t count = record.history->SnapshotHistory(samples);
        std::string text;
        for (std::size_t i = 0; i < count; ++i) text += " " + std::to_string(samples[i]);
        return text;
    }

private:
    std::vector<std::string> m_calls;
    std::vector<std::uint32_t> m_beatMarks;
};

}  // namespace sphyra::test
