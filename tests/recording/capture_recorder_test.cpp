#include "recording/capture_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include <stdlib.h>

#include "tests/recording/capture_decode.h"

namespace sphyra {
namespace {

namespace fs = std::filesystem;
using capture::ChunkType;
using capture::PortEventCode;

class ManualCaptureClock final : public CaptureClock {
public:
    std::int64_t WallUs() const override { return wall + mono; }
    std::int64_t MonotonicUs() const override { return mono; }
    std::int64_t wall = 1'780'000'000'000'000;
    std::int64_t mono = 5'000'000;
};

// Started by the port opening, a recording names the port as the list numbers
// it, stamps chunks from its file's start, numbers markers per file, and past its
// age limit goes on in a new file with nothing lost or repeated between the two.
TEST(CaptureRecorder, StartsOnOpenStampsChunksAndGoesOnInANewFileWhenOld) {
    const fs::path folder =
        fs::temp_directory_path() / ("sphyra-recorder-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    ManualCaptureClock clock;
    ManualTickClock ticks(100);
    CaptureRecorderOptions options;
    options.maxFileUs = 3'600'000'000;
    CaptureRecorder recorder(clock, ticks, options);

    recorder.StartOnOpen(folder);
    EXPECT_FALSE(recorder.IsRecording());
    recorder.OnPortOpened(3, 115200);
    ASSERT_TRUE(recorder.IsRecording());
    const std::uint8_t first[] = {0xF0, 0xC0, 1};
    const std::uint8_t second[] = {2, 3};
    clock.mono += 1500;
    ticks.Advance(2);
    recorder.OnReceived(first, sizeof first);
    EXPECT_EQ(recorder.DropMarker("a"), 1U);
    EXPECT_EQ(recorder.DropMarker(), 2U);
    clock.mono += 3'600'000'000;  // an hour on: the next read opens a second file
    ticks.Advance(3'600'000);
    recorder.OnReceived(second, sizeof second);
    EXPECT_EQ(recorder.DropMarker(), 1U);
    recorder.OnDeviceLost();
    EXPECT_EQ(recorder.ElapsedUs(), 3'600'001'500);
    recorder.Stop();
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_EQ(recorder.DropMarker(), 0U);
    EXPECT_FALSE(recorder.TakeError());

    std::set<fs::path> files;
    std::uintmax_t total = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.insert(entry.path());
        total += entry.file_size();
    }
    ASSERT_EQ(files.size(), 2U);
    EXPECT_EQ(recorder.FilesBegun(), 2);
    EXPECT_EQ(recorder.Bytes(), total);

    const auto one = test::DecodeCapture(*files.begin());
    const auto two = test::DecodeCapture(*files.rbegin());
    EXPECT_EQ(one.header.port, "COM3");
    EXPECT_EQ(one.header.baud, 115200U);
    EXPECT_EQ(one.header.tickAtStart, 100U);
    EXPECT_EQ(two.header.startTimeUs - one.header.startTimeUs, 3'600'001'500);
    EXPECT_EQ(two.header.tickAtStart, 100U + 2 + 3'600'000);
    ASSERT_EQ(one.chunks.size(), 4U);
    EXPECT_EQ(one.chunks[0].type, ChunkType::PortEvent);
    EXPECT_EQ(one.chunks[0].payload,
              capture::PortEventPayload(PortEventCode::Opened, "COM3 115200"));
    EXPECT_EQ(one.chunks[1].payload, std::vector<std::uint8_t>(first, first + 3));
    EXPECT_EQ(one.chunks[1].timeUs, 1500);
    EXPECT_EQ(one.chunks[1].tick, 102U);
    EXPECT_EQ(one.chunks[3].payload, capture::MarkerPayload(2, ""));
    ASSERT_EQ(two.chunks.size(), 3U);
    EXPECT_EQ(two.chunks[0].payload, std::vector<std::uint8_t>(second, second + 2));
    EXPECT_EQ(two.chunks[0].timeUs, 0);
    EXPECT_EQ(two.chunks[1].payload, capture::MarkerPayload(1, ""));
    EXPECT_EQ(two.chunks[2].payload, capture::PortEventPayload(PortEventCode::DeviceLost, ""));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace sphyra
