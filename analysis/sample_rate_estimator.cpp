#include "analysis/sample_rate_estimator.h"

#include <cmath>

namespace sphyra::analysis {

void SampleRateEstimator::Reset() {
    *this = SampleRateEstimator{};
}

void SampleRateEstimator::Restart(std::uint32_t tick) {
    m_anchorCount = 1;
    m_newest = 0;
    m_samples = 0;
    m_anchors[0] = Anchor{tick, 0};
    m_changeVotes = 0;
}

const SampleRateEstimator::Anchor& SampleRateEstimator::AnchorBack(std::size_t back) const {
    return m_anchors[(m_newest + kAnchors - back) % kAnchors];
}

double SampleRateEstimator::RateBetween(const Anchor& from, std::uint32_t tick,
                                        std::uint64_t samples) {
    const std::uint32_t ms = tick - from.tick;
    if (ms == 0) return 0;
    return static_cast<double>(samples - from.samples) * 1000.0 / static_cast<double>(ms);
}

void SampleRateEstimator::AddBatch(std::uint32_t tick, std::size_t n) {
    // The first batch's samples were taken at an unknown time before it arrived: it only
    // marks where counting starts. So does the first batch after a silence.
    if (!m_started || tick - m_lastTick > kGapMs) {
        if (m_started) ++m_restarts;
        m_started = true;
        m_lastTick = tick;
        m_backlogStart = tick;
        m_backlog = true;
        Restart(tick);
        return;
    }
    if (m_backlog) {
        // Batches right on its heels, the rest of what waited while the program was held up or
        // the port closed, were taken before it too: counting starts after them, or the first
        // estimate would count a second's backlog as taken in a few milliseconds.
        if (tick - m_lastTick <= kBacklogStepMs && tick - m_backlogStart <= kBacklogMaxMs) {
            m_lastTick = tick;
            Restart(tick);
            return;
        }
        m_backlog = false;
    }
    m_lastTick = tick;
    m_samples += n;
    Estimate(tick);
    if (tick - AnchorBack(0).tick >= kAnchorSpacingMs) {
        m_newest = (m_newest + 1) % kAnchors;
        m_anchors[m_newest] = Anchor{tick, m_samples};
        if (m_anchorCount < kAnchors) ++m_anchorCount;
    }
}

void SampleRateEstimator::Estimate(std::uint32_t tick) {
    const Anchor& oldest = AnchorBack(m_anchorCount - 1);
    if (tick - oldest.tick < kFirstSpanMs) return;
    const double longRate = RateBetween(oldest, tick, m_samples);

    // Only an estimate made over a few seconds can tell a new rate from jitter: compare the
    // newest second with it.
    constexpr std::size_t kRecentAnchors = 1000 / kAnchorSpacingMs;
    if (m_anchorCount > 2 * kRecentAnchors && m_rateHz > 0) {
        const Anchor& recentFrom = AnchorBack(kRecentAnchors - 1);
        const double recent = RateBetween(recentFrom, tick, m_samples);
        if (std::abs(recent - m_rateHz) > kChangeRatio * m_rateHz) {
            // The two votes must lie apart in time: a backlog arriving after the program was
            // held up looks like a slow second at first, batch after batch, until it is in.
            if (m_changeVotes == 0 || tick - m_lastVoteTick >= kAnchorSpacingMs) {
                ++m_changeVotes;
                m_lastVoteTick = tick;
            }
            if (m_changeVotes >= 2) {
                // The newest second may still straddle the change: count afresh from here,
                // with its rate meanwhile.
                ++m_restarts;
                Restart(tick);
                m_rateHz = recent;
                return;
            }
        } else {
            m_changeVotes = 0;
        }
    }
    m_rateHz = longRate;
}

}  // namespace sphyra::analysis
