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
// its rate and they become the new history. Intervals are counted in samples so that a refined
// sample rate does not age them.
class IntervalTracker {
public:
    enum class Verdict : std::uint8_t { First, Accepted, TooShort, TooLong, Irregular };

    static constexpr double kMinBpm = 30.0;
    static constexpr double kMaxBpm = 220.0;
    static constexpr double kTolerance = 0.30;
    // Accepted intervals the median is taken over.
    static constexpr std::size_t kHistory = 8;
    // Beats in a row that agree among themselves this closely take over the history.
    static constexpr std::size_t kRunToReseed = 4;
    static constexpr double kRunTolerance = 0.12;
    // Verdicts remembered for judging regularity.
    static constexpr std::size_t kVerdicts = 8;

    Verdict AddBeat(std::uint64_t sampleIndex, double sampleRateHz);
    void Reset();

    std::size_t AcceptedCount() const { return m_acceptedCount; }
    // Median of the accepted intervals held, in samples.
    std::optional<double> MedianInterval() const;
    std::uint64_t LastAcceptedInterval() const { return m_lastAccepted; }
    // The beat that ended the latest accepted interval.
    std::optional<std::uint64_t> LastAcceptedBeat() const { return m_lastAcceptedBeat; }
    // How many of the latest `count` verdicts (at most kVerdicts) rejected an interval.
    std::size_t RecentRejections(std::size_t count) const;
    // Widest spread of the accepted intervals held, as a share of their median.
    double Spread() const;

private:
    void Accept(std::uint64_t interval, std::uint64_t beat);
    void Remember(Verdict v);
    bool RunAgrees(double& runMedian) const;

    std::array<std::uint64_t, kHistory> m_accepted{};
    std::size_t m_acceptedCount = 0;
    std::size_t m_acceptedNext = 0;
    std::uint64_t m_lastAccepted = 0;
    std::optional<std::uint64_t> m_lastAcceptedBeat;

    // Beat-to-beat spacings, whatever their verdict, to see a new rate taking over.
    std::array<std::uint64_t, kRunToReseed> m_run{};
    std::size_t m_runCount = 0;
    std::size_t m_runNext = 0;

    std::array<Verdict, kVerdicts> m_verdicts{};
    std::size_t m_verdictCount = 0;
    std::size_t m_verdictNext = 0;

    std::optional<std::uint64_t> m_anchor;    // the beat intervals are measured from
    std::optional<std::uint64_t> m_lastBeat;  // the latest beat of all
};

}  // namespace sphyra::analysis
