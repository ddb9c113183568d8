#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace sphyra::test {

using Bytes = std::vector<std::uint8_t>;

// A complete wire frame. The checksum is summed here rather than with Checksum8
// so that a fault there cannot hide behind the frames the tests build.
inline Bytes MakeFrame(std::uint8_t address, std::uint8_t gain, std::uint8_t battery,
                       const Bytes& samples, std::uint8_t unused = 0) {
    Bytes frame{
        0xF0, 0xC0, address, gain, battery, unused, static_cast<std::uint8_t>(samples.size())};
    frame.insert(frame.end(), samples.begin(), samples.end());
    unsigned sum = 0;
    for (const std::uint8_t byte : frame) sum += byte;
    frame.push_back(static_cast<std::uint8_t>(sum & 0xFFu));
    return frame;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace sphyra::test
