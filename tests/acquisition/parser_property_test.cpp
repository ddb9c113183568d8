#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <span>

#include "acquisition/receive_ring.h"
#include "acquisition/sensor_acquisition.h"
#include "acquisition/tick_clock.h"
#include "tests/acquisition/frame_bytes.h"
#include "tests/acquisition/recording_sink.h"
#include "tests/acquisition/reference_parser.h"

namespace sphyra::test {
namespace {

// Writes a stream of valid frames mixed with the damage a noisy link produces:
// random bytes, stray sync bytes, sync pairs with impossible lengths, bad
// checksums and frames cut short.
class DamagedStreamWriter {
public:
    explicit DamagedStreamWriter(std::uint32_t seed) : m_rng(seed) {}

    void WriteSegment(Bytes& out) {
        const int kind = Uniform(0, 99);
        if (kind < 60) {
            Append(out, RandomFrame(Uniform(0, 80)));
            ++m_validFrames;
        } else if (kind < 72) {
            for (int i = Uniform(1, 12); i > 0; --i) out.push_back(RandomByte());
        } else if (kind < 78) {
            out.push_back(0xF0);
        } else if (kind < 84) {
            Append(out, {0xF0, 0xC0, RandomByte(), RandomByte(), Byte(Uniform(81, 255))});
        } else if (kind < 92) {
            Bytes frame = RandomFrame(Uniform(0, 80));
            frame.back() = Byte(frame.back() + Uniform(1, 255));
            Append(out, frame);
        } else if (kind < 96) {
            const Bytes frame = RandomFrame(Uniform(0, 80));
            Append(out, Bytes(frame.begin(), frame.begin() + Uniform(1, int(frame.size()) - 1)));
        } else {
            Bytes tooLong{0xF0, 0xC0, RandomByte(), RandomByte(), RandomByte(), RandomByte()};
            tooLong.resize(std::size_t(Uniform(81, 255)) + 8, 0x00);
            tooLong[6] = Byte(int(tooLong.size()) - 8);
            Append(out, tooLong);
        }
    }

    int ValidFrames() const { return m_validFrames; }
    int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_rng); }

private:
    static std::uint8_t Byte(int value) { return static_cast<std::uint8_t>(value & 0xFF); }
    std::uint8_t RandomByte() { return Byte(Uniform(0, 255)); }
    static void Append(Bytes& out, const Bytes& part) {
        out.insert(out.end(), part.begin(), part.end());
    }
    Bytes RandomFrame(int sampleCount) {
        Bytes samples(std::size_t(sampleCount), 0);
        for (std::uint8_t& s : samples) s = RandomByte();
        return MakeFrame(RandomByte(), RandomByte(), RandomByte(), samples, RandomByte());
    }

    std::mt19937 m_rng;
    int m_validFrames = 0;
};

// Index of the first difference, or the shorter length when one is a prefix of the other.
std::size_t FirstMismatch(const std::vector<ReceivedFrame>& a,
                          const std::vector<ReceivedFrame>& b) {
    const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return std::size_t(ia - a.begin());
}

