#include "export/sensor_pulse.h"

#include <algorithm>

namespace sphyra {

void SensorPulse::AddFrame(std::uint32_t tick, std::span<const std::uint8_t> samples,
                           std::uint64_t position) {
    const std::uint64_t index = m_analyzer.SamplesSeen();
    const bool continues =
        !m_runs.empty() &&
        m_runs.back().firstPosition + (index - m_runs.back().firstIndex) == position;
    if (!continues) {
        m_runs.push_back({index, position});
        if (m_runs.size() > kRunsKept) m_runs.pop_front();
    }
    const std::size_t n = std::min(samples.size(), m_samples.size());
    std::copy_n(samples.begin(), n, m_samples.begin());
    m_analyzer.AddSamples(tick, m_samples.data(), n);
}

std::uint64_t SensorPulse::PositionOf(const analysis::Beat& beat) const {
    for (auto run = m_runs.rbegin(); run != m_runs.rend(); ++run) {
        if (beat.sampleIndex >= run->firstIndex) {
            return run->firstPosition + (beat.sampleIndex - run->firstIndex);
        }
    }
    return m_runs.empty() ? 0 : m_runs.front().firstPosition;
}

}  // namespace sphyra
