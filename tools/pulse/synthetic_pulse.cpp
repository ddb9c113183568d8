#include "tools/pulse/synthetic_pulse.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "tools/sim/pulse_waveform.h"

namespace sphyra {

double SyntheticPulse::TrueBpmAt(double timeS) const {
    const auto end = std::upper_bound(beatTimesS.begin(), beatTimesS.end(), timeS);
    const auto count = end - beatTimesS.begin();
    if (count < 2) return 0;
    std::vector<double> intervals;
    for (auto it = end - 1; it != beatTimesS.begin() && intervals.size() < 8; --it) {
        intervals.push_back(*it - *(it - 1));
    }
    std::sort(intervals.begin(), intervals.end());
    const std::size_t n = intervals.size();
    const double median =
        n % 2 ? intervals[n / 2] : (intervals[n / 2 - 1] + intervals[n / 2]) / 2.0;
    return 60.0 / median;
}

SyntheticPulse MakeSyntheticPulse(const SyntheticPulseConfig& config) {
    std::mt19937 rng(config.seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const double bpmEnd = config.bpmEnd > 0 ? config.bpmEnd : config.bpm;

    // Beat onsets first, from a random phase.
    std::vector<double> onsets;
    std::vector<double> lengths;
    double t = -std::uniform_real_distribution<double>(0.0, 60.0 / config.bpm)(rng);
    while (t < config.seconds) {
        const double progress = std::clamp(t / config.seconds, 0.0, 1.0);
        const double period = 60.0 / (config.bpm + (bpmEnd - config.bpm) * progress);
        const double length =
            period * std::clamp(1.0 + config.variability * gauss(rng), 0.75, 1.25);
        onsets.push_back(t);
        lengths.push_back(length);
        t += length;
    }

    auto episodeAt = [&](double time) -> const SyntheticPulseConfig::Off* {
        for (const auto& e : config.episodes) {
            if (time >= e.fromS && time < e.toS) return &e;
        }
        return nullptr;
    };

    SyntheticPulse pulse;
    for (std::size_t k = 0; k < onsets.size(); ++k) {
        const double peak = onsets[k] + PulseWaveform::kSystolicPhase * lengths[k];
        const auto* off = episodeAt(peak);
        if (peak >= 0 && peak < config.seconds &&
            (!off || off->kind == SyntheticPulseConfig::Episode::Wander)) {
            pulse.beatTimesS.push_back(peak);
        }
    }
    const auto n = static_cast<std::size_t>(config.seconds * config.sampleRateHz);
    pulse.samples.reserve(n);
    std::size_t beat = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double time = static_cast<double>(i) / config.sampleRateHz;
        while (beat + 1 < onsets.size() && onsets[beat + 1] <= time) ++beat;
        const double noise = config.noiseCounts * gauss(rng);
        const auto* off = episodeAt(time);
        if (off && off->kind != SyntheticPulseConfig::Episode::Wander) {
            switch (off->kind) {
                case SyntheticPulseConfig::Episode::FlatZero:
                    pulse.samples.push_back(0);
                    break;
                case SyntheticPulseConfig::Episode::Saturated:
                    pulse.samples.push_back(255);
                    break;
                case SyntheticPulseConfig::Episode::Noise:
                    pulse.samples.push_back(
                        PulseWaveform::ToSample(0.5, config.gain, 30.0 * gauss(rng)));
                    break;
                case SyntheticPulseConfig::Episode::Wander:
                    break;
            }
            continue;
        }
        const double phase = (time - onsets[beat]) / lengths[beat];
        // Upwards from the foot, so that the pulse is not clipped at zero.
        const double wander =
            off ? 20.0 - 20.0 * std::cos(2 * std::numbers::pi * 0.25 * (time - off->fromS)) : 0.0;
        pulse.samples.push_back(PulseWaveform::ToSample(
            PulseWaveform::Shape(std::min(phase, 0.999)), config.gain, noise + wander));
    }
    return pulse;
}

}  // namespace sphyra
