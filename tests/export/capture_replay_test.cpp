// A capture played back through a pseudo-terminal reaches the acquisition core
// exactly as the live stream did.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "acquisition/sensor_acquisition.h"
#include "tests/acquisition/recording_display.h"
#include "tests/export/sim_capture.h"
#include "tests/serial/temp_dir.h"
#include "tools/replay/capture_player.h"
#include "tools/sim/pty_endpoint.h"
#include "tools/sim/sim_config.h"

namespace sphyra {
namespace {

using Clock = std::chrono::steady_clock;

// What the window would show: every sensor's record and history, in list order,
// and the samples the view was given.
std::string Describe(const SensorAcquisition& acquisition, const test::RecordingDisplay& display) {
    std::string text;
    const SensorTable& table = acquisition.Table();
    for (std::size_t i = 0; i < table.Size(); ++i) {
        const SensorRecord& r = table.At(i);
        text += "sensor " + std::to_string(r.address) + " gain " + std::to_string(r.gain) +
                " battery " + std::to_string(r.battery) + " frames " + std::to_string(r.frames) +
                " history" + test::RecordingDisplay::History(r) + "\n";
    }
    for (const std::string& call : display.Calls()) {
        if (call.rfind("AddSample", 0) == 0) text += call + "\n";
    }
    return text;
}

TEST(CaptureReplayTest, APlayedBackCaptureGivesTheSameFramesAndHistoriesAsTheLiveStream) {
    test::TempDir dir;
    const std::vector<std::uint8_t> addresses = {3, 1, 200, 9};
    SimulatorConfig config = MakeSimulatorConfig(addresses, 20, 25, 11);
    config.corruption.rate = 0.05;  // damaged frames must be dropped the same way
    test::SimCaptureOptions options;
    options.untilMs = 2000;
    const test::SimCapture capture = test::WriteSimCapture(dir.Path(), config, options);

    ManualTickClock liveClock;
    test::RecordingDisplay liveDisplay;
    SensorAcquisition live(liveClock, liveDisplay);
    std::size_t total = 0;
    for (const std::vector<std::uint8_t>& read : capture.reads) {
        live.Receive(read.data(), read.size());
        total += read.size();
    }

    std::string error;
    std::unique_ptr<PtyEndpoint> pty = PtyEndpoint::Create(error);
    ASSERT_TRUE(pty) << error;
    const int port = ::open(pty->Path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(port, 0);
    CapturePlayer player;
    ASSERT_TRUE(player.Open(capture.path, 4.0, error)) << error;

    ManualTickClock replayClock;
    test::RecordingDisplay replayDisplay;
    SensorAcquisition replay(replayClock, replayDisplay);
    std::size_t received = 0;
    std::vector<std::uint8_t> batch;
    std::array<std::uint8_t, 4096> buffer{};
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::seconds(30);
    while (received < total && Clock::now() < deadline) {
        const auto elapsedUs = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
        batch.clear();
        player.ProduceInto(elapsedUs, batch);
        ASSERT_TRUE(batch.empty() ? pty->Flush() : pty->Write(batch));
        // Wait for bytes on the port, or until the next read falls due.
        pollfd pfd{port, POLLIN, 0};
        ::poll(&pfd, 1, 5);
        for (ssize_t n; (n = ::read(port, buffer.data(), buffer.size())) > 0;) {
            replay.Receive(buffer.data(), static_cast<std::size_t>(n));
            received += static_cast<std::size_t>(n);
        }
    }
    ::close(port);
    EXPECT_TRUE(player.Done());
    EXPECT_EQ(pty->Writer().DroppedBytes(), 0u);
    ASSERT_EQ(received, total);
    EXPECT_EQ(replay.Ring().Stats().framesDelivered, live.Ring().Stats().framesDelivered);
    EXPECT_EQ(replay.Ring().Stats().checksumFailures, live.Ring().Stats().checksumFailures);
    EXPECT_GT(live.Ring().Stats().checksumFailures + live.Ring().Stats().overlongDropped, 0u);
    EXPECT_EQ(Describe(replay, replayDisplay), Describe(live, liveDisplay));
    // Every read was played, from the first to the last.
    EXPECT_EQ(player.RecordedUs(), capture.readUs.back() - capture.readUs.front());
}

}  // namespace
}  // namespace sphyra
