#include "tools/pulse/offline_pulse_run.h"

#include <cmath>

namespace sphyra {

const char* PulseStateName(analysis::PulseState state) {
    switch (state) {
        case analysis::PulseState::NoSignal:
            return "no_signal";
        case analysis::PulseState::Poor:
            return "poor";
        case analysis::PulseState::Good:
            return "good";
    }
    return "no_signal";
}

OfflinePulseRun RunOffline(std::span<const std::uint16_t> samples, double sampleRateHz) {
    OfflinePulseRun run;
    run.sampleRateHz = sampleRateHz;
    run.samples = samples.size();
    analysis::PulseAnalyzer analyzer;
    analyzer.SetFixedSampleRate(sampleRateHz);
    run.changes.push_back({0.0, analyzer.Status().state});
    std::uint64_t nextSecond = 1;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double timeS = static_cast<double>(i) / sampleRateHz;
        const auto tick = static_cast<std::uint32_t>(std::llround(timeS * 1000.0));
        analyzer.AddSamples(tick, &samples[i], 1);
        for (const analysis::Beat& beat : analyzer.NewBeats()) run.beats.push_back(beat);
        const analysis::PulseStatus& status = analyzer.Status();
        if (status.state != run.changes.back().state) run.changes.push_back({timeS, status.state});
        // The status after the sample that ends each whole second.
        const double endS = static_cast<double>(i + 1) / sampleRateHz;
        if (endS + 1e-9 >= static_cast<double>(nextSecond)) {
            run.rates.push_back({static_cast<double>(nextSecond), status.rateBpm, status.state});
            ++nextSecond;
        }
    }
    return run;
}

}  // namespace sphyra
