#include "sensor_frame.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sphyra {

namespace {

constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFu;

// Sums bytes eight at a time in four 16-bit lanes per word: even bytes and odd
// bytes are added into separate lanes, so no lane carries into its neighbour as
// long as fewer than 129 words are summed (2 * 128 * 255 < 65536).
std::uint8_t SumWords(const std::uint8_t* data, std::size_t words) {
    std::uint64_t lanes = 0;
    for (std::size_t i = 0; i < words; ++i) {
        std::uint64_t word;
        std::memcpy(&word, data + 8 * i, sizeof word);
        lanes += word & kEvenBytes;
        lanes += (word >> 8) & kEvenBytes;
    }
    // The multiply adds the four lanes into the top one.
    return static_cast<std::uint8_t>((lanes * 0x0001000100010001u) >> 48);
}

}  // namespace

std::uint8_t Checksum8(const std::uint8_t* data, int len) {
    if (data == nullptr || len <= 0) return 0;
    // Only the low byte of the sum is wanted, so partial sums may wrap freely.
    std::size_t remaining = static_cast<std::size_t>(len);
    std::uint8_t sum = 0;
#if defined(__SSE2__)
    // The sum of absolute differences against zero adds 16 bytes into two 64-bit
    // lanes in one instruction; the lanes cannot overflow at any length we take.
    __m128i lanes = _mm_setzero_si128();
    const __m128i zero = _mm_setzero_si128();
    for (; remaining >= 16; remaining -= 16, data += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
        lanes = _mm_add_epi64(lanes, _mm_sad_epu8(block, zero));
    }
    lanes = _mm_add_epi64(lanes, _mm_srli_si128(lanes, 8));
    sum = static_cast<std::uint8_t>(_mm_cvtsi128_si32(lanes));
#endif
    constexpr std::size_t kWordsPerChunk = 128;
    while (remaining >= 8) {
        const std::size_t words = std::min(remaining / 8, kWordsPerChunk);
        sum = static_cast<std::uint8_t>(sum + SumWords(data, words));
        data += 8 * words;
        remaining -= 8 * words;
    }
    for (std::size_t i = 0; i < remaining; ++i) sum = static_cast<std::uint8_t>(sum + data[i]);
    return sum;
}

}  // namespace sphyra
