#include "export/capture_feed.h"

#include <algorithm>

namespace sphyra {

namespace {

using capture::ChunkType;

std::string Text(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

CaptureFeed::CaptureFeed(FeedListener& listener)
    : m_listener(listener), m_acquisition(m_clock, *this) {
    // The export runs its own pulse analysis, once, where it can use the result; the
    // live one would cost most of the time for a rate on a display nobody sees.
    m_acquisition.Applier().SetPulseAnalysis(false);
}

bool CaptureFeed::Play(CaptureReader& reader, const Progress& progress, std::uint64_t until) {
    // Often enough for a progress bar and a prompt cancel, rare enough to cost nothing.
    constexpr std::uint64_t kProgressEvery = 256;
    CaptureChunkView chunk;
    while (reader.Next(chunk) && chunk.offset < until) {
        if (progress && m_chunks % kProgressEvery == 0 && !progress(chunk.offset)) return false;
        ++m_chunks;
        m_timeUs = chunk.timeUs;
        m_clock.Set(chunk.tick);
        const std::span<const std::uint8_t> p = chunk.payload;
        if (chunk.type == ChunkType::BytesReceived) {
            Receive(p);
        } else if (chunk.type == ChunkType::Marker && p.size() >= 4) {
            const std::uint32_t number =
                static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
            m_listener.OnMarker(m_timeUs, number, Text(p.subspan(4)));
        } else if (chunk.type == ChunkType::PortEvent && !p.empty()) {
            m_listener.OnPortEvent(m_timeUs, p[0], Text(p.subspan(1)));
        }
        m_listener.OnTime(m_timeUs, chunk.tick);
    }
    return true;
}

void CaptureFeed::Receive(std::span<const std::uint8_t> bytes) {
    // The live connection never takes more than the ring can hold beside what it
    // still keeps, parsing in between; doing the same here means no byte is
    // overwritten unparsed however large the recorded read was.
    ReceiveRing& ring = m_acquisition.Ring();
    while (!bytes.empty()) {
        std::size_t room = ReceiveRing::kSize - 1 - ring.Available();
        if (room == 0) {
            ring.ParseReceiveRing(*this);
            room = ReceiveRing::kSize - 1 - ring.Available();
            if (room == 0) break;  // cannot happen: the parser always frees a full ring
        }
        const std::size_t n = std::min(room, bytes.size());
        ring.AppendReceived(bytes.data(), n);
        bytes = bytes.subspan(n);
    }
    ring.ParseReceiveRing(*this);
}

void CaptureFeed::OnFrame(const SensorFrame& frame) {
    m_newRow = false;
    m_acquisition.Applier().OnFrame(frame);
    const SensorRecord* record = m_acquisition.Table().FindSensor(frame.address);
    FeedFrame out;
    out.timeUs = m_timeUs;
    out.tick = m_clock.NowTick();
    out.address = frame.address;
    out.gain = frame.gain;
    out.battery = frame.battery;
    out.interval = record != nullptr ? record->interval : 0;
    out.first = m_newRow;
    out.samples = {frame.samples, frame.sampleCount};
    m_listener.OnFrame(out);
}

}  // namespace sphyra
