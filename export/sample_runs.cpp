#include "export/sample_runs.h"

namespace sphyra {

void SampleRuns::Add(std::uint64_t position, std::uint64_t n) {
    const bool continues =
        !m_runs.empty() &&
        m_runs.back().firstPosition + (m_count - m_runs.back().firstIndex) == position;
    if (!continues) {
        m_runs.push_back({m_count, position});
        if (m_runs.size() > kRunsKept) m_runs.pop_front();
    }
    m_count += n;
}

std::uint64_t SampleRuns::PositionOf(std::uint64_t index) const {
    for (auto run = m_runs.rbegin(); run != m_runs.rend(); ++run) {
        if (index >= run->firstIndex) return run->firstPosition + (index - run->firstIndex);
    }
    return m_runs.empty() ? 0 : m_runs.front().firstPosition;
}

}  // namespace sphyra
