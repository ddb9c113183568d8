#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "acquisition/sensor_frame.h"

namespace sphyra::test {

// One well-formed sensor frame: F0 C0 address gain battery 00 N samples checksum.
inline std::vector<std::uint8_t> MakeFrame(std::uint8_t address, std::uint8_t gain,
                                           std::uint8_t battery,
                                           const std::vector<std::uint8_t>& samples) {
    std::vector<std::uint8_t> frame(samples.size() + 8);
    frame[0] = kSync1;
    frame[1] = kSync2;
    frame[2] = address;
    frame[3] = gain;
    frame[4] = battery;
    frame[6] = static_cast<std::uint8_t>(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) frame[7 + i] = samples[i];
    frame.back() = Checksum8(frame.data(), static_cast<int>(frame.size() - 1));
    return frame;
}

}  // namespace sphyra::test
