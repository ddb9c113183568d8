#include "analysis/pulse_analyzer.h"

#include <algorithm>
#include <cmath>

namespace sphyra::analysis {
namespace {

// A refined rate estimate this close to the one the filter was built for only moves the
// timeline; further off, the filter and windows are rebuilt.
constexpr double kRedesignRatio = 0.05;
// Accepted intervals needed before a rate is shown.
constexpr std::size_t kMinAccepted = 3;
// Of the latest verdicts, how many may reject an interval while the pulse still counts as
// regular: enough for a premature beat and its pause, too few for noise.
constexpr std::size_t kVerdictWindow = 6;
constexpr std::size_t kMaxRejections = 2;
// Accepted intervals spread wider than this share of their median are too irregular to trust.
constexpr double kMaxSpread = 0.45;
// Without an accepted beat for two intervals (at least the interval plus the detector's delay)
// the pulse is lost; never later than this, so the rate goes within three seconds of the last
// beat.
constexpr double kMaxBeatGapS = 2.6;
constexpr double kDetectorDelayS = 0.8;

}  // namespace

PulseAnalyzer::PulseAnalyzer() {
    m_newBeats.resize(kMaxNewBeats);
}

void PulseAnalyzer::Reset() {
    const double fixed = m_fixedRateHz;
    std::vector<Beat> beats = std::move(m_newBeats);
    *this = PulseAnalyzer{};
    m_newBeats = std::move(beats);
    if (fixed > 0) SetFixedSampleRate(fixed);
}

void PulseAnalyzer::SetFixedSampleRate(double hz) {
    if (!(hz > 0) || !std::isfinite(hz)) return;
    m_fixedRateHz = hz;
    Restart(hz);
    UpdateStatus(0);
}

double PulseAnalyzer::TimeOf(std::uint64_t sampleIndex) const {
    if (m_timelineRateHz <= 0) return m_baseTimeS;
    return m_baseTimeS +
           (static_cast<double>(sampleIndex) - static_cast<double>(m_baseIndex)) / m_timelineRateHz;
}

void PulseAnalyzer::Restart(double hz) {
    // The timeline keeps going at the old rate up to here.
    if (m_timelineRateHz > 0) {
        m_baseTimeS = TimeOf(m_samplesSeen);
        m_baseIndex = m_samplesSeen;
    }
    m_timelineRateHz = hz;
    m_designRateHz = hz;
    m_filter.Design(hz);
    m_detector.Design(hz);
    m_level.Design(hz);
    m_intervals.Reset();
    m_segmentStart = m_samplesSeen;
    m_primed = false;
}

void PulseAnalyzer::FollowSampleRate() {
    const double hz = m_estimator.RateHz();
    if (hz <= 0) return;
    const bool restarted = m_estimator.Restarts() != m_estimatorRestarts;
    m_estimatorRestarts = m_estimator.Restarts();
    if (restarted || m_designRateHz <= 0 ||
        std::abs(hz - m_designRateHz) > kRedesignRatio * m_designRateHz) {
        Restart(hz);
        return;
    }
    if (hz != m_timelineRateHz) {
        m_baseTimeS = TimeOf(m_samplesSeen);
        m_baseIndex = m_samplesSeen;
        m_timelineRateHz = hz;
    }
}

void PulseAnalyzer::AddSamples(std::uint32_t tick, const std::uint16_t* samples, std::size_t n) {
    m_newBeatCount = 0;
    if (m_fixedRateHz <= 0) {
        m_estimator.AddBatch(tick, n);
        FollowSampleRate();
    }
    m_haveTick = true;
    m_lastTick = tick;
    const bool running = m_designRateHz >= kMinSampleRateHz && m_designRateHz <= kMaxSampleRateHz;
    for (std::size_t i = 0; i < n; ++i) {
        if (running) Process(samples[i]);
        ++m_samplesSeen;
    }
    UpdateStatus(0);
}

void PulseAnalyzer::Process(std::uint16_t sample) {
    const auto x = static_cast<double>(sample);
    if (!m_primed) {
        m_filter.Prime(x);
        m_primed = true;
    }
    m_level.Add(sample);
    if (m_detector.Process(m_filter.Process(x))) OnBeat(m_segmentStart + m_detector.BeatIndex());
}

void PulseAnalyzer::OnBeat(std::uint64_t sampleIndex) {
    m_intervals.AddBeat(sampleIndex, m_timelineRateHz);
    if (m_newBeatCount == kMaxNewBeats) {
        std::move(m_newBeats.begin() + 1, m_newBeats.end(), m_newBeats.begin());
        --m_newBeatCount;
    }
    m_newBeats[m_newBeatCount++] = Beat{sampleIndex, TimeOf(sampleIndex)};
}

void PulseAnalyzer::Advance(std::uint32_t now) {
    if (!m_haveTick) return;
    const std::uint32_t silentMs = now - m_lastTick;
    // A tick from before the latest samples (timers race with arrivals) means no silence.
    if (silentMs > 0x80000000u) return;
    UpdateStatus(static_cast<double>(silentMs) / 1000.0);
}

void PulseAnalyzer::UpdateStatus(double silenceS) {
    const double hz = m_timelineRateHz;
    m_status.sampleRateHz = hz;
    const std::uint64_t lastInterval = m_intervals.LastAcceptedInterval();
    m_status.lastIntervalMs = hz > 0 ? static_cast<std::uint32_t>(std::lround(
                                           static_cast<double>(lastInterval) * 1000.0 / hz))
                                     : 0;
    m_status.rateBpm.reset();

    const bool running = m_designRateHz >= kMinSampleRateHz && m_designRateHz <= kMaxSampleRateHz;
    if (!running || silenceS * 1000.0 > kSilenceMs || m_level.NoSignal()) {
        m_status.state = PulseState::NoSignal;
        return;
    }
    m_status.state = PulseState::Poor;
    const std::optional<double> median = m_intervals.MedianInterval();
    const std::optional<std::uint64_t> lastBeat = m_intervals.LastAcceptedBeat();
    if (m_intervals.AcceptedCount() < kMinAccepted || !median || !lastBeat) return;
    if (m_intervals.RecentRejections(kVerdictWindow) > kMaxRejections) return;
    if (m_intervals.Spread() > kMaxSpread) return;
    const double medianS = *median / hz;
    const double sinceBeatS = static_cast<double>(m_samplesSeen - *lastBeat) / hz + silenceS;
    if (sinceBeatS > std::min(std::max(2.0 * medianS, medianS + kDetectorDelayS), kMaxBeatGapS)) {
        return;
    }
    m_status.state = PulseState::Good;
    m_status.rateBpm = 60.0 / medianS;
}

}  // namespace sphyra::analysis
