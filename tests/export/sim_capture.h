#pragma once

#include <cstdint>
#include <filesystem>
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
    std::uint32_t startTick = 0xFFFFF000u;
};

inline SimCapture WriteSimCapture(const std::filesystem::path& folder, SimulatorConfig config,
                                  std::uint64_t untilMs, std::uint64_t stepMs = 20) {
    SimCapture out;
    SensorSimulator simulator(std::move(config));
    CaptureWriter writer;
    capture::CaptureHeader header;
    header.startTimeUs = 1'780'000'000'000'000;
    header.baud = 115200;
    header.tickAtStart = out.startTick;
    header.port = "COM1";
    std::string error;
    if (!writer.Open(folder, header, &error)) throw std::runtime_error(error);
    writer.AppendPortEvent(0, out.startTick, capture::PortEventCode::Opened);
    for (std::uint64_t t = stepMs; t <= untilMs; t += stepMs) {
        std::vector<std::uint8_t> bytes = simulator.Produce(t);
        if (bytes.empty()) continue;
        const auto tick = static_cast<std::uint32_t>(out.startTick + t);
        writer.AppendReceived(static_cast<std::int64_t>(t * 1000), tick, bytes.data(),
                              bytes.size());
        out.reads.push_back(std::move(bytes));
        out.readUs.push_back(t * 1000);
    }
    if (!writer.Close()) throw std::runtime_error(writer.Error());
    out.path = writer.Path();
    return out;
}

}  // namespace sphyra::test
