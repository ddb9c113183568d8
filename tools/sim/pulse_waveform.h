#pragma once

#include <cstdint>

namespace sphyra {

// A finger-pulse (photoplethysmogram) shape: a steep systolic upstroke and peak,
// a dicrotic notch, a smaller dicrotic wave and a slow diastolic run-off back to
// the foot of the next beat.
class PulseWaveform {
public:
    // Where one beat's landmarks fall, as fractions of the beat.
    static constexpr double kSystolicPhase = 0.16;
    static constexpr double kNotchPhase = 0.35;
    static constexpr double kDicroticPhase = 0.45;

    // Level of a sample at gain 1 and at the beat's foot, in sample counts.
    static constexpr double kCountsPerGain = 36.0;
    static constexpr double kBaselineCounts = 24.0;

    // `bpm` must be positive; `startPhase` is where the beat stands at time 0.
    explicit PulseWaveform(double bpm, double startPhase = 0.0);

    double Bpm() const { return m_bpm; }
    double PeriodSeconds() const { return 60.0 / m_bpm; }
    // Fraction of the current beat in [0, 1) at `seconds` after time 0.
    double PhaseAt(double seconds) const;
    // Pulse level in [0, 1] at `seconds`.
    double ValueAt(double seconds) const { return Shape(PhaseAt(seconds)); }

    // One beat, periodic in `phase` with period 1: 0 at the foot, 1 at the systolic peak.
    static double Shape(double phase);
    // Where in the beat Shape reaches 1: the beat's time as a detector sees it.
    static double PeakPhase();

    // Turns a level into a sample byte as the sensor's amplifier would: scaled by
    // `gain`, lifted by the baseline, plus `noiseCounts`, rounded and clipped to 0-255.
    static std::uint8_t ToSample(double level, std::uint8_t gain, double noiseCounts = 0.0);

private:
    double m_bpm;
    double m_startPhase;
};

}  // namespace sphyra
