#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <span>

#include "analysis/pulse_analyzer.h"

namespace sphyra {

// One sensor's pulse analysis during an export: the analyzer fed as the window
// feeds it (frame by frame, on the frames' ticks, so both passes over a capture
// find the same beats), and the way back from the analyzer's sample count to the
// track position of each beat, across the gaps the track filled.
class SensorPulse {
public:
    // One frame's samples, laid at track `position`.
    void AddFrame(std::uint32_t tick, std::span<const std::uint8_t> samples,
                  std::uint64_t position);
    void Advance(std::uint32_t tick) { m_analyzer.Advance(tick); }

    std::span<const analysis::Beat> NewBeats() const { return m_analyzer.NewBeats(); }
    const analysis::PulseStatus& Status() const { return m_analyzer.Status(); }
    // Track position of a beat from the latest AddFrame.
    std::uint64_t PositionOf(const analysis::Beat& beat) const;

private:
    struct Run {
        std::uint64_t firstIndex;  // analyzer sample index
        std::uint64_t firstPosition;
    };
    // Beats come a little after their samples; a few runs back is plenty.
    static constexpr std::size_t kRunsKept = 16;

    analysis::PulseAnalyzer m_analyzer;
    std::array<std::uint16_t, 256> m_samples{};
    std::deque<Run> m_runs;
};

}  // namespace sphyra
