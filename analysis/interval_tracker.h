#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace sphyra::analysis {

// Judges the intervals between detected beats and keeps the ones that fit. An interval is
// accepted when it lies in the plausible range and within 30 % of the median of those accepted
// lately; an extra beat inside an interval is skipped rather than allowed to split it. When
// several beats in a row agree with each other but not with the median, the pulse has changed
// its rate and they become the new history. Beats are placed in samples, to a fraction of one,
// so that a refined sample rate does not age the intervals held.
class IntervalTracker {
public:
    enum class Verdict : std::uint8_t { First, Accepted, TooShort, TooLong, Irregular };

    static constexpr double kMinBpm = 30.0;
    static constexpr double kMaxBpm = 220.0;
    static constexpr double kTolerance = 0.30;
    // Accepted intervals the median is taken over.
    static constexpr std::size_t kHistory = 8;
    // Beats in a row that agree among themselves this closely take over the history.
    static constexpr std::size_t kRunToReseed = 3;
    static constexpr double kRunTolerance = 0.12;
    // Verdicts remembered for judging regularity.
    static constexpr std::size_t kVerdicts = 8;

    Verdict AddBeat(double position, double sampleRateHz);
    void Reset();

    std::size_t AcceptedCount() const { return m_acceptedCount; }
    // Median of the accepted intervals held, in samples.
    std::optional<double> MedianInterval() const {
        if (m_acceptedCount == 0) return std::nullopt;
        return m_median;
    }
    double LastAcceptedInterval() const { return m_lastAccepted; }
    // The beat that ended the latest accepted interval.
    std::optional<double> LastAcceptedBeat() const { return m_lastAcceptedBeat; }
    // Intervals accepted in a row since the latest rejection.
    std::size_t AcceptedRun() const { return m_acceptedRun; }
    // How many of the latest `count` verdicts (at most kVerdicts) rejected an interval.
    std::size_t RecentRejections(std::size_t count) const;
    // Widest spread of the accepted intervals held, as a share of their median.
    double Spread() const { return m_spread; }

private:
    void Accept(double interval, double beat);
    void Remember(Verdict v);
    bool RunAgrees(double& runMedian) const;

    std::array<double, kHistory> m_accepted{};
    std::size_t m_acceptedCount = 0;
    std::size_t m_acceptedNext = 0;
    std::size_t m_acceptedRun = 0;
    // Of the accepted intervals held, kept as they change: the status asks after every batch.
    double m_median = 0;
    double m_spread = 0;
    double m_lastAccepted = 0;
    std::optional<double> m_lastAcceptedBeat;

    // Beat-to-beat spacings, whatever their verdict, to see a new rate taking over.
    std::array<double, kRunToReseed> m_run{};
    std::size_t m_runCount = 0;
    std::size_t m_runNext = 0;

    std::array<Verdict, kVerdicts> m_verdicts{};
    std::size_t m_verdictCount = 0;
    std::size_t m_verdictNext = 0;

    std::optional<double> m_anchor;    // the beat intervals are measured from
    std::optional<double> m_lastBeat;  // the latest beat of all
};

}  // namespace sphyra::analysis
