#include "sample_ring.h"

namespace sphyra {

void SampleRing::PushSample(std::uint16_t value) {
    m_slots[m_write] = value;
    m_write = (m_write + 1) % kCapacity;
    if (m_write == m_read) m_read = (m_write + 1) % kCapacity;
}

std::size_t SampleRing::SnapshotHistory(std::span<std::uint16_t, kCapacity> out) const {
    const std::size_t count = Count();
    for (std::size_t i = 0; i < count; ++i) out[i] = m_slots[(m_read + i) % kCapacity];
    return count;
}

}  // namespace sphyra
