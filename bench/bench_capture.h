#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "recording/capture_writer.h"
#include "tools/sim/sensor_simulator.h"

namespace sphyra::bench {

// Writes a capture of the full load (16 sensors x 50 frames/s x 80 samples), `seconds` long,
// into `folder`, as a connection reading every `stepMs` would record it, and returns its path.
// `onRead(us, bytes)` hears each read as it is written. Exits the benchmark, naming `tool`, when
// the capture cannot be made.
inline std::filesystem::path WriteFullLoadCapture(
    const std::filesystem::path& folder, double seconds, const char* tool,
    std::uint64_t stepMs = 20,
    const std::function<void(std::uint64_t us, std::size_t bytes)>& onRead = {}) {
    std::vector<std::uint8_t> addresses;
    for (int i = 1; i <= 16; ++i) addresses.push_back(static_cast<std::uint8_t>(i));
    SensorSimulator simulator(MakeSimulatorConfig(addresses, 80, 50, 1));
    CaptureWriter writer;
    capture::CaptureHeader header;
    header.startTimeUs = 1'780'000'000'000'000;
    header.baud = 921600;
    header.port = "COM1";
    std::string error;
    if (!writer.Open(folder, header, &error)) {
        std::fprintf(stderr, "%s: %s\n", tool, error.c_str());
        std::exit(1);
    }
    std::vector<std::uint8_t> bytes;
    const auto untilMs = static_cast<std::uint64_t>(seconds * 1000);
    for (std::uint64_t t = stepMs; t <= untilMs; t += stepMs) {
        bytes.clear();
        simulator.ProduceInto(t, bytes);
        if (bytes.empty()) continue;
        writer.AppendReceived(static_cast<std::int64_t>(t * 1000), static_cast<std::uint32_t>(t),
                              bytes.data(), bytes.size());
        if (onRead) onRead(t * 1000, bytes.size());
    }
    writer.Close();
    return writer.Path();
}

}  // namespace sphyra::bench
