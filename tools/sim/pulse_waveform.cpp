#include "tools/sim/pulse_waveform.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace sphyra {
namespace {

// A beat as a sum of skewed Gaussian humps: the systolic wave, the dicrotic wave
// behind the notch, and a low late hump that slows the diastolic run-off.
struct Hump {
    double amplitude;
    double centre;
    double widthBefore;
    double widthAfter;
};

constexpr std::array<Hump, 3> kHumps{{
    {1.00, PulseWaveform::kSystolicPhase, 0.055, 0.10},
    {0.42, PulseWaveform::kDicroticPhase, 0.07, 0.09},
    {0.10, 0.62, 0.12, 0.18},
}};

double RawShape(double phase) {
    double sum = 0.0;
    // Neighbouring beats' tails are added so the shape joins up seamlessly.
    for (int beat = -1; beat <= 1; ++beat) {
        const double p = phase + beat;
        for (const Hump& hump : kHumps) {
            const double width = p < hump.centre ? hump.widthBefore : hump.widthAfter;
            const double z = (p - hump.centre) / width;
            sum += hump.amplitude * std::exp(-0.5 * z * z);
        }
    }
    return sum;
}

// The shape costs nine exponentials a point, so it is tabulated once, normalised
// to 0-1, and read back with linear interpolation: a few nanoseconds a sample,
// which matters when streams of hours are generated for benchmarks.
constexpr std::size_t kTableSteps = 4096;
using ShapeTable = std::array<double, kTableSteps + 1>;

const ShapeTable& Table() {
    static const ShapeTable table = [] {
        ShapeTable t{};
        for (std::size_t i = 0; i <= kTableSteps; ++i) {
            t[i] = RawShape(static_cast<double>(i) / static_cast<double>(kTableSteps));
        }
        const auto [low, high] = std::minmax_element(t.begin(), t.end());
        const double lo = *low;
        const double span = *high - lo;
        for (double& v : t) v = (v - lo) / span;
        return t;
    }();
    return table;
}

}  // namespace

PulseWaveform::PulseWaveform(double bpm, double startPhase) : m_bpm(bpm), m_startPhase(startPhase) {
    if (!(bpm > 0.0) || !std::isfinite(bpm)) {
        throw std::invalid_argument("beats per minute must be positive");
    }
}

double PulseWaveform::PhaseAt(double seconds) const {
    const double beats = m_startPhase + seconds * m_bpm / 60.0;
    return beats - std::floor(beats);
}

double PulseWaveform::Shape(double phase) {
    if (!std::isfinite(phase)) return 0.0;
    const ShapeTable& table = Table();
    const double position = (phase - std::floor(phase)) * static_cast<double>(kTableSteps);
    const std::size_t index = std::min(static_cast<std::size_t>(position), kTableSteps - 1);
    const double fraction = position - static_cast<double>(index);
    return table[index] + (table[index + 1] - table[index]) * fraction;
}

double PulseWaveform::PeakPhase() {
    static const double phase = [] {
        const ShapeTable& table = Table();
        const auto peak = std::max_element(table.begin(), table.end());
        return static_cast<double>(peak - table.begin()) / static_cast<double>(kTableSteps);
    }();
    return phase;
}

std::uint8_t PulseWaveform::ToSample(double level, std::uint8_t gain, double noiseCounts) {
    const double counts = kBaselineCounts + level * gain * kCountsPerGain + noiseCounts;
    return static_cast<std::uint8_t>(std::clamp(std::lround(counts), 0l, 255l));
}

}  // namespace sphyra
