#include "export/sensor_survey.h"

#include <algorithm>

#include "analysis/interval_tracker.h"

namespace sphyra {

double SensorSurveyEntry::MeasuredRate() const {
    if (samples == 0) return 0.0;
    if (settledUs >= SensorSurvey::kSettleUs && settledSamples > 0) {
        return static_cast<double>(settledSamples) * 1e6 / static_cast<double>(settledUs);
    }
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
        m_sensors.back().stretchStartUs = frame.timeUs;
        m_last[frame.address] = {frame.gain, frame.battery};
    }
    SensorSurveyEntry& s = m_sensors[it->second];
    const std::size_t n = frame.samples.size();
    if (!added) {
        const std::uint64_t dt = frame.timeUs - s.lastUs;
        if (dt <= kSteadyLimitUs) {
            s.steadyUs += dt;
            s.steadySamples += n;
            if (s.lastUs >= s.stretchStartUs + kSettleUs) {
                s.settledUs += dt;
                s.settledSamples += n;
            }
        } else {
            s.stretchStartUs = frame.timeUs;
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
}

std::uint64_t SensorSurvey::AnnotationBound() const {
    std::uint64_t total = m_events;
    // Appearing, each change, each pause and silence at the end.
    for (const SensorSurveyEntry& s : m_sensors) {
        total += 3 + s.changes + 2 * s.breaks;
        if (m_beats) {
            const double seconds = static_cast<double>(s.lastUs - s.firstUs) / 1e6 + 1;
            total += static_cast<std::uint64_t>(seconds * analysis::IntervalTracker::kMaxBpm / 60);
        }
    }
    return total;
}

}  // namespace sphyra
