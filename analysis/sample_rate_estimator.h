#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sphyra::analysis {

// A sensor's sample rate from the sizes and arrival ticks of its batches. Each batch holds the
// samples taken since the one before, so samples counted between two arrivals over the ticks
// between them is the rate; taken over several seconds, arrival jitter averages out. A long
// silence or a lasting change of rate (the sensor restarted) starts the estimate afresh.
class SampleRateEstimator {
public:
    // A batch of `n` samples that arrived at `tick` (ms, 32-bit, wraps).
    void AddBatch(std::uint32_t tick, std::size_t n);
    // Samples per second; 0 until known.
    double RateHz() const { return m_rateHz; }
    // Counts the fresh starts: after a gap or a change of rate, earlier samples no longer
    // belong to the same stream.
    std::uint32_t Restarts() const { return m_restarts; }
    void Reset();

    // Silence longer than this breaks the stream.
    static constexpr std::uint32_t kGapMs = 1000;
    // The first estimate needs this much time between arrivals...
    static constexpr std::uint32_t kFirstSpanMs = 600;
    // ...and anchors are kept this far apart, so the estimate spans up to kAnchors of them.
    static constexpr std::uint32_t kAnchorSpacingMs = 250;
    static constexpr std::size_t kAnchors = 80;
    // After a fresh start, batches at most this far apart are a backlog read in one go; a
    // stream whose batches keep coming that close starts counting after the longer time.
    static constexpr std::uint32_t kBacklogStepMs = 2;
    static constexpr std::uint32_t kBacklogMaxMs = 100;
    // Over the newest second, a rate this far from the long estimate, twice at least
    // kAnchorSpacingMs apart, is a new rate rather than jitter.
    static constexpr double kChangeRatio = 0.15;

private:
    struct Anchor {
        std::uint32_t tick = 0;
        std::uint64_t samples = 0;  // samples counted up to and including this arrival
    };

    void Restart(std::uint32_t tick);
    void Estimate(std::uint32_t tick);
    const Anchor& AnchorBack(std::size_t back) const;
    static double RateBetween(const Anchor& from, std::uint32_t tick, std::uint64_t samples);

    std::array<Anchor, kAnchors> m_anchors{};
    std::size_t m_anchorCount = 0;
    std::size_t m_newest = 0;  // slot of the newest anchor
    std::uint64_t m_samples = 0;
    std::uint32_t m_lastTick = 0;
    bool m_started = false;
    bool m_backlog = false;
    std::uint32_t m_backlogStart = 0;
    int m_changeVotes = 0;
    std::uint32_t m_lastVoteTick = 0;
    double m_rateHz = 0;
    std::uint32_t m_restarts = 0;
};

}  // namespace sphyra::analysis
