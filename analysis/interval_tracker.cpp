#include "analysis/interval_tracker.h"

#include <algorithm>
#include <cmath>

namespace sphyra::analysis {
namespace {

// Insertion sort: the arrays hold a handful of values (and std::sort on them trips a false
// array-bounds warning in GCC 12).
template <std::size_t N>
double MedianOf(std::array<std::uint64_t, N> values, std::size_t count) {
    for (std::size_t i = 1; i < count; ++i) {
        const std::uint64_t v = values[i];
        std::size_t j = i;
        for (; j > 0 && values[j - 1] > v; --j) values[j] = values[j - 1];
        values[j] = v;
    }
    if (count % 2 == 1) return static_cast<double>(values[count / 2]);
    return (static_cast<double>(values[count / 2 - 1]) + static_cast<double>(values[count / 2])) /
           2.0;
}

}  // namespace

void IntervalTracker::Reset() {
    *this = IntervalTracker{};
}

std::optional<double> IntervalTracker::MedianInterval() const {
    if (m_acceptedCount == 0) return std::nullopt;
    return MedianOf(m_accepted, m_acceptedCount);
}

double IntervalTracker::Spread() const {
    if (m_acceptedCount < 2) return 0;
    const auto* begin = m_accepted.data();
    const auto [low, high] = std::minmax_element(begin, begin + m_acceptedCount);
    return static_cast<double>(*high - *low) / *MedianInterval();
}

std::size_t IntervalTracker::RecentRejections(std::size_t count) const {
    count = std::min({count, m_verdictCount, kVerdicts});
    std::size_t rejected = 0;
    for (std::size_t i = 1; i <= count; ++i) {
        const Verdict v = m_verdicts[(m_verdictNext + kVerdicts - i) % kVerdicts];
        if (v != Verdict::Accepted && v != Verdict::First) ++rejected;
    }
    return rejected;
}

void IntervalTracker::Remember(Verdict v) {
    m_verdicts[m_verdictNext] = v;
    m_verdictNext = (m_verdictNext + 1) % kVerdicts;
    m_verdictCount = std::min(m_verdictCount + 1, kVerdicts);
}

void IntervalTracker::Accept(std::uint64_t interval, std::uint64_t beat) {
    m_accepted[m_acceptedNext] = interval;
    m_acceptedNext = (m_acceptedNext + 1) % kHistory;
    m_acceptedCount = std::min(m_acceptedCount + 1, kHistory);
    m_lastAccepted = interval;
    m_lastAcceptedBeat = beat;
    m_anchor = beat;
}

bool IntervalTracker::RunAgrees(double& runMedian) const {
    if (m_runCount < kRunToReseed) return false;
    runMedian = MedianOf(m_run, m_runCount);
    for (std::size_t i = 0; i < m_runCount; ++i) {
        if (std::abs(static_cast<double>(m_run[i]) - runMedian) > kRunTolerance * runMedian) {
            return false;
        }
    }
    return true;
}

IntervalTracker::Verdict IntervalTracker::AddBeat(std::uint64_t sampleIndex, double sampleRateHz) {
    const double shortest = 60.0 / kMaxBpm * sampleRateHz;
    const double longest = 60.0 / kMinBpm * sampleRateHz;

    if (m_lastBeat) {
        m_run[m_runNext] = sampleIndex - *m_lastBeat;
        m_runNext = (m_runNext + 1) % kRunToReseed;
        m_runCount = std::min(m_runCount + 1, kRunToReseed);
    }
    m_lastBeat = sampleIndex;
    if (!m_anchor) {
        m_anchor = sampleIndex;
        Remember(Verdict::First);
        return Verdict::First;
    }

    const std::uint64_t interval = sampleIndex - *m_anchor;
    const auto spacing = static_cast<double>(interval);
    Verdict verdict = Verdict::Accepted;
    if (spacing < shortest) {
        verdict = Verdict::TooShort;
    } else if (spacing > longest) {
        verdict = Verdict::TooLong;
    } else if (m_acceptedCount >= 2) {
        const double median = *MedianInterval();
        if (std::abs(spacing - median) > kTolerance * median) verdict = Verdict::Irregular;
    }

    double runMedian = 0;
    if (verdict != Verdict::Accepted && RunAgrees(runMedian) && runMedian >= shortest &&
        runMedian <= longest) {
        // A new rate: the agreeing run replaces the history.
        m_acceptedCount = 0;
        m_acceptedNext = 0;
        for (std::size_t i = 0; i < m_runCount; ++i) {
            Accept(m_run[(m_runNext + i) % kRunToReseed], sampleIndex);
        }
        Remember(Verdict::Accepted);
        return Verdict::Accepted;
    }

    if (verdict == Verdict::Accepted) {
        Accept(interval, sampleIndex);
    } else if (verdict == Verdict::TooLong ||
               (verdict == Verdict::Irregular && spacing > *MedianInterval())) {
        // A pause or a missed beat: measure on from here. A beat that came too early stays out,
        // so that an extra detection does not split the interval it fell in.
        m_anchor = sampleIndex;
    }
    Remember(verdict);
    return verdict;
}

}  // namespace sphyra::analysis
