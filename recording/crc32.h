#pragma once

#include <cstddef>
#include <cstdint>

namespace sphyra {

// CRC-32 as zlib and PNG compute it (reflected polynomial 0xEDB88320, initial
// value and final XOR 0xFFFFFFFF). Pass the previous result as `crc` to continue
// over data that arrives in pieces; Crc32(p, n) == Crc32(p + k, n - k, Crc32(p, k)).
std::uint32_t Crc32(const void* data, std::size_t n, std::uint32_t crc = 0);

}  // namespace sphyra
