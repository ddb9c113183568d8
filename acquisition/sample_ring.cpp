#include "sample_ring.h"

#include <algorithm>
#include <cstring>

namespace sphyra {
namespace {

// Raw samples are bytes widened to 16 bits. Copying whole 16-byte blocks lets
// the compiler vectorize the widening; the remainder goes one by one.
void WidenInto(std::uint16_t* out, const std::uint8_t* in, std::size_t n) {
    constexpr std::size_t kBlock = 16;
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        std::array<std::uint8_t, kBlock> block;
        std::memcpy(block.data(), in + i, kBlock);
        for (std::size_t j = 0; j < kBlock; ++j) out[i + j] = block[j];
    }
    for (; i < n; ++i) out[i] = in[i];
}

}  // namespace

void SampleRing::PushSample(std::uint16_t value) {
    m_slots[m_write] = value;
    m_write = (m_write + 1) & kMask;
    if (m_write == m_read) m_read = (m_write + 1) & kMask;
}

void SampleRing::PushSamples(std::span<const std::uint8_t> samples) {
    if (samples.empty()) return;
    // Correcting the read position once after the batch leaves the same newest
    // kMaxSamples samples as correcting it after every sample.
    const bool overflow = samples.size() > kMaxSamples - Count();
    if (samples.size() > kCapacity) {
        const std::size_t skipped = samples.size() - kCapacity;
        m_write = (m_write + skipped) & kMask;
        samples = samples.subspan(skipped);
    }
    const std::size_t beforeEnd = std::min(samples.size(), kCapacity - m_write);
    WidenInto(m_slots.data() + m_write, samples.data(), beforeEnd);
    WidenInto(m_slots.data(), samples.data() + beforeEnd, samples.size() - beforeEnd);
    m_write = (m_write + samples.size()) & kMask;
    if (overflow) m_read = (m_write + 1) & kMask;
}

std::size_t SampleRing::SnapshotHistory(std::span<std::uint16_t, kCapacity> out) const {
    const std::size_t count = Count();
    const std::size_t beforeEnd = std::min(count, kCapacity - m_read);
    std::copy_n(m_slots.begin() + static_cast<std::ptrdiff_t>(m_read), beforeEnd, out.begin());
    std::copy_n(m_slots.begin(), count - beforeEnd,
                out.begin() + static_cast<std::ptrdiff_t>(beforeEnd));
    return count;
}

}  // namespace sphyra
