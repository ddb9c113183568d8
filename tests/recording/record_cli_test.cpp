// sphyra-record run as a user runs it, against sphyra-sim on a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "acquisition/sensor_acquisition.h"
#include "acquisition/sensor_display.h"
#include "tests/recording/capture_decode.h"

namespace sphyra {
namespace {

namespace fs = std::filesystem;
using capture::ChunkType;
using capture::PortEventCode;

class Quiet final : public SensorDisplay {
public:
    void AddSample(std::uint16_t) override {}
    void AddSensorRow(const SensorRecord&) override {}
    void UpdateSensorRow(const SensorRecord&) override {}
    void SelectSensor(const SensorRecord&) override {}
};

pid_t Spawn(const std::vector<std::string>& args, const fs::path& log) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (std::freopen(log.c_str(), "a", stdout) == nullptr ||
        std::freopen(log.c_str(), "a", stderr) == nullptr)
        ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

int Stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// Polls, with a generous limit, until `done` holds.
bool Eventually(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // poll interval
    }
    return true;
}

std::vector<int> PortEvents(const test::DecodedCapture& capture) {
    std::vector<int> codes;
    for (const auto& chunk : capture.chunks)
        if (chunk.type == ChunkType::PortEvent) codes.push_back(chunk.payload.at(0));
    return codes;
}

// Records while the device goes away and comes back, then stops on SIGTERM: one
// complete file holding every byte of both sessions as good frames, and the
// port's opening, loss, reopening and closing between them.
TEST(SphyraRecord, RecordsAcrossDeviceLossAndStopsCleanlyOnSigterm) {
    char pattern[] = "/tmp/sphyra-record-cli-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const std::string link = (dir / "port").string();
    const fs::path out = dir / "captures";
    const fs::path log = dir / "log.txt";
    const std::vector<std::string> sim = {SPHYRA_SIM_PATH, "--link", link,        "--sensors", "4",
                                          "--fps",         "50",     "--samples", "40"};

    pid_t feeder = Spawn(sim, log);
    ASSERT_TRUE(Eventually([&] { return fs::is_symlink(link); }));
    const pid_t recorder =
        Spawn({SPHYRA_RECORD_PATH, "--port", link, "--baud", "115200", "--out", out.string()}, log);
    fs::path file;
    auto capture = [&] {
        if (file.empty() && fs::is_directory(out))
            for (const auto& entry : fs::directory_iterator(out)) file = entry.path();
        return file.empty() ? test::DecodedCapture{} : test::DecodeCapture(file);
    };
    EXPECT_TRUE(Eventually([&] { return capture().chunks.size() > 20; }));
    EXPECT_EQ(Stop(feeder), 0);
    EXPECT_TRUE(Eventually([&] { return PortEvents(capture()).size() == 2; }));

    feeder = Spawn(sim, log);
    EXPECT_TRUE(Eventually([&] {
        const auto got = capture();
        return PortEvents(got).size() == 3 && got.chunks.back().type == ChunkType::BytesReceived;
    }));
    EXPECT_EQ(Stop(recorder), 0);
    Stop(feeder);

    const auto got = capture();
    ASSERT_TRUE(got.headerOk);
    EXPECT_EQ(got.header.port, link);
    EXPECT_EQ(got.header.baud, 115200U);
    EXPECT_EQ(got.validBytes, got.fileSize);
    EXPECT_EQ(PortEvents(got), (std::vector<int>{1, 3, 1, 2}));

    // Each session parsed on its own, as the live program did.
    int session = 0;
    std::uint64_t frames = 0;
    std::size_t sensors = 0;
    ManualTickClock ticks;
    Quiet quiet;
    auto parser = std::make_unique<SensorAcquisition>(ticks, quiet);
    for (const auto& chunk : got.chunks) {
        if (chunk.type == ChunkType::BytesReceived) {
            parser->Receive(chunk.payload.data(), chunk.payload.size());
        } else if (chunk.payload.at(0) == static_cast<std::uint8_t>(PortEventCode::Opened)) {
            ++session;
            const ParseStats& stats = parser->Ring().Stats();
            frames += stats.framesDelivered;
            sensors = std::max(sensors, parser->Table().Size());
            EXPECT_EQ(stats.checksumFailures + stats.overlongDropped, 0U) << session;
            parser = std::make_unique<SensorAcquisition>(ticks, quiet);
        }
    }
    frames += parser->Ring().Stats().framesDelivered;
    EXPECT_EQ(parser->Ring().Stats().checksumFailures, 0U);
    EXPECT_EQ(session, 2);
    EXPECT_GT(frames, 40U);
    EXPECT_EQ(std::max(sensors, parser->Table().Size()), 4U);
    if (HasFailure()) {
        std::ifstream text(log);
        std::cerr << text.rdbuf();
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace sphyra
