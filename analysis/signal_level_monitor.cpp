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
    Chunk rest = m_rest;
    rest.count = m_count;
    m_chunks[m_next] = Closed{m_lanes, rest};
    m_next = (m_next + 1) % kChunks;
    m_closed = std::min(m_closed + 1, kChunks);
    m_lanes = kEmpty;
    m_rest = Chunk{};
    m_count = 0;
}

bool SignalLevelMonitor::NoSignal() const {
    if (m_closed < kChunks) return false;
    // Lane by lane over the chunks first, then across the lanes.
    Lanes all = kEmpty;
    for (const Closed& c : m_chunks) {
        for (std::size_t j = 0; j < kLanes; ++j) {
            all.low[j] = std::min(all.low[j], c.lanes.low[j]);
            all.high[j] = std::max(all.high[j], c.lanes.high[j]);
            all.railed[j] = static_cast<std::uint16_t>(all.railed[j] + c.lanes.railed[j]);
        }
    }
    std::uint16_t low = 0xFFFF;
    std::uint16_t high = 0;
    std::size_t railed = 0;
    std::size_t count = 0;
    for (std::size_t j = 0; j < kLanes; ++j) {
        low = std::min(low, all.low[j]);
        high = std::max(high, all.high[j]);
        railed += all.railed[j];
    }
    for (const Closed& c : m_chunks) {
        low = std::min(low, c.rest.low);
        high = std::max(high, c.rest.high);
        railed += c.rest.railed;
        count += c.rest.count;
    }
    if (high - low <= kFlatCounts) return true;
    return static_cast<double>(railed) > kRailShare * static_cast<double>(count);
}

}  // namespace sphyra::analysis
