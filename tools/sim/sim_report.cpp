#include "tools/sim/sim_report.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "acquisition/sensor_frame.h"

namespace sphyra {
namespace {

template <typename... Args>
void AppendF(std::string& out, const char* format, Args... args) {
    char line[512];
    const int n = std::snprintf(line, sizeof line, format, args...);
    if (n > 0) out.append(line, std::min(static_cast<std::size_t>(n), sizeof line - 1));
}

unsigned long long U(std::uint64_t value) {
    return static_cast<unsigned long long>(value);
}

}  // namespace

std::string FormatSimSetup(const SimulatorConfig& config) {
    std::string out;
    for (const SimSensorConfig& s : config.sensors) {
        if (s.replay) {
            AppendF(out,
                    "sensor %d: replays %zu samples%s, battery %.0f%%, %g frames/s of %d samples\n",
                    s.address, s.replay->size(), s.replayLoop ? " over and over" : "",
                    s.batteryStart, s.framesPerSecond, s.samplesPerFrame);
            continue;
        }
        AppendF(out, "sensor %d: %.1f bpm, gain %d, battery %.0f%%, %g frames/s of %d samples\n",
                s.address, s.bpm, s.gain, s.batteryStart, s.framesPerSecond, s.samplesPerFrame);
        if (!s.Steady()) {
            AppendF(out, "  variability %g, drift %g bpm over %g s, premature beats %g\n",
                    s.variability, s.driftBpm, s.driftPeriodS, s.prematureRate);
        }
        for (const SimEpisode& e : s.episodes) {
            static constexpr const char* kNames[] = {"flat", "saturate", "noise", "wander"};
            AppendF(out, "  %s from %g s for %g s\n", kNames[static_cast<int>(e.kind)], e.startS,
                    e.durationS);
        }
    }
    return out;
}

std::string FormatSimSummary(const SensorSimulator& simulator, double seconds,
                             const LinkCounters& link) {
    std::string out;
    const SimulatorConfig& config = simulator.Config();
    const auto stats = simulator.Stats();
    for (std::size_t i = 0; i < stats.size(); ++i) {
        const SensorStats& s = stats[i];
        AppendF(out,
                "sensor address=%d frames=%llu corrupted=%llu bad_checksum=%llu over_long=%llu "
                "bpm=%.1f gain=%d battery=%d\n",
                s.address, U(s.frames), U(s.Corrupted()), U(s.badChecksum), U(s.overLong),
                config.sensors[i].bpm, config.sensors[i].gain, s.battery);
    }
    const SimTotals& t = simulator.Totals();
    AppendF(out,
            "total frames=%llu corrupted=%llu bad_checksum=%llu over_long=%llu "
            "garbage_bursts=%llu garbage_bytes=%llu bytes=%llu written=%llu dropped=%llu "
            "unsent=%llu unread=%llu seconds=%.3f\n",
            U(t.frames), U(t.Corrupted()), U(t.badChecksum), U(t.overLong), U(t.garbageBursts),
            U(t.garbageBytes), U(t.bytes), U(link.written), U(link.dropped), U(link.unsent),
            U(link.unread), seconds);
    return out;
}

double NominalBytesPerSecond(const SimulatorConfig& config) {
    double total = 0.0;
    for (const SimSensorConfig& s : config.sensors) {
        total += s.framesPerSecond * (s.samplesPerFrame + kFrameOverhead);
    }
    return total;
}

}  // namespace sphyra
