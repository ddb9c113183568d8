#include "analysis/pulse_analyzer.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace sphyra::analysis {
namespace {

// A refined estimate of the same sensor's rate only moves the timeline: intervals are held in
// samples, and a filter or window a few per cent off its design changes nothing that matters.
// Only a rate this far off (or a restart the estimator saw) rebuilds them.
constexpr double kRedesignRatio = 0.2;
// Accepted intervals needed before a rate is shown.
constexpr std::size_t kMinAccepted = 3;
// Of the latest verdicts, how many may reject an interval while the pulse still counts as
// regular: enough for a premature beat and its pause, too few for noise.
constexpr std::size_t kVerdictWindow = 6;
constexpr std::size_t kMaxRejections = 2;
// After a rejected interval, this many must be accepted in a row before the rate returns, so
// that a step or a knock that happens to fall at a beat's distance does not bring it back.
constexpr std::size_t kMinAcceptedRun = 2;
// Accepted intervals spread wider than this share of their median are too irregular to trust.
constexpr double kMaxSpread = 0.45;
// How alike consecutive beats must look (the correlation of their shapes). Noise crossing the
// threshold at a plausible spacing seldom repeats its shape, but two neighbouring humps of it
// can look alike; so a rate first needs kEnterRun beats in a row at kEnterLikeness, then keeps
// it until kLeaveRun beats in a row fall below kStayLikeness.
constexpr double kEnterLikeness = 0.85;
constexpr std::size_t kEnterRun = 3;
constexpr double kStayLikeness = 0.75;
constexpr std::size_t kLeaveRun = 2;
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

double PulseAnalyzer::TimeOf(double position) const {
    if (m_timelineRateHz <= 0) return m_baseTimeS;
    return m_baseTimeS + (position - static_cast<double>(m_baseIndex)) / m_timelineRateHz;
}

void PulseAnalyzer::Restart(double hz) {
    // The timeline keeps going at the old rate up to here.
    if (m_timelineRateHz > 0) {
        m_baseTimeS = TimeOf(static_cast<double>(m_samplesSeen));
        m_baseIndex = m_samplesSeen;
    }
    m_timelineRateHz = hz;
    m_designRateHz = hz;
    if (Running()) {
        m_filter.Design(hz);
        m_detector.Design(hz);
        m_level.Design(hz);
        m_shape.Design(hz);
    }
    m_alikeRun = 0;
    m_unlikeRun = 0;
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
        m_baseTimeS = TimeOf(static_cast<double>(m_samplesSeen));
        m_baseIndex = m_samplesSeen;
        m_timelineRateHz = hz;
    }
}

void PulseAnalyzer::AddSamples(std::uint32_t tick, const std::uint16_t* samples, std::size_t n) {
    AddBatch(tick, samples, n);
}

void PulseAnalyzer::AddByteSamples(std::uint32_t tick, const std::uint8_t* samples, std::size_t n) {
    AddBatch(tick, samples, n);
}

template <typename Sample>
void PulseAnalyzer::AddBatch(std::uint32_t tick, const Sample* samples, std::size_t n) {
    m_newBeatCount = 0;
    if (m_fixedRateHz <= 0) {
        m_estimator.AddBatch(tick, n);
        FollowSampleRate();
    }
    m_haveTick = true;
    m_lastTick = tick;
    if (Running()) Process(samples, n);
    m_samplesSeen += n;
    UpdateStatus(0);
}

template <typename Sample>
void PulseAnalyzer::Process(const Sample* samples, std::size_t n) {
    if (n == 0) return;
    if (!m_primed) {
        m_filter.Prime(static_cast<double>(samples[0]));
        m_primed = true;
    }
    // Nothing reads the level until the status after the batch.
    m_level.Add(samples, n);
    // Each stage runs over a block in its own tight loop. The shape checker is fed lazily, up
    // to the sample that closed a beat before that beat is judged, as if sample by sample.
    std::array<double, kBlock> filtered;
    for (std::size_t start = 0; start < n; start += kBlock) {
        const std::size_t length = std::min(kBlock, n - start);
        m_filter.Process(samples + start, filtered.data(), length);
        std::size_t shaped = 0;
        std::size_t done = 0;
        while (done < length) {
            const TwoAverageBeatDetector::Taken taken =
                m_detector.Process(filtered.data() + done, length - done);
            done += taken.count;
            if (!taken.beat) continue;
            m_shape.Add(filtered.data() + shaped, done - shaped);
            shaped = done;
            OnBeat(m_segmentStart + m_detector.BeatIndex(), m_detector.BeatFraction());
        }
        m_shape.Add(filtered.data() + shaped, length - shaped);
    }
}

void PulseAnalyzer::OnBeat(std::uint64_t sampleIndex, double fraction) {
    const double position = static_cast<double>(sampleIndex) + fraction;
    m_intervals.AddBeat(position, m_timelineRateHz);
    const std::optional<double> likeness =
        m_shape.OnBeat(position - static_cast<double>(m_segmentStart));
    m_alikeRun = likeness && *likeness >= kEnterLikeness ? m_alikeRun + 1 : 0;
    m_unlikeRun = likeness && *likeness >= kStayLikeness ? 0 : m_unlikeRun + 1;
    if (m_newBeatCount == kMaxNewBeats) {
        std::move(m_newBeats.begin() + 1, m_newBeats.end(), m_newBeats.begin());
        --m_newBeatCount;
    }
    m_newBeats[m_newBeatCount++] = Beat{sampleIndex, TimeOf(position)};
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
    const double lastInterval = m_intervals.LastAcceptedInterval();
    m_status.lastIntervalMs =
        hz > 0 ? static_cast<std::uint32_t>(std::lround(lastInterval * 1000.0 / hz)) : 0;
    m_status.rateBpm.reset();

    if (!Running() || silenceS * 1000.0 > kSilenceMs || !m_level.Known()) {
        // Nothing known yet, or nothing heard lately.
        m_status.state = PulseState::NoSignal;
        return;
    }
    if (m_level.NoSignal()) {
        // Whatever comes next (a finger put back, a sensor woken) starts afresh.
        m_status.state = PulseState::NoSignal;
        m_intervals.Reset();
        m_shape.Forget();
        m_alikeRun = 0;
        m_unlikeRun = 0;
        return;
    }
    const bool wasGood = m_status.state == PulseState::Good;
    m_status.state = PulseState::Poor;
    const std::optional<double> median = m_intervals.MedianInterval();
    const std::optional<double> lastBeat = m_intervals.LastAcceptedBeat();
    if (m_intervals.AcceptedCount() < kMinAccepted || !median || !lastBeat) return;
    if (m_intervals.AcceptedRun() < kMinAcceptedRun ||
        m_intervals.RecentRejections(kVerdictWindow) > kMaxRejections) {
        return;
    }
    if (m_intervals.Spread() > kMaxSpread) return;
    if (wasGood ? m_unlikeRun >= kLeaveRun : m_alikeRun < kEnterRun) return;
    const double medianS = *median / hz;
    const double sinceBeatS = (static_cast<double>(m_samplesSeen) - *lastBeat) / hz + silenceS;
    if (sinceBeatS > std::min(std::max(2.0 * medianS, medianS + kDetectorDelayS), kMaxBeatGapS)) {
        return;
    }
    m_status.state = PulseState::Good;
    m_status.rateBpm = 60.0 / medianS;
}

}  // namespace sphyra::analysis
