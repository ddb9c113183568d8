#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "acquisition/receive_ring.h"
#include "acquisition/sensor_frame.h"
#include "tests/acquisition/frame_bytes.h"
#include "tests/acquisition/recording_sink.h"

namespace sphyra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Address 5, gain 10, battery 90, samples 0x10 0x20; 0x4B is the low byte of the sum before it.
const Bytes kExampleFrame{0xF0, 0xC0, 0x05, 0x0A, 0x5A, 0x00, 0x02, 0x10, 0x20, 0x4B};
const ReceivedFrame kExampleDelivered{5, 10, 90, {0x10, 0x20}};

class ReceiveRingTest : public ::testing::Test {
protected:
    void Feed(const Bytes& bytes) {
        m_ring.AppendReceived(bytes.data(), bytes.size());
        m_ring.ParseReceiveRing(m_sink);
    }
    const std::vector<ReceivedFrame>& Delivered() const { return m_sink.Frames(); }

    ReceiveRing m_ring;
    RecordingSink m_sink;
};

TEST_F(ReceiveRingTest, DeliversTheExampleFrame) {
    ASSERT_EQ(MakeFrame(5, 10, 90, {0x10, 0x20}), kExampleFrame);
    Feed(kExampleFrame);
    EXPECT_THAT(Delivered(), ElementsAre(kExampleDelivered));
    EXPECT_TRUE(m_ring.Empty());
}

TEST_F(ReceiveRingTest, FrameArrivingOneByteAtATimeIsDeliveredOnceOnItsLastByte) {
    for (std::size_t i = 0; i + 1 < kExampleFrame.size(); ++i) {
        Feed({kExampleFrame[i]});
        ASSERT_THAT(Delivered(), IsEmpty()) << "after byte " << i;
    }
    Feed({kExampleFrame.back()});
    EXPECT_THAT(Delivered(), ElementsAre(kExampleDelivered));
    Feed({0x00});
    EXPECT_EQ(Delivered().size(), 1u);
}

TEST_F(ReceiveRingTest, GarbageBeforeAFrameIsSkipped) {
    Feed(Concat({{0x00, 0xC0, 0x11, 0xF0, 0x33, 0xFF, 0xC0, 0xF0}, kExampleFrame}));
    EXPECT_THAT(Delivered(), ElementsAre(kExampleDelivered));
    EXPECT_TRUE(m_ring.Empty());
}

