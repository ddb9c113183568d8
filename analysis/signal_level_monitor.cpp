#include "analysis/signal_level_monitor.h"

#include <algorithm>
#include <cmath>

namespace sphyra::analysis {

void SignalLevelMonitor::Design(double sampleRateHz) {
    m_chunkLength =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(kChunkS * sampleRateHz)));
    Restart();
}

void SignalLevelMonitor::Restart() {
    m_closed = 0;
    m_next = 0;
    m_lanes = kEmpty;
    m_rest = Chunk{};
    m_count = 0;
}

void SignalLevelMonitor::Close() {
    // Gathered in locals: the chunk written through a reference might alias the lanes read.
    Chunk c = m_rest;
    for (std::size_t j = 0; j < kLanes; ++j) {
        c.low = std::min(c.low, m_lanes.low[j]);
        c.high = std::max(c.high, m_lanes.high[j]);
        c.railed += m_lanes.railed[j];
    }
    c.count = m_count;
    m_chunks[m_next] = c;
    m_next = (m_next + 1) % kChunks;
    m_closed = std::min(m_closed + 1, kChunks);
    m_lanes = kEmpty;
    m_rest = Chunk{};
    m_count = 0;
}

bool SignalLevelMonitor::NoSignal() const {
    if (m_closed < kChunks) return false;
    std::uint16_t low = 0xFFFF;
    std::uint16_t high = 0;
    std::size_t railed = 0;
    std::size_t count = 0;
    for (const Chunk& c : m_chunks) {
        low = std::min(low, c.low);
        high = std::max(high, c.high);
        railed += c.railed;
        count += c.count;
    }
    if (high - low <= kFlatCounts) return true;
    return static_cast<double>(railed) > kRailShare * static_cast<double>(count);
}

}  // namespace sphyra::analysis
