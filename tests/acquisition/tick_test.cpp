#include <gtest/gtest.h>

#include "acquisition/tick.h"

namespace sphyra {
namespace {

TEST(TickTest, ElapsedMoreThanIsStrict) {
    EXPECT_FALSE(TickElapsedMoreThan(5000, 0, 5000));
    EXPECT_TRUE(TickElapsedMoreThan(5001, 0, 5000));
    EXPECT_FALSE(TickElapsedMoreThan(100, 100, 0));
}

TEST(TickTest, FreshTimestampIsNotStaleWhenThenPlusLimitOverflows) {
    const Tick then = 0xFFFFFFFFu - 100;
    EXPECT_FALSE(TickElapsedMoreThan(then + 1, then, 5000));
    EXPECT_FALSE(TickElapsedMoreThan(then, then, 5000));
}

TEST(TickTest, AgeIsMeasuredAcrossTheWrap) {
    const Tick then = 0xFFFFFFF0u;
    const Tick exactlyLimit = then + 5000;  // wraps to 0x1378
    EXPECT_LT(exactlyLimit, then);
    EXPECT_FALSE(TickElapsedMoreThan(exactlyLimit, then, 5000));
    EXPECT_TRUE(TickElapsedMoreThan(exactlyLimit + 1, then, 5000));
    EXPECT_FALSE(TickElapsedMoreThan(0x00000018u, then, 40));
    EXPECT_TRUE(TickElapsedMoreThan(0x00000018u, then, 39));
}

}  // namespace
}  // namespace sphyra
