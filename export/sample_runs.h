#pragma once

#include <cstdint>
#include <deque>

namespace sphyra {

// The way back from a sensor's sample count (the pulse analyzer's beat index) to
// the track position of that sample, across the gaps the track filled.
class SampleRuns {
public:
    // The next `n` samples of the sensor were laid at track `position`.
    void Add(std::uint64_t position, std::uint64_t n);
    // Track position of the sample counted `index` from the sensor's first.
    std::uint64_t PositionOf(std::uint64_t index) const;

private:
    struct Run {
        std::uint64_t firstIndex;
        std::uint64_t firstPosition;
    };
    // Beats are found a little after their samples; a few runs back is plenty.
    static constexpr std::size_t kRunsKept = 16;

    std::deque<Run> m_runs;
    std::uint64_t m_count = 0;
};

}  // namespace sphyra
