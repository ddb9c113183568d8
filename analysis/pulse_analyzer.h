#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/band_pass_filter.h"
#include "analysis/beat_shape_checker.h"
#include "analysis/interval_tracker.h"
#include "analysis/sample_rate_estimator.h"
#include "analysis/signal_level_monitor.h"
#include "analysis/two_average_beat_detector.h"

namespace sphyra::analysis {

enum class PulseState : std::uint8_t { NoSignal, Poor, Good };

struct Beat {
    std::uint64_t sampleIndex =
        0;             // index of the beat's sample, counted from the first sample given
    double timeS = 0;  // its time in seconds on the analyzer's own timeline
};

struct PulseStatus {
    PulseState state = PulseState::NoSignal;
    std::optional<double> rateBpm;     // engaged only while state == Good
    std::uint32_t lastIntervalMs = 0;  // the last accepted inter-beat interval, 0 before the first
    double sampleRateHz = 0;           // estimated (or fixed); 0 until known
};

// One sensor's pulse: fed sample by sample as data arrives, bounded memory, no allocation per
// sample. The chain is band-pass, two-moving-average beat detection, interval checks against
// the running median, and a state that withholds the rate unless the pulse can be trusted.
class PulseAnalyzer {
public:
    PulseAnalyzer();

    // `n` samples, oldest first, that arrived together at `tick` (ms, 32-bit, wraps).
    void AddSamples(std::uint32_t tick, const std::uint16_t* samples, std::size_t n);
    // The same for raw sensor bytes, as a frame carries them.
    void AddByteSamples(std::uint32_t tick, const std::uint8_t* samples, std::size_t n);
    // Lets time pass without samples, so that a silent sensor loses its rate
    // (the window's 50 ms timer calls it for every sensor).
    void Advance(std::uint32_t now);
    const PulseStatus& Status() const { return m_status; }
    // Beats found by the latest AddSamples call, oldest first; valid until the next call.
    std::span<const Beat> NewBeats() const { return {m_newBeats.data(), m_newBeatCount}; }
    std::uint64_t SamplesSeen() const { return m_samplesSeen; }
    // Offline use at a known rate (sphyra-pulse, tests, export): no estimation from ticks.
    void SetFixedSampleRate(double hz);
    // Forgets all but a fixed sample rate, as if no sample had come.
    void Reset();

    // Lowest and highest sample rates the detector runs at; outside them it reports no signal.
    static constexpr double kMinSampleRateHz = 20.0;
    static constexpr double kMaxSampleRateHz = 5000.0;
    // A sensor silent for longer than this has no signal.
    static constexpr std::uint32_t kSilenceMs = 1000;
    // Beats kept for one AddSamples call; a call long enough to hold more keeps the newest.
    static constexpr std::size_t kMaxNewBeats = 64;

private:
    template <typename Sample>
    void AddBatch(std::uint32_t tick, const Sample* samples, std::size_t n);
    void FollowSampleRate();
    void Restart(double hz);
    template <typename Sample>
    void Process(const Sample* samples, std::size_t n);
    void OnBeat(std::uint64_t sampleIndex, double fraction);
    void UpdateStatus(double silenceS);
    double TimeOf(double position) const;
    // The detector runs only at a sample rate it was made for.
    bool Running() const {
        return m_designRateHz >= kMinSampleRateHz && m_designRateHz <= kMaxSampleRateHz;
    }

    // Samples filtered at a time, on the stack.
    static constexpr std::size_t kBlock = 256;

    SampleRateEstimator m_estimator;
    BandPassFilter m_filter;
    TwoAverageBeatDetector m_detector;
    IntervalTracker m_intervals;
    SignalLevelMonitor m_level;
    BeatShapeChecker m_shape;
    std::size_t m_alikeRun = 0;   // beats in a row shaped like the one before
    std::size_t m_unlikeRun = 0;  // beats in a row not

    PulseStatus m_status;
    std::vector<Beat> m_newBeats;
    std::size_t m_newBeatCount = 0;

    double m_fixedRateHz = 0;
    double m_designRateHz = 0;  // the rate the filter and windows were built for; 0: none
    std::uint64_t m_samplesSeen = 0;
    std::uint64_t m_segmentStart = 0;  // sample index where the detector last restarted
    bool m_primed = false;
    // The timeline: `m_baseTimeS` at sample `m_baseIndex`, then 1 / rate a sample.
    double m_baseTimeS = 0;
    std::uint64_t m_baseIndex = 0;
    double m_timelineRateHz = 0;
    std::uint32_t m_estimatorRestarts = 0;
    bool m_haveTick = false;
    std::uint32_t m_lastTick = 0;
};

}  // namespace sphyra::analysis
