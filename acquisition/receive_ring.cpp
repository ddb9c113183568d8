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

void ReceiveRing::CopyOut(std::size_t n) {
    const std::size_t beforeEnd = std::min(n, kSize - m_read);
    std::memcpy(m_scratch.data(), m_storage.data() + m_read, beforeEnd);
    std::memcpy(m_scratch.data() + beforeEnd, m_storage.data(), n - beforeEnd);
    Advance(n);
}

void ReceiveRing::ParseReceiveRing(FrameSink& sink) {
    for (;;) {
        const std::size_t available = Available();
        if (available < static_cast<std::size_t>(kFrameOverhead)) return;
        if (At(0) != kSync1 || At(1) != kSync2) {
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
        CopyOut(frameSize);
        const int summed = static_cast<int>(frameSize) - 1;
        if (Checksum8(m_scratch.data(), summed) != m_scratch[frameSize - 1]) {
            ++m_stats.checksumFailures;
            continue;
        }

        SensorFrame frame;
        frame.address = m_scratch[2];
        frame.gain = m_scratch[3];
        frame.battery = m_scratch[4];
        frame.sampleCount = static_cast<std::uint8_t>(n);
        frame.samples = m_scratch.data() + kFrameHeaderSize;
        ++m_stats.framesDelivered;
        sink.OnFrame(frame);
    }
}

}  // namespace sphyra
