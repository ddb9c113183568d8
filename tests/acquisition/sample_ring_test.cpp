#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "acquisition/sample_ring.h"

namespace sphyra {
namespace {

using Snapshot = std::array<std::uint16_t, SampleRing::kCapacity>;

// Pushes 0, 1, 2, ... so that every sample names its own arrival order.
void PushCounting(SampleRing& ring, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) ring.PushSample(static_cast<std::uint16_t>(i));
}

void ExpectHolds(const SampleRing& ring, std::size_t first, std::size_t count) {
    Snapshot out{};
    ASSERT_EQ(ring.SnapshotHistory(out), count);
    EXPECT_EQ(ring.Count(), count);
    for (std::size_t i = 0; i < count; ++i)
        ASSERT_EQ(out[i], static_cast<std::uint16_t>(first + i)) << "at " << i;
}

TEST(SampleRingTest, EmptyRingSnapshotsNothing) {
    SampleRing ring;
    Snapshot out{};
    EXPECT_EQ(ring.SnapshotHistory(out), 0u);
}

TEST(SampleRingTest, HoldsUpTo2047SamplesOldestFirst) {
    SampleRing ring;
    PushCounting(ring, 2047);
    ExpectHolds(ring, 0, 2047);
}

TEST(SampleRingTest, PushIntoAFullRingDropsTheOldest) {
    SampleRing ring;
    PushCounting(ring, 2048);
    ExpectHolds(ring, 1, 2047);
}

TEST(SampleRingTest, KeepsTheNewestSamplesAfterWrappingManyTimes) {
    SampleRing ring;
    PushCounting(ring, 5 * SampleRing::kCapacity + 123);
    ExpectHolds(ring, 5 * SampleRing::kCapacity + 123 - 2047, 2047);
}

TEST(SampleRingTest, KeepsFullSixteenBitValues) {
    SampleRing ring;
    ring.PushSample(0xFFFF);
    ring.PushSample(0x1234);
    Snapshot out{};
    ASSERT_EQ(ring.SnapshotHistory(out), 2u);
    EXPECT_EQ(out[0], 0xFFFF);
    EXPECT_EQ(out[1], 0x1234);
}

TEST(SampleRingTest, PushingABatchEqualsPushingItsSamplesOneByOne) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> size(0, 2 * SampleRing::kCapacity + 5);
    SampleRing batched;
    SampleRing single;
    for (int round = 0; round < 200; ++round) {
        // Mostly short batches, so the ring is met at every fill level and wrap point.
        const std::size_t n = round % 4 == 0 ? std::size_t(size(rng)) : std::size_t(size(rng) % 90);
        std::vector<std::uint8_t> samples(n);
        for (std::uint8_t& s : samples) s = static_cast<std::uint8_t>(rng());
        batched.PushSamples(samples);
        for (const std::uint8_t s : samples) single.PushSample(s);

        Snapshot expected{};
        Snapshot actual{};
        const std::size_t count = single.SnapshotHistory(expected);
        ASSERT_EQ(batched.SnapshotHistory(actual), count) << "round " << round;
        ASSERT_EQ(actual, expected) << "round " << round;
    }
}

}  // namespace
}  // namespace sphyra
