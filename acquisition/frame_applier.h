#pragma once

#include <cstdint>
#include <optional>

#include "frame_sink.h"
#include "sensor_display.h"
#include "sensor_table.h"
#include "tick_clock.h"

namespace sphyra {

// The optional outside per-sample filter: one 16-bit value in, one out.
using SampleFilterFn = std::uint16_t (*)(std::uint16_t);

// Brings a sensor's record up to date from each accepted frame and tells the
// display what changed. Owns the notion of which sensor is on display.
class FrameApplier final : public FrameSink {
public:
    FrameApplier(SensorTable& table, const TickClock& clock, SensorDisplay& display)
        : m_table(table), m_clock(clock), m_display(display) {}

    void ApplyFrame(std::uint8_t address, std::uint8_t gain, std::uint8_t battery,
                    std::uint8_t sampleCount, const std::uint8_t* samples);
    void OnFrame(const SensorFrame& frame) override {
        ApplyFrame(frame.address, frame.gain, frame.battery, frame.sampleCount, frame.samples);
    }

    // Address 0 is a sensor like any other, so "nothing selected" is its own state.
    std::optional<std::uint8_t> SelectedAddress() const { return m_selected; }
    // Makes `address` the displayed sensor and hands its record to the display.
    // Returns false, changing nothing, when no such sensor is known.
    bool SelectSensor(std::uint8_t address);

    bool SoftFilterEnabled() const { return m_softFilterEnabled; }
    void SetSoftFilterEnabled(bool enabled) { m_softFilterEnabled = enabled; }
    void SetFilter(SampleFilterFn filter) { m_filter = filter; }
    SampleFilterFn Filter() const { return m_filter; }
    // Every sensor's pulse is analysed as its frames are applied; a tool that only needs the
    // frames (a throughput benchmark, a byte-exact check) may switch that off.
    void SetPulseAnalysis(bool enabled) { m_pulseAnalysis = enabled; }
    bool PulseAnalysis() const { return m_pulseAnalysis; }

private:
    SensorTable& m_table;
    const TickClock& m_clock;
    SensorDisplay& m_display;
    std::optional<std::uint8_t> m_selected;
    bool m_softFilterEnabled = false;
    SampleFilterFn m_filter = nullptr;
    bool m_pulseAnalysis = true;
};

}  // namespace sphyra
