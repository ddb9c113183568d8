#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace sphyra {

// One sensor's recent waveform: 2048 slots holding the newest 2047 samples.
class SampleRing {
public:
    static constexpr std::size_t kCapacity = 2048;
    static constexpr std::size_t kMaxSamples = kCapacity - 1;

    // Stores `value`; when the ring is full the oldest sample is dropped.
    void PushSample(std::uint16_t value);
    // Stores raw frame bytes in order; the same as pushing them one by one.
    void PushSamples(std::span<const std::uint8_t> samples);

    // Copies the held samples, oldest first, into `out` and returns their count.
    std::size_t SnapshotHistory(std::span<std::uint16_t, kCapacity> out) const;

    std::size_t Count() const { return (m_write - m_read) & kMask; }

private:
    static constexpr std::size_t kMask = kCapacity - 1;
    static_assert((kCapacity & kMask) == 0, "positions wrap by masking");

    std::array<std::uint16_t, kCapacity> m_slots{};
    std::size_t m_read = 0;
    std::size_t m_write = 0;
};

}  // namespace sphyra
