#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "export/export_layout.h"
#include "export/track_sink.h"

namespace sphyra {

// Lays one sensor's samples on a time line at its planned rate. Samples follow
// one another without a hole as long as frames keep coming; a pause longer than
// the plan's gap time is filled, so that the frame after it lands at its receive
// time, and annotated. Before the sensor appears, and after it falls silent, its
// positions are filled as time passes, so a silent sensor never holds up the others.
class SensorTrack {
public:
    // Pauses at least this long are "silent" rather than a "gap", as the window
    // counts a sensor gone after 30 s.
    static constexpr std::uint64_t kSilentUs = 30'000'000;

    SensorTrack(std::size_t index, const TrackPlan& plan, TrackSink& sink)
        : m_index(index), m_plan(plan), m_sink(sink) {}

    void OnFrame(std::uint64_t timeUs, std::span<const std::uint8_t> samples);
    // Time has reached `timeUs`: fills what can no longer receive samples.
    void OnTime(std::uint64_t timeUs);
    // The capture ended at `timeUs`: fills up to there, annotating a final silence.
    void Finish(std::uint64_t timeUs);
    // Fills up to `position` (the end of the last record).
    void FillTo(std::uint64_t position);

    std::uint64_t Cursor() const { return m_cursor; }
    const TrackPlan& Plan() const { return m_plan; }
    // Receive time of a position on this track.
    std::uint64_t TimeUs(std::uint64_t position) const;

private:
    std::uint64_t PositionAt(std::uint64_t timeUs) const;
    void Fill(std::uint64_t count);
    void CloseGap();

    std::size_t m_index;
    TrackPlan m_plan;
    TrackSink& m_sink;
    std::uint64_t m_cursor = 0;  // next position to write
    std::uint64_t m_lastUs = 0;
    bool m_heard = false;
    bool m_inGap = false;
    std::uint64_t m_gapStart = 0;
};

}  // namespace sphyra
