#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "frame_sink.h"
#include "sensor_frame.h"

namespace sphyra {

// What the parser threw away, for progress lines and reports: nothing here changes
// what is delivered.
struct ParseStats {
    std::uint64_t framesDelivered = 0;
    std::uint64_t checksumFailures = 0;  // whole frames dropped
    std::uint64_t overlongDropped = 0;   // sync pairs dropped for a length above 80
    std::uint64_t bytesSkipped = 0;      // bytes passed over while looking for a sync pair
    std::uint64_t bytesOverwritten = 0;  // oldest bytes lost when a batch overflowed the ring
};

// Fixed 2048-byte ring between the serial port and the frame parser. It holds at
// most 2047 bytes; a batch that does not fit overwrites the oldest bytes.
// Parsing works in place and never allocates: a frame is handed on where it lies
// in storage, and only one that wraps the end of storage is copied first. The
// sink must therefore not append to the ring while it holds a frame.
class ReceiveRing {
public:
    static constexpr std::size_t kSize = 2048;
    static constexpr std::size_t kScratchSize = 1024;
    static_assert((kSize & (kSize - 1)) == 0, "positions wrap by masking");
    static_assert(kScratchSize >= static_cast<std::size_t>(kMaxFrameSize));

    void AppendReceived(const std::uint8_t* bytes, std::size_t n);

    // Delivers every complete, well-formed frame now held to `sink`, in order.
    // Incomplete frames stay in the ring for the next batch.
    void ParseReceiveRing(FrameSink& sink);

    std::size_t Available() const;
    bool Empty() const { return m_read == m_write; }
    const ParseStats& Stats() const { return m_stats; }

private:
    static constexpr std::size_t kMask = kSize - 1;

    std::uint8_t At(std::size_t offset) const { return m_storage[(m_read + offset) & kMask]; }
    void Advance(std::size_t n) { m_read = (m_read + n) & kMask; }
    // Passes over bytes up to the next possible sync byte within the contiguous
    // part of storage.
    void SkipToSync(std::size_t available);
    // The next `frameSize` bytes in one piece: in storage, or copied to scratch
    // when they wrap its end.
    const std::uint8_t* FrameBytes(std::size_t frameSize);

    std::array<std::uint8_t, kSize> m_storage{};
    std::array<std::uint8_t, kScratchSize> m_scratch{};
    std::size_t m_read = 0;
    std::size_t m_write = 0;
    ParseStats m_stats;
};

}  // namespace sphyra
