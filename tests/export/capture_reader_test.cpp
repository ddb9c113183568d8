#include "recording/capture_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/export/sim_capture.h"
#include "tests/serial/temp_dir.h"
#include "tools/sim/sim_config.h"

namespace sphyra {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Save(const std::filesystem::path& path, const Bytes& bytes, std::size_t n) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(n));
}

struct ReadBack {
    std::vector<Bytes> payloads;
    std::vector<std::uint64_t> ends;  // file offset after each chunk
    CaptureStop stop = CaptureStop::kNone;
};

ReadBack ReadAll(CaptureReader& reader) {
    ReadBack out;
    CaptureChunkView chunk;
    while (reader.Next(chunk)) {
        out.payloads.emplace_back(chunk.payload.begin(), chunk.payload.end());
        out.ends.push_back(reader.ValidBytes());
    }
    out.stop = reader.Stop();
    return out;
}

class CaptureReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<std::uint8_t> addresses = {1, 2};
        test::SimCaptureOptions options;
        options.untilMs = 200;
        options.markerMs = {100};
        m_capture =
            test::WriteSimCapture(m_dir.Path(), MakeSimulatorConfig(addresses, 8, 50, 3), options);
        m_bytes = Load(m_capture.path);
    }

    test::TempDir m_dir;
    test::SimCapture m_capture;
    Bytes m_bytes;
};

TEST_F(CaptureReaderTest, ReadsTheWritersChunksAndACutFileUpToItsLastWholeChunk) {
    CaptureReader reader;
    ASSERT_TRUE(reader.Open(m_capture.path)) << reader.Error();
    EXPECT_EQ(reader.Info().port, "COM1");
    EXPECT_EQ(reader.Info().tickAtStart, m_capture.startTick);
    const ReadBack whole = ReadAll(reader);
    EXPECT_EQ(whole.stop, CaptureStop::kEnd);
    // Port event, the reads and one marker, in the order written.
    ASSERT_EQ(whole.payloads.size(), m_capture.reads.size() + 2);
    EXPECT_EQ(whole.payloads[1], m_capture.reads[0]);
    ASSERT_TRUE(reader.Rewind());
    EXPECT_EQ(ReadAll(reader).payloads, whole.payloads);

    const std::filesystem::path cut = m_dir / "cut.sphc";
    for (std::size_t n = reader.Info().headerLength; n < m_bytes.size(); ++n) {
        Save(cut, m_bytes, n);
        CaptureReader part;
        ASSERT_TRUE(part.Open(cut)) << part.Error();
        const ReadBack got = ReadAll(part);
        std::size_t complete = 0;
        while (complete < whole.ends.size() && whole.ends[complete] <= n) ++complete;
        ASSERT_EQ(got.payloads.size(), complete) << "cut at " << n;
        const bool atBoundary =
            complete == 0 ? n == reader.Info().headerLength : whole.ends[complete - 1] == n;
        EXPECT_EQ(got.stop, atBoundary ? CaptureStop::kEnd : CaptureStop::kTruncated);
    }
}

TEST_F(CaptureReaderTest, StopsAtAChunkThatFailsItsCrc) {
    CaptureReader reader;
    ASSERT_TRUE(reader.Open(m_capture.path));
    const ReadBack whole = ReadAll(reader);
    Bytes damaged = m_bytes;
    damaged[whole.ends[2] + 20] ^= 0x01;  // inside the fourth chunk's payload
    Save(m_dir / "bad.sphc", damaged, damaged.size());
    CaptureReader bad;
    ASSERT_TRUE(bad.Open(m_dir / "bad.sphc"));
    const ReadBack got = ReadAll(bad);
    EXPECT_EQ(got.payloads.size(), 3u);
    EXPECT_EQ(got.stop, CaptureStop::kBadCrc);
    EXPECT_EQ(bad.ValidBytes(), whole.ends[2]);
    EXPECT_NE(bad.StopText().find("CRC"), std::string::npos) << bad.StopText();
}

TEST_F(CaptureReaderTest, RefusesAHeaderWithABadMagicVersionOrCrc) {
    const struct {
        std::size_t at;
        const char* says;
    } cases[] = {{0, "magic"}, {8, "version"}, {14, "CRC"}};
    for (const auto& c : cases) {
        Bytes damaged = m_bytes;
        damaged[c.at] ^= 0x40;
        Save(m_dir / "bad.sphc", damaged, damaged.size());
        CaptureReader reader;
        EXPECT_FALSE(reader.Open(m_dir / "bad.sphc"));
        EXPECT_NE(reader.Error().find(c.says), std::string::npos) << reader.Error();
    }
}

}  // namespace
}  // namespace sphyra
