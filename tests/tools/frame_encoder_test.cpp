#include "tools/sim/frame_encoder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "tests/tools/sim_test_support.h"
#include "tools/sim/corruption_injector.h"

namespace sphyra {
namespace {

using test::ParseStream;
using test::ReceivedFrame;

TEST(FrameEncoder, EncodesTheReferenceFrame) {
    const std::vector<std::uint8_t> samples{0x10, 0x20};
    EXPECT_EQ(
        EncodeFrame(5, 10, 90, samples),
        (std::vector<std::uint8_t>{0xF0, 0xC0, 0x05, 0x0A, 0x5A, 0x00, 0x02, 0x10, 0x20, 0x4B}));
}

TEST(FrameEncoder, CoversTheWholeLengthRangeAndRefusesMore) {
    std::vector<std::uint8_t> stream;
    std::vector<ReceivedFrame> expected;
    for (int n = 0; n <= 80; ++n) {
        // Samples that repeat the sync pair must not confuse a receiver that is in step.
        std::vector<std::uint8_t> samples;
        for (int i = 0; i < n; ++i) samples.push_back(i % 2 == 0 ? 0xF0 : 0xC0);
        const auto address = static_cast<std::uint8_t>(n * 3);
        EXPECT_EQ(AppendFrame(stream, address, 7, 50, samples), static_cast<std::size_t>(n + 8));
        expected.push_back({address, 7, 50, samples});
    }
    EXPECT_EQ(ParseStream(stream), expected);

    const std::vector<std::uint8_t> tooMany(81, 1);
    EXPECT_THROW(EncodeFrame(1, 1, 1, tooMany), std::invalid_argument);
}

CorruptionConfig AllKinds() {
    CorruptionConfig config;
    config.rate = 1.0;
    config.maxGarbageBytes = 64;
    return config;
}

// The receiver can only stay in step if damaged bytes never hold a sync start
// where it would look for one; every sample value is tried, including the sync bytes.
TEST(CorruptionInjector, DamagedBytesNeverOfferAFalseSyncStart) {
    CorruptionInjector injector(AllKinds(), 99);
    std::vector<std::uint8_t> samples(80);
    for (int round = 0; round < 200; ++round) {
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<std::uint8_t>(round * 80 + static_cast<int>(i));
        }
        std::vector<std::uint8_t> garbage;
        const std::size_t count = injector.AppendGarbage(garbage);
        ASSERT_EQ(count, garbage.size());
        ASSERT_GE(count, 1u);
        ASSERT_LE(count, 64u);
        for (std::uint8_t b : garbage) ASSERT_NE(b, 0xF0);

        std::vector<std::uint8_t> overLong;
        const auto address = static_cast<std::uint8_t>(0xF0 + round % 2);
        injector.AppendOverLongFrame(
            overLong, address, 0xF0, 0xF0,
            std::span(samples).first(static_cast<std::size_t>(round % 81)));
        ASSERT_GE(overLong[6], 81);
        ASSERT_EQ(overLong.size(), overLong[6] + 8u);  // carries what it claims
        ASSERT_EQ(overLong[0], 0xF0);
        ASSERT_EQ(overLong[1], 0xC0);
        for (std::size_t i = 2; i < overLong.size(); ++i) ASSERT_NE(overLong[i], 0xF0) << i;

        std::vector<std::uint8_t> bad;
        injector.AppendBadChecksumFrame(bad, 3, 4, 5, std::span(samples).first(10));
        const std::vector<std::uint8_t> good = EncodeFrame(3, 4, 5, std::span(samples).first(10));
        ASSERT_EQ(bad.size(), good.size());
        ASSERT_TRUE(std::equal(good.begin(), good.end() - 1, bad.begin()));
        ASSERT_NE(bad.back(), good.back());
    }
}

TEST(CorruptionInjector, StrikesAtTheConfiguredRateWithEnabledKindsOnly) {
    CorruptionConfig config;
    config.rate = 0.25;
    config.garbage = false;
    CorruptionInjector injector(config, 5);
    int checksum = 0;
    int overLong = 0;
    constexpr int kFrames = 40000;
    for (int i = 0; i < kFrames; ++i) {
        switch (injector.Decide()) {
            case CorruptionKind::kBadChecksum:
                ++checksum;
                break;
            case CorruptionKind::kOverLong:
                ++overLong;
                break;
            case CorruptionKind::kGarbage:
                FAIL() << "garbage is switched off";
            case CorruptionKind::kNone:
                break;
        }
    }
    EXPECT_NEAR((checksum + overLong) / double{kFrames}, 0.25, 0.01);
    EXPECT_NEAR(checksum / double(checksum + overLong), 0.5, 0.03);

    config.rate = 0.0;
    CorruptionInjector never(config, 5);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(never.Decide(), CorruptionKind::kNone);
}

}  // namespace
}  // namespace sphyra
