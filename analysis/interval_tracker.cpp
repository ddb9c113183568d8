#include "analysis/interval_tracker.h"

#include <algorithm>
#include <cmath>

namespace sphyra::analysis {
namespace {

// A full history is sorted by a fixed network of compare-exchanges (the optimal one for eight
// values): min and max, no branch to mispredict, where an insertion sort of these values
// mispredicts most of its moves. A partial one, rarer, by insertion. (std::sort on these arrays
// trips a false array-bounds warning in GCC 12.)
template <std::size_t N>
void Sort(std::array<double, N>& values, std::size_t count) {
    if constexpr (N == 8) {
        if (count == N) {
            // Its 19 compare-exchanges in six rounds, written out so that the values stay in
            // registers throughout.
            const auto exchange = [&values](std::size_t i, std::size_t j) {
                const double low = std::min(values[i], values[j]);
                values[j] = std::max(values[i], values[j]);
                values[i] = low;
            };
            exchange(0, 2), exchange(1, 3), exchange(4, 6), exchange(5, 7);
            exchange(0, 4), exchange(1, 5), exchange(2, 6), exchange(3, 7);
            exchange(0, 1), exchange(2, 3), exchange(4, 5), exchange(6, 7);
            exchange(2, 4), exchange(3, 5);
            exchange(1, 4), exchange(3, 6);
            exchange(1, 2), exchange(3, 4), exchange(5, 6);
            return;
        }
    }
    for (std::size_t i = 1; i < count; ++i) {
        const double v = values[i];
        std::size_t j = i;
        for (; j > 0 && values[j - 1] > v; --j) values[j] = values[j - 1];
        values[j] = v;
    }
}

template <std::size_t N>
double MedianOf(std::array<double, N> values, std::size_t count) {
    Sort(values, count);
    if (count % 2 == 1) return values[count / 2];
    return (values[count / 2 - 1] + values[count / 2]) / 2.0;
}

}  // namespace

void IntervalTracker::Reset() {
    *this = IntervalTracker{};
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

void IntervalTracker::Accept(double interval, double beat) {
    m_accepted[m_acceptedNext] = interval;
    m_acceptedNext = (m_acceptedNext + 1) % kHistory;
    m_acceptedCount = std::min(m_acceptedCount + 1, kHistory);
    m_median = MedianOf(m_accepted, m_acceptedCount);
    if (m_acceptedCount >= 2) {
        double low = m_accepted[0];
        double high = low;
        for (std::size_t i = 1; i < m_acceptedCount; ++i) {
            low = std::min(low, m_accepted[i]);
            high = std::max(high, m_accepted[i]);
        }
        m_spread = (high - low) / m_median;
    } else {
        m_spread = 0;
    }
    m_lastAccepted = interval;
    ++m_acceptedRun;
    m_lastAcceptedBeat = beat;
    m_anchor = beat;
}

bool IntervalTracker::RunAgrees(double& runMedian) const {
    if (m_runCount < kRunToReseed) return false;
    runMedian = MedianOf(m_run, m_runCount);
    for (std::size_t i = 0; i < m_runCount; ++i) {
        if (std::abs(m_run[i] - runMedian) > kRunTolerance * runMedian) {
            return false;
        }
    }
    return true;
}

IntervalTracker::Verdict IntervalTracker::AddBeat(double position, double sampleRateHz) {
    const double shortest = 60.0 / kMaxBpm * sampleRateHz;
    const double longest = 60.0 / kMinBpm * sampleRateHz;

    if (m_lastBeat) {
        m_run[m_runNext] = position - *m_lastBeat;
        m_runNext = (m_runNext + 1) % kRunToReseed;
        m_runCount = std::min(m_runCount + 1, kRunToReseed);
    }
    m_lastBeat = position;
    if (!m_anchor) {
        m_anchor = position;
        Remember(Verdict::First);
        return Verdict::First;
    }

    const double interval = position - *m_anchor;
    Verdict verdict = Verdict::Accepted;
    if (interval < shortest) {
        verdict = Verdict::TooShort;
    } else if (interval > longest) {
        verdict = Verdict::TooLong;
    } else if (m_acceptedCount >= 2) {
        const double median = *MedianInterval();
        if (std::abs(interval - median) > kTolerance * median) verdict = Verdict::Irregular;
    }

    double runMedian = 0;
    if (verdict != Verdict::Accepted && RunAgrees(runMedian) && runMedian >= shortest &&
        runMedian <= longest) {
        // A new rate: the agreeing run replaces the history.
        m_acceptedCount = 0;
        m_acceptedNext = 0;
        m_acceptedRun = 0;
        for (std::size_t i = 0; i < m_runCount; ++i) {
            Accept(m_run[(m_runNext + i) % kRunToReseed], position);
        }
        // What came before the new rate no longer says anything about its regularity.
        m_verdictCount = 0;
        for (std::size_t i = 0; i < m_runCount; ++i) Remember(Verdict::Accepted);
        return Verdict::Accepted;
    }

    if (verdict == Verdict::Accepted) {
        Accept(interval, position);
    } else {
        m_acceptedRun = 0;
    }
    if (verdict == Verdict::TooLong ||
        (verdict == Verdict::Irregular && interval > *MedianInterval())) {
        // A pause or a missed beat: measure on from here. A beat that came too early stays out,
        // so that an extra detection does not split the interval it fell in.
        m_anchor = position;
    }
    Remember(verdict);
    return verdict;
}

}  // namespace sphyra::analysis
