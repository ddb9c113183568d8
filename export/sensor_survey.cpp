#include "export/sensor_survey.h"

#include <algorithm>

namespace sphyra {

double SensorSurveyEntry::MeasuredRate() const {
    if (samples == 0) return 0.0;
    if (steadyUs > 0 && steadySamples > 0) {
        return static_cast<double>(steadySamples) * 1e6 / static_cast<double>(steadyUs);
    }
    // Too few frames, or only long pauses between them: assume each frame's
    // samples span the time to the next one, or one second when there is none.
    if (frames > 1 && lastUs > firstUs) {
        return static_cast<double>(samples - samples / frames) * 1e6 /
               static_cast<double>(lastUs - firstUs);
    }
    return static_cast<double>(samples);
}

void SensorSurvey::OnFrame(const FeedFrame& frame) {
    const auto [it, added] = m_index.try_emplace(frame.address, m_sensors.size());
    if (added) {
        m_sensors.push_back({});
        m_sensors.back().address = frame.address;
        m_sensors.back().firstUs = frame.timeUs;
        m_last[frame.address] = {frame.gain, frame.battery};
        m_pulses.emplace_back();
        m_logged.emplace_back();
    }
    ++m_step;
    SensorSurveyEntry& s = m_sensors[it->second];
    const std::size_t n = frame.samples.size();
    if (!added) {
        const std::uint64_t dt = frame.timeUs - s.lastUs;
        if (dt <= kSteadyLimitUs) {
            s.steadyUs += dt;
            s.steadySamples += n;
        }
        if (dt > kMinGapUs) ++s.breaks;
        auto& last = m_last[frame.address];
        if (last.first != frame.gain) ++s.changes;
        if (last.second != frame.battery) ++s.changes;
        last = {frame.gain, frame.battery};
    }
    ++s.frames;
    s.samples += n;
    s.lastUs = frame.timeUs;
    s.maxFrameSamples = std::max(s.maxFrameSamples, static_cast<int>(n));
    if (m_log == nullptr) return;
    analysis::PulseAnalyzer& pulse = m_pulses[it->second];
    pulse.AddByteSamples(frame.tick, frame.samples.data(), n);
    s.beats += pulse.NewBeats().size();
    Analyze(it->second, true);
}

void SensorSurvey::OnTime(std::uint64_t timeUs, std::uint32_t tick) {
    ++m_step;
    m_endUs = timeUs;
    if (m_log == nullptr) return;
    for (std::size_t i = 0; i < m_pulses.size(); ++i) {
        m_pulses[i].Advance(tick);
        Analyze(i, false);
    }
}

void SensorSurvey::Analyze(std::size_t track, bool beats) {
    const analysis::PulseAnalyzer& pulse = m_pulses[track];
    PulseEvent event;
    event.step = m_step;
    event.track = static_cast<std::uint32_t>(track);
    event.state = static_cast<std::uint8_t>(pulse.Status().state);
    event.rateBpm = pulse.Status().rateBpm.value_or(-1.0);
    if (beats) {
        for (const analysis::Beat& beat : pulse.NewBeats()) {
            event.beat = 1;
            event.sampleIndex = beat.sampleIndex;
            m_log->Write(event);
        }
    }
    PulseEvent& last = m_logged[track];
    if (event.beat == 0 && (event.state != last.state || event.rateBpm != last.rateBpm)) {
        m_log->Write(event);
    }
    last = event;
}

std::uint64_t SensorSurvey::AnnotationBound() const {
    std::uint64_t total = m_events;
    // Appearing, each change, each pause and silence at the end.
    for (const SensorSurveyEntry& s : m_sensors) total += 3 + s.changes + 2 * s.breaks + s.beats;
    return total;
}

}  // namespace sphyra
