#include "export/sensor_track.h"

#include <cmath>
#include <string>

namespace sphyra {

std::uint64_t SensorTrack::PositionAt(std::uint64_t timeUs) const {
    return static_cast<std::uint64_t>(
        std::llround(static_cast<double>(timeUs) * m_plan.rate / 1e6));
}

std::uint64_t SensorTrack::TimeUs(std::uint64_t position) const {
    return static_cast<std::uint64_t>(
        std::llround(static_cast<double>(position) * 1e6 / m_plan.rate));
}

void SensorTrack::Fill(std::uint64_t count) {
    if (count == 0) return;
    m_sink.Fill(m_index, m_cursor, count);
    m_cursor += count;
}

void SensorTrack::CloseGap() {
    if (!m_inGap) return;
    m_inGap = false;
    const std::uint64_t onset = TimeUs(m_gapStart);
    const std::uint64_t duration = TimeUs(m_cursor) - onset;
    const std::string what = duration >= kSilentUs ? " silent" : " gap";
    m_sink.Annotation(onset, static_cast<std::int64_t>(duration),
                      "sensor " + std::to_string(m_plan.address) + what);
}

void SensorTrack::OnFrame(std::uint64_t timeUs, std::span<const std::uint8_t> samples) {
    // The frame's last sample was taken about when the frame arrived.
    const std::uint64_t end = PositionAt(timeUs);
    const std::uint64_t start = end > samples.size() ? end - samples.size() : 0;
    if (!m_heard) {
        if (start > m_cursor) Fill(start - m_cursor);
        m_heard = true;
    } else if (m_inGap || timeUs - m_lastUs > m_plan.gapUs) {
        if (!m_inGap) {
            m_inGap = true;
            m_gapStart = m_cursor;
        }
        if (start > m_cursor) Fill(start - m_cursor);
        CloseGap();
    }
    m_sink.Samples(m_index, m_cursor, samples);
    m_cursor += samples.size();
    m_lastUs = timeUs;
}

void SensorTrack::OnTime(std::uint64_t timeUs) {
    if (m_heard && timeUs - m_lastUs <= m_plan.gapUs) return;
    if (timeUs <= m_plan.gapUs) return;
    // A frame arriving from now on starts after this position (the gap time spans
    // several frames), so filling up to it never overlaps the sensor's next samples.
    const std::uint64_t safe = PositionAt(timeUs - m_plan.gapUs);
    if (safe <= m_cursor) return;
    if (m_heard && !m_inGap) {
        m_inGap = true;
        m_gapStart = m_cursor;
    }
    Fill(safe - m_cursor);
}

void SensorTrack::Finish(std::uint64_t timeUs) {
    const std::uint64_t end = PositionAt(timeUs);
    if (m_heard && !m_inGap && timeUs - m_lastUs > m_plan.gapUs) {
        m_inGap = true;
        m_gapStart = m_cursor;
    }
    if (end > m_cursor) Fill(end - m_cursor);
    CloseGap();
}

void SensorTrack::FillTo(std::uint64_t position) {
    if (position > m_cursor) Fill(position - m_cursor);
}

}  // namespace sphyra