TEST_F(ReceiveRingTest, LoneSyncByteCostsExactlyOneByte) {
    Feed({0xF0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(m_ring.Available(), 7u);

    // A first sync byte repeated right before a real frame must not hide it.
    ReceiveRing ring;
    RecordingSink sink;
    const Bytes stream = Concat({{0xF0}, kExampleFrame});
    ring.AppendReceived(stream.data(), stream.size());
    ring.ParseReceiveRing(sink);
    EXPECT_THAT(sink.Frames(), ElementsAre(kExampleDelivered));
}

TEST_F(ReceiveRingTest, FrameWithoutSamplesIsValid) {
    const Bytes frame = MakeFrame(3, 4, 5, {});
    ASSERT_EQ(frame.size(), 8u);
    Feed(frame);
    EXPECT_THAT(Delivered(), ElementsAre(ReceivedFrame{3, 4, 5, {}}));
}

TEST_F(ReceiveRingTest, BadChecksumDropsTheWholeFrameAndAnyFrameInsideIt) {
    const Bytes inner = MakeFrame(7, 1, 2, {});
    Bytes damaged = MakeFrame(8, 1, 2, Concat({{0x01}, inner, {0x02}}));
    damaged.back() = static_cast<std::uint8_t>(damaged.back() + 1);
    const Bytes next = MakeFrame(9, 3, 4, {0x55});

    Feed(Concat({damaged, next}));
    EXPECT_THAT(Delivered(), ElementsAre(ReceivedFrame{9, 3, 4, {0x55}}));
    EXPECT_TRUE(m_ring.Empty());
}

// The byte at offset 6 of the outer sync pair is the inner frame's battery byte,
// so the battery value doubles as the over-long length.
class OverLongLengthTest : public ReceiveRingTest, public ::testing::WithParamInterface<int> {};

TEST_P(OverLongLengthTest, WaitsForAllItsBytesThenDropsOnlyTheSyncPair) {
    const auto length = static_cast<std::uint8_t>(GetParam());
    const Bytes inner = MakeFrame(0x21, 0x03, length, {0x44});
    Bytes stream = Concat({{0xF0, 0xC0}, inner});
    stream.resize(std::size_t{length} + 8, 0x00);

    Feed(Bytes(stream.begin(), stream.end() - 1));
    EXPECT_THAT(Delivered(), IsEmpty()) << "the inner frame is complete but must wait";
    EXPECT_EQ(m_ring.Available(), std::size_t{length} + 7);

    Feed({stream.back()});
    EXPECT_THAT(Delivered(), ElementsAre(ReceivedFrame{0x21, 0x03, length, {0x44}}));
}

INSTANTIATE_TEST_SUITE_P(Lengths, OverLongLengthTest, ::testing::Values(81, 128, 255));

TEST_F(ReceiveRingTest, FrameStraddlingTheEndOfStorageParsesLikeAnyOther) {
    const Bytes frame = MakeFrame(0x42, 0x07, 0x63, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    const ReceivedFrame expected{0x42, 0x07, 0x63, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}};
    // Filler moves the write position so that the frame begins anywhere from
    // wholly before the end of storage to exactly at its start.
    for (std::size_t start = ReceiveRing::kSize - frame.size(); start <= ReceiveRing::kSize;
         ++start) {
        SCOPED_TRACE(start);
        ReceiveRing ring;
        RecordingSink sink;
        const Bytes filler(start - start / 2, 0x00);
        ring.AppendReceived(filler.data(), start / 2);
        ring.ParseReceiveRing(sink);
        ring.AppendReceived(filler.data(), filler.size());
        ring.ParseReceiveRing(sink);
        ring.AppendReceived(frame.data(), frame.size());
        ring.ParseReceiveRing(sink);
        EXPECT_THAT(sink.Frames(), ElementsAre(expected));
        EXPECT_TRUE(ring.Empty());
    }
}

// Frames at both ends of one batch, zeros between.
Bytes BatchOfSize(std::size_t size, const Bytes& first, const Bytes& last) {
    Bytes batch = first;
    batch.resize(size - last.size(), 0x00);
    batch.insert(batch.end(), last.begin(), last.end());
    return batch;
}

TEST_F(ReceiveRingTest, BatchThatJustFitsKeepsEveryByte) {
    const Bytes last = MakeFrame(6, 6, 6, {0x66});
    const Bytes batch = BatchOfSize(ReceiveRing::kSize - 1, kExampleFrame, last);
    m_ring.AppendReceived(batch.data(), batch.size());
    EXPECT_EQ(m_ring.Available(), 2047u);
    m_ring.ParseReceiveRing(m_sink);
    EXPECT_THAT(Delivered(), ElementsAre(kExampleDelivered, ReceivedFrame{6, 6, 6, {0x66}}));
}

TEST_F(ReceiveRingTest, OverflowingBatchKeepsTheNewest2047Bytes) {
    // One byte too many costs the oldest byte: the leading frame's sync byte.
    const Bytes last = MakeFrame(6, 6, 6, {0x66});
    const Bytes batch = BatchOfSize(ReceiveRing::kSize, kExampleFrame, last);
    m_ring.AppendReceived(batch.data(), batch.size());
    EXPECT_EQ(m_ring.Available(), 2047u);
    m_ring.ParseReceiveRing(m_sink);
    EXPECT_THAT(Delivered(), ElementsAre(ReceivedFrame{6, 6, 6, {0x66}}));
}

TEST_F(ReceiveRingTest, FarOverflowingBatchOnTopOfHeldBytesKeepsTheNewest2047Bytes) {
    Feed(Bytes(5, 0xF0));  // too short to parse, so it stays
    ASSERT_EQ(m_ring.Available(), 5u);
    const Bytes last = MakeFrame(6, 6, 6, {0x66});
    const Bytes batch = BatchOfSize(5000, kExampleFrame, last);
    m_ring.AppendReceived(batch.data(), batch.size());
    EXPECT_EQ(m_ring.Available(), 2047u);
    m_ring.ParseReceiveRing(m_sink);
    EXPECT_THAT(Delivered(), ElementsAre(ReceivedFrame{6, 6, 6, {0x66}}));
    EXPECT_TRUE(m_ring.Empty());
}

TEST_F(ReceiveRingTest, StatsCountWhatTheParserThrewAway) {
    Bytes bad = kExampleFrame;
    bad.back() ^= 0xFF;
    Bytes overlong{0xF0, 0xC0, 1, 1, 1, 0, 81};
    overlong.resize(89, 0x00);  // enough bytes for the length test; zeros are skipped one by one
    Bytes stream{0x11, 0x22};
    for (const Bytes& part : {bad, overlong, kExampleFrame})
        stream.insert(stream.end(), part.begin(), part.end());
    Feed(stream);
    const ParseStats& stats = m_ring.Stats();
    EXPECT_EQ(stats.framesDelivered, 1u);
    EXPECT_EQ(stats.checksumFailures, 1u);
    EXPECT_EQ(stats.overlongDropped, 1u);
    EXPECT_EQ(stats.bytesSkipped, 2u + 87u);
    const Bytes big(3000, 0x00);
    m_ring.AppendReceived(big.data(), big.size());
    EXPECT_EQ(m_ring.Stats().bytesOverwritten, 3000u - 2047u);
}

TEST_F(ReceiveRingTest, EmptyOrMissingBatchChangesNothing) {
    m_ring.AppendReceived(nullptr, 10);
    m_ring.AppendReceived(kExampleFrame.data(), 0);
    EXPECT_TRUE(m_ring.Empty());
}

TEST(Checksum8Test, IsTheLowByteOfTheSum) {
    EXPECT_EQ(Checksum8(kExampleFrame.data(), 9), 0x4B);
    const Bytes wraps{0xFF, 0xFF, 0x03};
    EXPECT_EQ(Checksum8(wraps.data(), 3), 0x01);
}

TEST(Checksum8Test, MissingBufferOrNonPositiveLengthGivesZero) {
    EXPECT_EQ(Checksum8(nullptr, 5), 0);
    EXPECT_EQ(Checksum8(kExampleFrame.data(), 0), 0);
    EXPECT_EQ(Checksum8(kExampleFrame.data(), -3), 0);
}

}  // namespace
}  // namespace sphyra::test
