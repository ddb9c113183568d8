#include "frame_applier.h"

namespace sphyra {

void FrameApplier::ApplyFrame(std::uint8_t address, std::uint8_t gain, std::uint8_t battery,
                              std::uint8_t sampleCount, const std::uint8_t* samples) {
    SensorRecord* record = m_table.FindSensor(address);
    const bool isNew = record == nullptr;
    if (isNew) record = &m_table.AddSensor(address);

    bool changed = false;
    if (record->gain != gain) changed = true;
    record->gain = gain;
    if (record->battery != battery) changed = true;
    record->battery = battery;

    // A sensor already in the table has been heard before, even if that was at
    // tick 0 (which the counter passes every 49.7 days), so its interval counts.
    const Tick now = m_clock.NowTick();
    if (!isNew) {
        const std::uint32_t interval = now - record->lastTick;
        if (interval != record->interval) changed = true;
        record->interval = interval;
    }
    record->lastTick = now;
    ++record->frames;

    const bool displayed = m_selected == address;
    SampleRing& history = *record->history;
    if (m_softFilterEnabled && m_filter != nullptr) {
        for (int i = 0; i < sampleCount; ++i) {
            const std::uint16_t filtered = m_filter(samples[i]);
            history.PushSample(filtered);
            if (displayed) m_display.AddSample(filtered);
        }
    } else {
        history.PushSamples({samples, sampleCount});
        if (displayed) m_display.AddSamples({samples, sampleCount});
    }

    if (isNew) {
        m_display.AddSensorRow(*record);
        if (!m_selected.has_value()) {
            m_selected = address;
            m_display.SelectSensor(*record);
        }
    } else if (changed) {
        m_display.UpdateSensorRow(*record);
    }
}

bool FrameApplier::SelectSensor(std::uint8_t address) {
    const SensorRecord* record = m_table.FindSensor(address);
    if (record == nullptr) return false;
    m_selected = address;
    m_display.SelectSensor(*record);
    return true;
}

}  // namespace sphyra
