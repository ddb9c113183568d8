#pragma once

#include <cstdint>
#include <vector>

#include "tools/sim/frame_encoder.h"

namespace sphyra::test {

// One well-formed sensor frame, built by the simulator's encoder.
inline std::vector<std::uint8_t> MakeFrame(std::uint8_t address, std::uint8_t gain,
                                           std::uint8_t battery,
                                           const std::vector<std::uint8_t>& samples) {
    return EncodeFrame(address, gain, battery, samples);
}

}  // namespace sphyra::test
