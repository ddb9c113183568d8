#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "acquisition/frame_sink.h"
#include "acquisition/sensor_acquisition.h"
#include "acquisition/sensor_display.h"
#include "acquisition/tick_clock.h"
#include "recording/capture_reader.h"

namespace sphyra {

// One frame as the live program applied it, with the record it left behind.
struct FeedFrame {
    std::uint64_t timeUs = 0;  // receive time, since the capture's start
    std::uint32_t tick = 0;    // the receiving program's tick then
    std::uint8_t address = 0;
    std::uint8_t gain = 0;
    std::uint8_t battery = 0;
    std::uint32_t interval = 0;  // ms, as the live record had it after this frame
    bool first = false;          // the sensor's first frame in the capture
    std::span<const std::uint8_t> samples;
};

// What a capture replayed through the acquisition core tells its listener.
class FeedListener {
public:
    virtual ~FeedListener() = default;
    virtual void OnFrame(const FeedFrame& frame) = 0;
    virtual void OnMarker(std::uint64_t timeUs, std::uint32_t number, const std::string& text) = 0;
    virtual void OnPortEvent(std::uint64_t timeUs, std::uint8_t code, const std::string& text) = 0;
    // Called after every chunk: time has reached `timeUs`, the tick `tick`.
    virtual void OnTime(std::uint64_t timeUs, std::uint32_t tick) = 0;
};

// Runs a capture's received bytes through the same ring, parser and frame
// application as the live program, on a clock that reads each chunk's recorded
// tick, so intervals and records come out as they were live.
class CaptureFeed final : private FrameSink, private SensorDisplay {
public:
    explicit CaptureFeed(FeedListener& listener);

    // Called every few hundred chunks with the file offset reached; returning false stops the
    // play there.
    using Progress = std::function<bool(std::uint64_t offset)>;

    // Plays every valid chunk of `reader` from where it stands to where it stops, or to the
    // chunk at offset `until`. False when `progress` asked to stop.
    bool Play(CaptureReader& reader, const Progress& progress = {},
              std::uint64_t until = UINT64_MAX);

    const ParseStats& Stats() { return m_acquisition.Ring().Stats(); }
    std::uint64_t Chunks() const { return m_chunks; }

private:
    void OnFrame(const SensorFrame& frame) override;
    void AddSample(std::uint16_t) override {}
    void AddSensorRow(const SensorRecord&) override { m_newRow = true; }
    void UpdateSensorRow(const SensorRecord&) override {}
    void SelectSensor(const SensorRecord&) override {}
    void Receive(std::span<const std::uint8_t> bytes);

    FeedListener& m_listener;
    ManualTickClock m_clock;
    SensorAcquisition m_acquisition;
    std::uint64_t m_timeUs = 0;
    std::uint64_t m_chunks = 0;
    bool m_newRow = false;
};

}  // namespace sphyra
