#include "frame_applier.h"

#include <array>

#include "sensor_pulse.h"

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
    record->samples += sampleCount;

    const bool displayed = m_selected == address;
    SampleRing& history = *record->history;
    // The pulse is fed the samples as the history holds them, filtered or raw.
    bool pulseChanged = false;
    if (m_softFilterEnabled && m_filter != nullptr) {
        std::array<std::uint16_t, 256> filtered;
        for (int i = 0; i < sampleCount; ++i) {
            const std::uint16_t value = m_filter(samples[i]);
            filtered[static_cast<std::size_t>(i)] = value;
            history.PushSample(value);
            if (displayed) m_display.AddSample(value);
        }
        if (m_pulseAnalysis)
            pulseChanged = FeedSensorPulse(*record, now, filtered.data(), sampleCount);
    } else {
        history.PushSamples({samples, sampleCount});
        if (displayed) m_display.AddSamples({samples, sampleCount});
        if (m_pulseAnalysis) pulseChanged = FeedSensorPulse(*record, now, samples, sampleCount);
    }
    if (pulseChanged) changed = true;
    if (displayed && m_pulseAnalysis) {
        const analysis::PulseAnalyzer& pulse = *record->pulse;
        for (const analysis::Beat& beat : pulse.NewBeats())
            m_display.MarkBeat(
                static_cast<std::uint32_t>(pulse.SamplesSeen() - 1 - beat.sampleIndex));
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
