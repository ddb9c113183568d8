#include "tools/sim/sensor_simulator.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>

#include "tools/sim/frame_encoder.h"

namespace sphyra {
namespace {

constexpr std::uint64_t kCorruptionStream = 0xC0BB;
constexpr std::uint64_t kSensorStream = 0x5E50;
constexpr std::uint64_t kBeatStream = 0xBEA70000;
constexpr std::uint64_t kEpisodeStream = 0xE9150000;
constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

// How hard the disturbing episodes strike, in sample counts.
constexpr double kBurstNoiseCounts = 45.0;
constexpr double kWanderCounts = 70.0;

const SimEpisode* ActiveEpisode(const SimSensorConfig& sensor, double seconds) {
    for (const SimEpisode& episode : sensor.episodes) {
        if (episode.Covers(seconds)) return &episode;
    }
    return nullptr;
}

SimulatorConfig Validated(SimulatorConfig config) {
    const std::string fault = ValidateSimulatorConfig(config);
    if (!fault.empty()) throw std::invalid_argument(fault);
    return config;
}

}  // namespace

SensorSimulator::SensorSimulator(SimulatorConfig config)
    : m_config(Validated(std::move(config))),
      m_corruption(m_config.corruption, SimRandom::DeriveSeed(m_config.seed, kCorruptionStream)) {
    m_sensors.reserve(m_config.sensors.size());
    for (const SimSensorConfig& sensor : m_config.sensors) {
        // Keyed by address, so a sensor keeps its phase and noise whoever else is on the link.
        SimRandom random(SimRandom::DeriveSeed(m_config.seed, kSensorStream + sensor.address));
        const double startPhase = random.Uniform();
        const double offsetUs = random.Uniform(0.0, 1e6 / sensor.framesPerSecond);
        SensorState state{
            BeatTrain(sensor, startPhase,
                      SimRandom::DeriveSeed(m_config.seed, kBeatStream + sensor.address)),
            SimRandom(random.NextU64()),
            SimRandom(SimRandom::DeriveSeed(m_config.seed, kEpisodeStream + sensor.address))};
        state.offsetUs = static_cast<std::uint64_t>(offsetUs);
        m_sensors.push_back(state);

        SensorStats stats;
        stats.address = sensor.address;
        stats.battery = BatteryAt(m_stats.size(), 0);
        m_stats.push_back(stats);
    }
    for (std::size_t i = 0; i < m_sensors.size(); ++i) m_sensors[i].dueUs = DueTimeUs(i);
}

std::uint64_t SensorSimulator::DueTimeUs(std::size_t index) const {
    const SensorState& state = m_sensors[index];
    const double fps = m_config.sensors[index].framesPerSecond;
    // Computed from the frame number rather than summed, so no rounding drift builds up.
    const double sinceStart = static_cast<double>(state.frameIndex) * 1e6 / fps;
    return state.offsetUs + static_cast<std::uint64_t>(std::llround(sinceStart));
}

std::uint8_t SensorSimulator::BatteryAt(std::size_t index, std::uint64_t timeUs) const {
    const double minutes = static_cast<double>(timeUs) / 60e6;
    const double level =
        m_config.sensors[index].batteryStart - m_config.batteryDrainPerMinute * minutes;
    return static_cast<std::uint8_t>(std::clamp(std::ceil(level), 0.0, 100.0));
}

std::uint64_t SensorSimulator::NextFrameDueMs() const {
    std::uint64_t due = std::numeric_limits<std::uint64_t>::max();
    for (const SensorState& state : m_sensors) due = std::min(due, state.dueUs);
    return due == kNever ? kNever : (due + 999) / 1000;
}

std::vector<std::uint8_t> SensorSimulator::Produce(std::uint64_t untilMs) {
    std::vector<std::uint8_t> out;
    ProduceInto(untilMs, out);
    return out;
}

std::size_t SensorSimulator::ProduceInto(std::uint64_t untilMs, std::vector<std::uint8_t>& out) {
    if (untilMs <= m_nowMs) return 0;
    const std::size_t start = out.size();
    constexpr std::uint64_t kMaxMs = std::numeric_limits<std::uint64_t>::max() / 1000;
    const std::uint64_t limitUs = std::min(untilMs, kMaxMs) * 1000;
    for (;;) {
        std::size_t next = 0;
        for (std::size_t i = 1; i < m_sensors.size(); ++i) {
            if (m_sensors[i].dueUs < m_sensors[next].dueUs) next = i;
        }
        if (m_sensors[next].dueUs > limitUs) break;
        EmitFrame(next, out);
    }
    m_nowMs = untilMs;
    return out.size() - start;
}

void SensorSimulator::EmitFrame(std::size_t index, std::vector<std::uint8_t>& out) {
    SensorState& state = m_sensors[index];
    const SimSensorConfig& sensor = m_config.sensors[index];
    SensorStats& stats = m_stats[index];
    const std::size_t eventStart = out.size();

    auto count = static_cast<std::uint64_t>(sensor.samplesPerFrame);
    const bool replayEnds = sensor.replay && !sensor.replayLoop;
    if (replayEnds) count = std::min(count, sensor.replay->size() - state.sampleIndex);
    m_samples.clear();
    for (std::uint64_t i = 0; i < count; ++i) m_samples.push_back(NextSample(index));

    SimEvent event;
    event.timeUs = state.dueUs;
    event.sensorIndex = index;
    event.address = sensor.address;
    event.gain = sensor.gain;
    event.battery = BatteryAt(index, state.dueUs);
    event.samples = m_samples;

    const CorruptionKind corruption = m_corruption.Decide();
    if (corruption == CorruptionKind::kGarbage) {
        const std::size_t garbageStart = out.size();
        m_totals.garbageBytes += m_corruption.AppendGarbage(out);
        ++m_totals.garbageBursts;
        Notify(event, SimEventKind::kGarbage,
               std::span<const std::uint8_t>(out).subspan(garbageStart));
    }

    const std::size_t frameStart = out.size();
    SimEventKind kind = SimEventKind::kFrame;
    switch (corruption) {
        case CorruptionKind::kBadChecksum:
            m_corruption.AppendBadChecksumFrame(out, event.address, event.gain, event.battery,
                                                m_samples);
            kind = SimEventKind::kBadChecksum;
            ++stats.badChecksum;
            ++m_totals.badChecksum;
            break;
        case CorruptionKind::kOverLong:
            m_corruption.AppendOverLongFrame(out, event.address, event.gain, event.battery,
                                             m_samples);
            kind = SimEventKind::kOverLong;
            ++stats.overLong;
            ++m_totals.overLong;
            break;
        default:
            AppendFrame(out, event.address, event.gain, event.battery, m_samples);
            ++stats.frames;
            ++m_totals.frames;
            stats.samples += m_samples.size();
            break;
    }
    stats.battery = event.battery;
    Notify(event, kind, std::span<const std::uint8_t>(out).subspan(frameStart));

    m_totals.bytes += out.size() - eventStart;
    ++state.frameIndex;
    const bool finished = replayEnds && state.sampleIndex >= sensor.replay->size();
    state.dueUs = finished ? kNever : DueTimeUs(index);
}

std::uint8_t SensorSimulator::NextSample(std::size_t index) {
    SensorState& state = m_sensors[index];
    const SimSensorConfig& sensor = m_config.sensors[index];
    const std::uint64_t sample = state.sampleIndex++;
    const double seconds = static_cast<double>(sample) / sensor.SampleRate();
    const SimEpisode* episode = ActiveEpisode(sensor, seconds);
    const double extra = episode != nullptr ? EpisodeCounts(state, *episode, seconds) : 0.0;
    if (sensor.replay) {
        const std::uint8_t recorded = (*sensor.replay)[sample % sensor.replay->size()];
        if (episode == nullptr) return recorded;
        return static_cast<std::uint8_t>(std::clamp(std::lround(recorded + extra), 0l, 255l));
    }

    const std::size_t known = state.peaks.size();
    const double level =
        state.beats.LevelAt(seconds, m_config.keepTrueBeats ? &state.peaks : nullptr);
    for (std::size_t i = known; i < state.peaks.size(); ++i) {
        SimBeat& beat = state.peaks[i];
        beat.sampleIndex =
            static_cast<std::uint64_t>(std::max(0l, std::lround(beat.timeS * sensor.SampleRate())));
        beat.obscured = ActiveEpisode(sensor, beat.timeS) != nullptr;
    }
    const double noise =
        m_config.noiseCounts > 0.0 ? state.noise.Normal() * m_config.noiseCounts : 0.0;
    return PulseWaveform::ToSample(level, sensor.gain, noise + extra);
}

// Counts added to a sample by `episode`; a flat or saturated episode adds
// enough to pin the sample at 0 or 255 whatever the pulse.
double SensorSimulator::EpisodeCounts(SensorState& state, const SimEpisode& episode,
                                      double seconds) {
    switch (episode.kind) {
        case EpisodeKind::kFlatZero:
            return -1000.0;
        case EpisodeKind::kSaturated:
            return 1000.0;
        case EpisodeKind::kNoise:
            return state.episodeNoise.Normal() * kBurstNoiseCounts;
        case EpisodeKind::kWander: {
            // Two slow swings, as a hand moving and settling would make.
            const double t = 2.0 * std::numbers::pi * (seconds - episode.startS);
            return kWanderCounts * (0.7 * std::sin(0.22 * t) + 0.3 * std::sin(0.9 * t + 1.0));
        }
    }
    return 0.0;
}

void SensorSimulator::Notify(SimEvent event, SimEventKind kind,
                             std::span<const std::uint8_t> bytes) const {
    if (!m_observer) return;
    event.kind = kind;
    event.bytes = bytes;
    m_observer(event);
}

}  // namespace sphyra
