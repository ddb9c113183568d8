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

// Plays the simulator into `out` for `seconds` in 20 ms steps of the wall clock, as a receiver
// hands the sensors' bytes on; `written(ns)` runs after each write with the monotonic time, in
// nanoseconds, at which the write began.
template <typename Output, typename OnWritten>
void PlayPaced(SensorSimulator& sim, Output& out, double seconds, OnWritten written) {
    const auto start = std::chrono::steady_clock::now();
    const auto totalMs = static_cast<std::uint64_t>(seconds * 1000);
    std::vector<std::uint8_t> bytes;
    for (std::uint64_t ms = 20; ms <= totalMs; ms += 20) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(ms));
        bytes.clear();
        sim.ProduceInto(ms, bytes);
        const auto writtenAt = std::chrono::steady_clock::now();
        out.Write(bytes);
        written(std::chrono::duration_cast<std::chrono::nanoseconds>(writtenAt.time_since_epoch())
                    .count());
    }
}

}  // namespace sphyra::bench
