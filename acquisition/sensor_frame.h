#pragma once

#include <cstdint>

namespace sphyra {

// Wire layout of one sensor message:
//   F0 C0 | address | gain | battery | (unused) | N | N samples | checksum
// The checksum is the low byte of the sum of everything before it.
inline constexpr std::uint8_t kSync1 = 0xF0;
inline constexpr std::uint8_t kSync2 = 0xC0;
inline constexpr int kFrameHeaderSize = 7;  // sync pair up to and including N
inline constexpr int kFrameOverhead = 8;    // header plus checksum
inline constexpr int kMaxFrameSamples = 80;
inline constexpr int kMaxFrameSize = kMaxFrameSamples + kFrameOverhead;

// One accepted frame as handed to frame application. `samples` points into the
// parser's buffer and is valid only during the call that receives it.
struct SensorFrame {
    std::uint8_t address = 0;
    std::uint8_t gain = 0;
    std::uint8_t battery = 0;
    std::uint8_t sampleCount = 0;
    const std::uint8_t* samples = nullptr;
};

// Low byte of the sum of `len` bytes. A null buffer or a length of 0 or less gives 0.
std::uint8_t Checksum8(const std::uint8_t* data, int len);

}  // namespace sphyra
