#include "tools/sim/beat_train.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sphyra {
namespace {

// A premature beat comes this early, fills the finger less and is followed by
// a pause that restores the rhythm, as after a ventricular extrasystole.
constexpr double kPrematureLength = 0.55;
constexpr double kPrematureAmplitude = 0.5;
// Beat lengths vary at most this many standard deviations from the mean.
constexpr double kVariabilityClip = 2.5;
// Over this fraction of a beat its height moves from the previous beat's.
constexpr double kAmplitudeBlend = 0.1;

}  // namespace

BeatTrain::BeatTrain(const SimSensorConfig& sensor, double startPhase, std::uint64_t seed)
    : m_waveform(sensor.bpm, startPhase),
      m_variability(sensor.variability),
      m_driftBpm(sensor.driftBpm),
      m_driftPeriodS(sensor.driftPeriodS),
      m_prematureRate(sensor.prematureRate),
      m_steady(sensor.Steady()),
      m_random(seed) {
    m_length = m_waveform.PeriodSeconds();
    m_start = -startPhase * m_length;
    m_peakPassed = m_start + PulseWaveform::PeakPhase() * m_length < 0.0;
}

double BeatTrain::BaseLength(double seconds) const {
    const double swing = std::sin(2.0 * std::numbers::pi * seconds / m_driftPeriodS);
    return 60.0 / (m_waveform.Bpm() + m_driftBpm * swing);
}

void BeatTrain::NextBeat() {
    ++m_beat;
    m_peakPassed = false;
    m_previousAmplitude = m_amplitude;
    if (m_steady) {
        // From the beat number rather than summed, so no rounding drift builds up.
        m_start = (static_cast<double>(m_beat) - m_waveform.PhaseAt(0.0)) * m_length;
        return;
    }
    m_start += m_length;
    const double base = BaseLength(m_start);
    // A premature beat is decided one beat ahead: it is the beat before it that
    // is cut short, and its own length is the pause that restores the rhythm.
    m_premature = m_nextPremature;
    m_nextPremature = false;
    if (m_premature) {
        m_length = 2.0 * base - m_length;
        m_amplitude = kPrematureAmplitude;
        return;
    }
    m_amplitude = 1.0;
    if (m_prematureRate > 0.0 && m_random.Chance(m_prematureRate)) {
        m_nextPremature = true;
        m_length = base * kPrematureLength;
        return;
    }
    double scale = 1.0;
    if (m_variability > 0.0) {
        const double limit = kVariabilityClip * m_variability;
        scale += std::clamp(m_random.Normal() * m_variability, -limit, limit);
    }
    m_length = base * scale;
}

double BeatTrain::LevelAt(double seconds, std::vector<SimBeat>* peaks) {
    for (;;) {
        const double peak = m_start + PulseWaveform::PeakPhase() * m_length;
        if (!m_peakPassed && seconds >= peak) {
            m_peakPassed = true;
            if (peaks != nullptr) peaks->push_back({peak, 0, m_premature, false});
        }
        if (seconds < m_start + m_length) break;
        NextBeat();
    }
    if (m_steady) return m_waveform.ValueAt(seconds);
    const double phase = (seconds - m_start) / m_length;
    const double blend = std::min(1.0, phase / kAmplitudeBlend);
    const double amplitude = m_previousAmplitude + (m_amplitude - m_previousAmplitude) * blend;
    return PulseWaveform::Shape(phase) * amplitude;
}

}  // namespace sphyra
