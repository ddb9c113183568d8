#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "tools/sim/sensor_simulator.h"

namespace sphyra::bench {

// CPU seconds used so far by RUSAGE_SELF or RUSAGE_THREAD.
inline double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Plays the simulator into `out` for `seconds` in `stepMs` steps of the wall clock: 20 ms, as a
// receiver that gathers the sensors' bytes hands them on, or 1 ms, each frame about when its
// sensor sends it (as sphyra-sim plays them). `written(ns)` runs after each write with the
// monotonic time, in nanoseconds, at which the write began; a step with no frame writes nothing.
template <typename Output, typename OnWritten>
void PlayPaced(SensorSimulator& sim, Output& out, double seconds, OnWritten written,
               std::uint64_t stepMs = 20) {
    const auto start = std::chrono::steady_clock::now();
    const auto totalMs = static_cast<std::uint64_t>(seconds * 1000);
    std::vector<std::uint8_t> bytes;
    for (std::uint64_t ms = stepMs; ms <= totalMs; ms += stepMs) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(ms));
        bytes.clear();
        sim.ProduceInto(ms, bytes);
        if (bytes.empty()) continue;
        const auto writtenAt = std::chrono::steady_clock::now();
        out.Write(bytes);
        written(std::chrono::duration_cast<std::chrono::nanoseconds>(writtenAt.time_since_epoch())
                    .count());
    }
}

}  // namespace sphyra::bench
