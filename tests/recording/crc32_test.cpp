#include "recording/crc32.h"

#include <gtest/gtest.h>

#include <string>

namespace sphyra {
namespace {

// The standard check value, and the same result when the data comes in pieces of
// every alignment, which exercises the word-at-a-time path and its tail.
TEST(Crc32, MatchesTheCheckValueWholeAndInPieces) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc32(check.data(), check.size()), 0xCBF43926U);
    EXPECT_EQ(Crc32(nullptr, 0), 0U);

    std::string text;
    for (int i = 0; i < 300; ++i) text += static_cast<char>(i * 7 + 3);
    const std::uint32_t whole = Crc32(text.data(), text.size());
    for (std::size_t cut = 0; cut <= 9; ++cut) {
        EXPECT_EQ(Crc32(text.data() + cut, text.size() - cut, Crc32(text.data(), cut)), whole)
            << cut;
    }
}

}  // namespace
}  // namespace sphyra
