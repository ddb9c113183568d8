#include "receive_ring.h"

namespace sphyra {

void ReceiveRing::AppendReceived(const std::uint8_t* bytes, std::size_t n) {
    if (bytes == nullptr || n == 0) return;
    bool overflow = false;
    for (std::size_t i = 0; i < n; ++i) {
        m_storage[m_write] = bytes[i];
        m_write = (m_write + 1) % kSize;
        if (m_write == m_read) overflow = true;
    }
    // Moving the read position once, after the batch, keeps exactly the newest
    // kSize - 1 bytes however far the batch overran.
    if (overflow) m_read = (m_write + 1) % kSize;
}

std::size_t ReceiveRing::Available() const {
    return m_write >= m_read ? m_write - m_read : kSize - m_read + m_write;
}

void ReceiveRing::ParseReceiveRing(FrameSink& sink) {
    for (;;) {
        const std::size_t available = Available();
        if (available < static_cast<std::size_t>(kFrameOverhead)) return;
        if (At(0) != kSync1 || At(1) != kSync2) {
            Advance(1);
            continue;
        }
        const std::size_t n = At(6);
        const std::size_t frameSize = n + kFrameOverhead;
        // The completeness test comes first on purpose: a sync pair with an
        // over-long length byte waits for its bytes like any other frame.
        if (available < frameSize) return;
        if (n > static_cast<std::size_t>(kMaxFrameSamples)) {
            Advance(2);
            continue;
        }
        for (std::size_t i = 0; i < frameSize; ++i) m_scratch[i] = At(i);
        Advance(frameSize);
        const int summed = static_cast<int>(frameSize) - 1;
        if (Checksum8(m_scratch.data(), summed) != m_scratch[frameSize - 1]) continue;

        SensorFrame frame;
        frame.address = m_scratch[2];
        frame.gain = m_scratch[3];
        frame.battery = m_scratch[4];
        frame.sampleCount = static_cast<std::uint8_t>(n);
        frame.samples = m_scratch.data() + kFrameHeaderSize;
        sink.OnFrame(frame);
    }
}

}  // namespace sphyra
