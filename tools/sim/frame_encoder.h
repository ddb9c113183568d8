#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sphyra {

// Builds the bytes of one sensor frame: sync pair, address, gain, battery, an
// unused byte (sent as 0), the sample count, the samples and the checksum.
// More than kMaxFrameSamples samples throw std::invalid_argument: such a frame
// would be rejected by every receiver, so making one is a caller's mistake.
std::vector<std::uint8_t> EncodeFrame(std::uint8_t address, std::uint8_t gain, std::uint8_t battery,
                                      std::span<const std::uint8_t> samples);

// Same frame, appended to `out`; returns the number of bytes appended.
std::size_t AppendFrame(std::vector<std::uint8_t>& out, std::uint8_t address, std::uint8_t gain,
                        std::uint8_t battery, std::span<const std::uint8_t> samples);

}  // namespace sphyra
