#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "tools/sim/beat_train.h"
#include "tools/sim/corruption_injector.h"
#include "tools/sim/sim_config.h"
#include "tools/sim/sim_random.h"

namespace sphyra {

enum class SimEventKind { kFrame, kBadChecksum, kOverLong, kGarbage };

// One thing put on the wire. Spans are valid only during the observer call.
struct SimEvent {
    SimEventKind kind = SimEventKind::kFrame;
    std::uint64_t timeUs = 0;     // simulated time the bytes were sent
    std::size_t sensorIndex = 0;  // meaningless for garbage
    std::uint8_t address = 0;
    std::uint8_t gain = 0;
    std::uint8_t battery = 0;
    std::span<const std::uint8_t> samples;  // what the sensor measured for this frame
    std::span<const std::uint8_t> bytes;    // exactly the bytes sent for this event
};

struct SensorStats {
    std::uint8_t address = 0;
    std::uint64_t frames = 0;       // good frames sent
    std::uint64_t badChecksum = 0;  // frames spoilt by a wrong checksum
    std::uint64_t overLong = 0;     // frames spoilt by an over-long length byte
    std::uint64_t samples = 0;      // samples in good frames
    std::uint8_t battery = 0;       // level in the latest frame
    std::uint64_t Corrupted() const { return badChecksum + overLong; }
};

struct SimTotals {
    std::uint64_t frames = 0;
    std::uint64_t badChecksum = 0;
    std::uint64_t overLong = 0;
    std::uint64_t garbageBursts = 0;
    std::uint64_t garbageBytes = 0;
    std::uint64_t bytes = 0;
    std::uint64_t Corrupted() const { return badChecksum + overLong; }
};

// Plays several sensors on one simulated link. Time is simulated and starts at 0;
// each call hands out the bytes of every frame that fell due since the previous
// call, merged in time order, so the same seed and configuration give the same
// byte stream however the span of time is cut into calls.
class SensorSimulator {
public:
    using Observer = std::function<void(const SimEvent&)>;

    // Throws std::invalid_argument when ValidateSimulatorConfig finds a fault.
    explicit SensorSimulator(SimulatorConfig config);

    // Appends the bytes of every frame due in (NowMs(), untilMs] to `out` and
    // returns how many were appended. A time not after NowMs() produces nothing.
    std::size_t ProduceInto(std::uint64_t untilMs, std::vector<std::uint8_t>& out);
    std::vector<std::uint8_t> Produce(std::uint64_t untilMs);

    // Simulated time produced so far, in ms.
    std::uint64_t NowMs() const { return m_nowMs; }
    // When the next frame falls due (rounded up to whole ms).
    std::uint64_t NextFrameDueMs() const;

    // Called for every frame, spoilt frame and garbage burst as it is produced.
    void SetObserver(Observer observer) { m_observer = std::move(observer); }

    // The beats behind sensor `index`'s samples so far, oldest first; empty unless
    // the configuration keeps them, and for a replayed sensor.
    std::span<const SimBeat> TrueBeats(std::size_t index) const { return m_sensors[index].peaks; }

    const SimulatorConfig& Config() const { return m_config; }
    std::span<const SensorStats> Stats() const { return m_stats; }
    const SimTotals& Totals() const { return m_totals; }

private:
    struct SensorState {
        BeatTrain beats;
        SimRandom noise;
        SimRandom episodeNoise;
        std::uint64_t offsetUs = 0;
        std::uint64_t frameIndex = 0;
        std::uint64_t dueUs = 0;
        std::uint64_t sampleIndex = 0;
        std::vector<SimBeat> peaks{};
    };

    std::uint64_t DueTimeUs(std::size_t index) const;
    std::uint8_t NextSample(std::size_t index);
    double EpisodeCounts(SensorState& state, const SimEpisode& episode, double seconds);
    std::uint8_t BatteryAt(std::size_t index, std::uint64_t timeUs) const;
    void EmitFrame(std::size_t index, std::vector<std::uint8_t>& out);
    void Notify(SimEvent event, SimEventKind kind, std::span<const std::uint8_t> bytes) const;

    SimulatorConfig m_config;
    std::vector<SensorState> m_sensors;
    std::vector<SensorStats> m_stats;
    SimTotals m_totals;
    CorruptionInjector m_corruption;
    Observer m_observer;
    std::uint64_t m_nowMs = 0;
    std::vector<std::uint8_t> m_samples;  // scratch, reused frame to frame
};

}  // namespace sphyra
