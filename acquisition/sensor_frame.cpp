#include "sensor_frame.h"

#include <array>
#include <cstring>

namespace sphyra {

std::uint8_t Checksum8(const std::uint8_t* data, int len) {
    if (data == nullptr || len <= 0) return 0;
    // Only the low byte of the sum is wanted, so 8-bit additions that wrap give
    // it exactly. Summing whole 16-byte blocks lets the compiler use vector adds.
    constexpr int kBlock = 16;
    std::uint8_t sum = 0;
    int i = 0;
    for (; i + kBlock <= len; i += kBlock) {
        std::array<std::uint8_t, kBlock> block;
        std::memcpy(block.data(), data + i, kBlock);
        for (const std::uint8_t byte : block) sum = static_cast<std::uint8_t>(sum + byte);
    }
    for (; i < len; ++i) sum = static_cast<std::uint8_t>(sum + data[i]);
    return sum;
}

}  // namespace sphyra
