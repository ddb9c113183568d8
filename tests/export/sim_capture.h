#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "recording/capture_writer.h"
#include "tools/sim/sensor_simulator.h"

namespace sphyra::test {

// A capture of a simulated session, written by the program's own writer: each
// step's bytes as one read, received at the step's time, with a 32-bit tick that
// starts just below its wrap so tick arithmetic is exercised too.
struct SimCapture {
    std::filesystem::path path;
    std::vector<std::vector<std::uint8_t>> reads;  // what each read returned
    std::vector<std::uint64_t> readUs;             // when
    std::vector<std::uint32_t> readTicks;
    std::uint32_t startTick = 0xFFFFF000u;
};

struct SimCaptureOptions {
    std::uint64_t untilMs = 1000;
    std::uint64_t stepMs = 20;
    // Frames for which this says false never reach the port (a sensor out of range).
    std::function<bool(const SimEvent&)> keep;
    std::vector<std::uint64_t> markerMs;  // markers dropped at these times
};

inline SimCapture WriteSimCapture(const std::filesystem::path& folder, SimulatorConfig config,
                                  const SimCaptureOptions& options) {
    SimCapture out;
    SensorSimulator simulator(std::move(config));
    std::vector<std::uint8_t> bytes;
    simulator.SetObserver([&](const SimEvent& e) {
        if (!options.keep || options.keep(e))
            bytes.insert(bytes.end(), e.bytes.begin(), e.bytes.end());
    });
    CaptureWriter writer;
    capture::CaptureHeader header;
    header.startTimeUs = 1'780'000'000'000'000;
    header.baud = 115200;
    header.tickAtStart = out.startTick;
    header.port = "COM1";
    std::string error;
    if (!writer.Open(folder, header, &error)) throw std::runtime_error(error);
    writer.AppendPortEvent(0, out.startTick, capture::PortEventCode::Opened);
    std::size_t marker = 0;
    for (std::uint64_t t = options.stepMs; t <= options.untilMs; t += options.stepMs) {
        const auto tick = static_cast<std::uint32_t>(out.startTick + t);
        const auto us = static_cast<std::int64_t>(t * 1000);
        bytes.clear();
        simulator.Produce(t);
        if (!bytes.empty()) {
            writer.AppendReceived(us, tick, bytes.data(), bytes.size());
            out.reads.push_back(bytes);
            out.readUs.push_back(t * 1000);
            out.readTicks.push_back(tick);
        }
        if (marker < options.markerMs.size() && options.markerMs[marker] <= t) {
            ++marker;
            writer.AppendMarker(us, tick, static_cast<std::uint32_t>(marker), "mark");
        }
    }
    if (!writer.Close()) throw std::runtime_error(writer.Error());
    out.path = writer.Path();
    return out;
}

}  // namespace sphyra::test
