#include "tools/replay/capture_player.h"

#include <cmath>

namespace sphyra {

bool CapturePlayer::Open(const std::filesystem::path& path, double speed, std::string& error) {
    if (!(speed > 0) || !std::isfinite(speed)) {
        error = "the speed must be a positive number";
        return false;
    }
    m_speed = speed;
    if (!m_reader.Open(path)) {
        error = m_reader.Error();
        return false;
    }
    m_started = false;
    m_reads = m_bytes = 0;
    Advance();
    return true;
}

void CapturePlayer::Advance() {
    m_haveNext = false;
    CaptureChunkView chunk;
    while (m_reader.Next(chunk)) {
        if (chunk.type != capture::ChunkType::BytesReceived || chunk.payload.empty()) continue;
        if (!m_started) {
            m_started = true;
            m_firstUs = chunk.timeUs;
        }
        m_nextUs = chunk.timeUs;
        m_next.assign(chunk.payload.begin(), chunk.payload.end());
        m_haveNext = true;
        return;
    }
}

std::optional<std::uint64_t> CapturePlayer::NextDueUs() const {
    if (!m_haveNext) return std::nullopt;
    return static_cast<std::uint64_t>(
        std::llround(static_cast<double>(m_nextUs - m_firstUs) / m_speed));
}

std::size_t CapturePlayer::ProduceInto(std::uint64_t elapsedUs, std::vector<std::uint8_t>& out) {
    std::size_t appended = 0;
    for (std::optional<std::uint64_t> due = NextDueUs(); due && *due <= elapsedUs;
         due = NextDueUs()) {
        out.insert(out.end(), m_next.begin(), m_next.end());
        appended += m_next.size();
        m_bytes += m_next.size();
        ++m_reads;
        m_lastUs = m_nextUs;
        Advance();
    }
    return appended;
}

}  // namespace sphyra