TEST(ParserPropertyTest, RingParserMatchesTheReferenceOnDamagedStreamsCutAnywhere) {
    constexpr int kValidFramesPerSeed = 30'000;
    std::size_t deliveredTotal = 0;
    for (const std::uint32_t seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        DamagedStreamWriter writer(seed);
        Bytes stream;
        while (writer.ValidFrames() < kValidFramesPerSeed) writer.WriteSegment(stream);

        // The whole stream at once: the ring must not depend on where batches end.
        ReferenceParser reference(ReferenceParser::kUnbounded);
        reference.Append(stream.data(), stream.size());
        const std::vector<ReceivedFrame> expected = reference.Parse();

        ReceiveRing ring;
        RecordingSink sink;
        for (std::size_t offset = 0; offset < stream.size();) {
            const std::size_t batch =
                std::min(std::size_t(writer.Uniform(1, 300)), stream.size() - offset);
            ASSERT_LE(ring.Available() + batch, ReceiveRing::kSize - 1) << "batch would overflow";
            ring.AppendReceived(stream.data() + offset, batch);
            ring.ParseReceiveRing(sink);
            offset += batch;
        }
        EXPECT_EQ(ring.Available(), reference.Unparsed());

        const std::vector<ReceivedFrame>& actual = sink.Frames();
        const std::size_t at = FirstMismatch(actual, expected);
        ASSERT_EQ(actual.size(), expected.size()) << "first difference at frame " << at;
        ASSERT_EQ(at, actual.size())
            << "frame " << at << " differs: got " << ::testing::PrintToString(actual[at])
            << ", expected " << ::testing::PrintToString(expected[at]);
        deliveredTotal += actual.size();
    }
    EXPECT_GE(deliveredTotal, 100'000u);
}

// Keeps what the view would draw, and how: frame application hands raw samples over one
// batch per frame.
class BatchRecordingDisplay final : public SensorDisplay {
public:
    void AddSample(std::uint16_t) override { ++singles; }
    void AddSamples(std::span<const std::uint8_t> samples) override {
        ++batches;
        drawn.insert(drawn.end(), samples.begin(), samples.end());
    }
    void AddSensorRow(const SensorRecord&) override {}
    void UpdateSensorRow(const SensorRecord&) override {}
    void SelectSensor(const SensorRecord&) override {}

    int singles = 0;
    int batches = 0;
    Bytes drawn;
};

TEST(ParserPropertyTest, AcquisitionKeepsTheReferenceHistoriesAndDrawsOneBatchPerFrame) {
    DamagedStreamWriter writer(5);
    Bytes stream;
    while (writer.ValidFrames() < 20'000) writer.WriteSegment(stream);
    ReferenceParser reference(ReferenceParser::kUnbounded);
    reference.Append(stream.data(), stream.size());
    const std::vector<ReceivedFrame> frames = reference.Parse();
    ASSERT_FALSE(frames.empty());

    // The ring never overflows here, so a frame lies in storage where it lay in the stream,
    // modulo the storage size. Frames across the end must be among those checked.
    int straddling = 0;
    for (std::size_t i = 0; i < frames.size(); ++i)
        straddling += reference.Starts()[i] % ReceiveRing::kSize + frames[i].samples.size() + 8 >
                      ReceiveRing::kSize;
    EXPECT_GE(straddling, 100);

    ManualTickClock clock;
    BatchRecordingDisplay display;
    SensorAcquisition acquisition(clock, display);
    for (std::size_t offset = 0; offset < stream.size();) {
        const std::size_t batch =
            std::min(std::size_t(writer.Uniform(1, 300)), stream.size() - offset);
        ASSERT_LE(acquisition.Ring().Available() + batch, ReceiveRing::kSize - 1);
        acquisition.Receive(stream.data() + offset, batch);
        offset += batch;
    }

    // The first sensor heard is the one on display; its first frame reaches the view with
    // its selection, the later ones as they arrive.
    std::map<std::uint8_t, Bytes> histories;
    Bytes drawn;
    int shownFrames = 0;
    for (const ReceivedFrame& frame : frames) {
        Bytes& history = histories[frame.address];
        history.insert(history.end(), frame.samples.begin(), frame.samples.end());
        if (&frame == &frames.front() || frame.address != frames.front().address) continue;
        drawn.insert(drawn.end(), frame.samples.begin(), frame.samples.end());
        ++shownFrames;
    }
    EXPECT_EQ(display.singles, 0);
    EXPECT_EQ(display.batches, shownFrames);
    EXPECT_EQ(display.drawn, drawn);

    const SensorTable& table = acquisition.Table();
    ASSERT_EQ(table.Size(), histories.size());
    std::array<std::uint16_t, SampleRing::kCapacity> held{};
    for (const auto& [address, history] : histories) {
        SCOPED_TRACE(int(address));
        const SensorRecord* record = table.FindSensor(address);
        ASSERT_NE(record, nullptr);
        const std::size_t count = record->history->SnapshotHistory(held);
        const std::size_t kept = std::min(history.size(), SampleRing::kMaxSamples);
        ASSERT_EQ(count, kept);
        EXPECT_TRUE(std::equal(history.end() - std::ptrdiff_t(kept), history.end(), held.begin()));
    }
}

}  // namespace
}  // namespace sphyra::test
