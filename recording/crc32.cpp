#include "recording/crc32.h"

#include <array>

namespace sphyra {
namespace {

// Slicing by eight: eight independent table look-ups per 64-bit word, so checksumming a
// capture costs far less than reading it, and an export's two passes over it stay cheap.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
    Tables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
        for (std::size_t s = 1; s < 8; ++s)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFU];
    }
    return t;
}

constexpr Tables kTables = MakeTables();

}  // namespace

std::uint32_t Crc32(const void* data, std::size_t n, std::uint32_t crc) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t c = ~crc;
    while (n >= 8) {
        c ^= static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
             static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
        c = kTables[7][c & 0xFFU] ^ kTables[6][(c >> 8) & 0xFFU] ^ kTables[5][(c >> 16) & 0xFFU] ^
            kTables[4][c >> 24] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^
            kTables[0][p[7]];
        p += 8;
        n -= 8;
    }
    while (n-- > 0) c = kTables[0][(c ^ *p++) & 0xFFU] ^ (c >> 8);
    return ~c;
}

}  // namespace sphyra
