#include "receive_ring.h"

#include <algorithm>
#include <cstring>

namespace sphyra {

void ReceiveRing::AppendReceived(const std::uint8_t* bytes, std::size_t n) {
    if (bytes == nullptr || n == 0) return;
    const std::size_t total = n;
    // Overflow is judged against the whole batch, and the read position is moved
    // once afterwards: that keeps exactly the newest kSize - 1 bytes however far
    // the batch overran.
    const std::size_t before = Available();
    const bool overflow = n > kSize - 1 - before;
    // One span up to the end of storage, then on from its start; a batch longer
    // than the storage laps it and leaves its newest bytes, as storing them one
    // by one would.
    while (n > 0) {
        const std::size_t span = std::min(n, kSize - m_write);
        std::memcpy(m_storage.data() + m_write, bytes, span);
        m_write = (m_write + span) & kMask;
        bytes += span;
        n -= span;
    }
    if (overflow) {
        m_read = (m_write + 1) & kMask;
        m_stats.bytesOverwritten += before + total - (kSize - 1);
    }
}

std::size_t ReceiveRing::Available() const {
    return (m_write - m_read) & kMask;
}

void ReceiveRing::SkipToSync(std::size_t available) {
    // A sync pair is looked for only where a whole header could still follow; the
    // bytes before that point are passed over, as one-by-one skipping would.
    const std::size_t searchable = available - (kFrameOverhead - 1);
    const std::size_t span = std::min(searchable, kSize - m_read);
    const std::uint8_t* from = m_storage.data() + m_read;
    const void* found = std::memchr(from, kSync1, span);
    const std::size_t skip =
        found != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - from)
                         : span;
    Advance(skip);
    m_stats.bytesSkipped += skip;
}

const std::uint8_t* ReceiveRing::FrameBytes(std::size_t frameSize) {
    const std::size_t beforeEnd = kSize - m_read;
    if (frameSize <= beforeEnd) return m_storage.data() + m_read;
    // Only a frame that wraps the end of storage is copied, to be handed on in one piece.
    std::memcpy(m_scratch.data(), m_storage.data() + m_read, beforeEnd);
    std::memcpy(m_scratch.data() + beforeEnd, m_storage.data(), frameSize - beforeEnd);
    return m_scratch.data();
}

void ReceiveRing::ParseReceiveRing(FrameSink& sink) {
    for (;;) {
        const std::size_t available = Available();
        if (available < static_cast<std::size_t>(kFrameOverhead)) return;
        if (At(0) != kSync1) {
            SkipToSync(available);
            continue;
        }
        if (At(1) != kSync2) {
            Advance(1);
            ++m_stats.bytesSkipped;
            continue;
        }
        const std::size_t n = At(6);
        const std::size_t frameSize = n + kFrameOverhead;
        // The completeness test comes first on purpose: a sync pair with an
        // over-long length byte waits for its bytes like any other frame.
        if (available < frameSize) return;
        if (n > static_cast<std::size_t>(kMaxFrameSamples)) {
            Advance(2);
            ++m_stats.overlongDropped;
            continue;
        }
        const std::uint8_t* bytes = FrameBytes(frameSize);
        Advance(frameSize);
        const int summed = static_cast<int>(frameSize) - 1;
        if (Checksum8(bytes, summed) != bytes[frameSize - 1]) {
            ++m_stats.checksumFailures;
            continue;
        }

        SensorFrame frame;
        frame.address = bytes[2];
        frame.gain = bytes[3];
        frame.battery = bytes[4];
        frame.sampleCount = static_cast<std::uint8_t>(n);
        frame.samples = bytes + kFrameHeaderSize;
        ++m_stats.framesDelivered;
        sink.OnFrame(frame);
    }
}

}  // namespace sphyra
