#include "recording/capture_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/recording/capture_decode.h"

namespace sphyra {
namespace {

namespace fs = std::filesystem;
using capture::ChunkType;
using capture::PortEventCode;
using test::DecodeCapture;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "sphyra-rec-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempFolder() { fs::remove_all(m_path); }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

capture::CaptureHeader Header() {
    capture::CaptureHeader h;
    h.startTimeUs = 1'780'000'000'123'456;
    h.baud = 115200;
    h.tickAtStart = 0xFFFFFF00U;
    h.port = "COM3";
    return h;
}

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 31);
    return v;
}

// Waits for a child and returns its exit code, -signal when a signal ended it.
int Reap(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// Everything written comes back from the documented layout: header fields, the
// three chunk kinds in order, a read above the largest payload split into chunks
// with the same times, the name taken from the start time with a suffix when the
// name is taken, the folder created on the way.
TEST(CaptureWriter, WritesTheDocumentedLayoutAndNamesFilesByStartTime) {
    TempFolder dir;
    const fs::path folder = dir.Path() / "not" / "there";
    const auto big = Bytes(70'000, 5);
    const auto small = Bytes(7, 9);

    CaptureWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(folder, Header(), &error)) << error;
    EXPECT_TRUE(writer.AppendPortEvent(10, 0xFFFFFF00U, PortEventCode::Opened, "/dev/pts/4"));
    EXPECT_TRUE(writer.AppendReceived(1500, 0xFFFFFF01U, small.data(), small.size()));
    EXPECT_TRUE(writer.AppendReceived(2500, 0x00000002U, big.data(), big.size()));
    EXPECT_TRUE(writer.AppendMarker(3000, 3, 1, "标记"));
    EXPECT_TRUE(writer.Close());
    EXPECT_FALSE(writer.AppendMarker(4000, 4, 2));

    CaptureWriter second;
    ASSERT_TRUE(second.Open(folder, Header(), &error)) << error;
    second.Close();
    EXPECT_THAT(writer.Path().filename().string(),
                ::testing::MatchesRegex(R"(sphyra_[0-9]{8}_[0-9]{6}\.sphc)"));
    EXPECT_EQ(second.Path().filename().string(), writer.Path().stem().string() + "_2" + ".sphc");

    const auto got = DecodeCapture(writer.Path());
    ASSERT_TRUE(got.headerOk);
    EXPECT_EQ(got.header.startTimeUs, Header().startTimeUs);
    EXPECT_EQ(got.header.baud, 115200U);
    EXPECT_EQ(got.header.tickAtStart, 0xFFFFFF00U);
    EXPECT_EQ(got.header.port, "COM3");
    EXPECT_EQ(got.validBytes, got.fileSize);
    EXPECT_EQ(writer.Size(), got.fileSize);

    ASSERT_EQ(got.chunks.size(), 5U);
    EXPECT_EQ(got.chunks[0].type, ChunkType::PortEvent);
    EXPECT_EQ(got.chunks[0].payload,
              capture::PortEventPayload(PortEventCode::Opened, "/dev/pts/4"));
    EXPECT_EQ(got.chunks[1].payload, small);
    EXPECT_EQ(got.chunks[1].tick, 0xFFFFFF01U);
    std::vector<std::uint8_t> joined = got.chunks[2].payload;
    joined.insert(joined.end(), got.chunks[3].payload.begin(), got.chunks[3].payload.end());
    EXPECT_EQ(got.chunks[2].payload.size(), capture::kMaxPayload);
    EXPECT_EQ(joined, big);
    EXPECT_EQ(got.chunks[3].timeUs, 2500);
    EXPECT_EQ(got.chunks[3].tick, 2U);
    EXPECT_EQ(got.chunks[4].type, ChunkType::Marker);
    EXPECT_EQ(got.chunks[4].payload, capture::MarkerPayload(1, "标记"));
    EXPECT_EQ(capture::LoadLe<std::uint32_t>(got.chunks[4].payload.data()), 1U);
}

TEST(CaptureWriter, RefusesAFolderItCannotCreate) {
    TempFolder dir;
    std::ofstream(dir.Path() / "plain_file") << "x";
    CaptureWriter writer;
    std::string error;
    EXPECT_FALSE(writer.Open(dir.Path() / "plain_file" / "captures", Header(), &error));
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_NE(error.find("无法开始录制"), std::string::npos) << error;
    EXPECT_NE(error.find("plain_file"), std::string::npos) << error;
}

// A recorder killed with -9 never closes its file; what it wrote up to its last
// sync must read back whole, in order, without waiting for a close.
TEST(CaptureWriterCrash, KilledWhileRecordingLeavesAReadableCapture) {
    TempFolder dir;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CaptureWriter writer;
        if (!writer.Open(dir.Path(), Header(), nullptr)) ::_exit(2);
        for (std::uint32_t i = 0;; ++i) {
            const auto bytes = Bytes(100, static_cast<std::uint8_t>(i));
            writer.AppendReceived(i * 1000, i, bytes.data(), bytes.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // Wait, with a generous limit, until the child's syncs have put 50 chunks on disk.
    fs::path file;
    std::size_t seen = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (seen < 50 && std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : fs::directory_iterator(dir.Path())) file = entry.path();
        if (!file.empty()) seen = DecodeCapture(file).chunks.size();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // poll interval
    }
    ::kill(child, SIGKILL);
    EXPECT_EQ(Reap(child), -SIGKILL);
    ASSERT_GE(seen, 50U);

    const auto got = DecodeCapture(file);
    ASSERT_TRUE(got.headerOk);
    ASSERT_GE(got.chunks.size(), seen);
    for (std::uint32_t i = 0; i < got.chunks.size(); ++i) {
        ASSERT_EQ(got.chunks[i].tick, i);
        ASSERT_EQ(got.chunks[i].payload, Bytes(100, static_cast<std::uint8_t>(i)));
    }
}

// A file size limit (`ulimit -f`) stands in for a full disk: the writer says so
// once, stops taking chunks, and the file ends on whole chunks followed by the
// chunk that says why recording stopped.
TEST(CaptureWriterCrash, AFullDiskStopsRecordingAndKeepsWhatWasWritten) {
    TempFolder dir;
    constexpr rlim_t kLimit = 64 * 1024;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{kLimit, kLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
        CaptureWriter writer;
        if (!writer.Open(dir.Path(), Header(), nullptr)) ::_exit(3);
        std::uint32_t i = 0;
        while (!writer.HasFailed() && i < 1000) {
            const auto bytes = Bytes(1000, static_cast<std::uint8_t>(i));
            if (writer.AppendReceived(i, i, bytes.data(), bytes.size())) ++i;
            if (i % 8 == 0) writer.Flush();
        }
        const std::string error = writer.Error();
        const bool said = error.find("录制已停止：文件超过了允许的大小") == 0;
        const bool refused = !writer.AppendMarker(0, 0, 1);
        writer.Close();
        ::_exit(writer.HasFailed() && said && refused ? 0 : 4);
    }
    ASSERT_EQ(Reap(child), 0);

    const fs::path file = fs::directory_iterator(dir.Path())->path();
    const auto got = DecodeCapture(file);
    ASSERT_TRUE(got.headerOk);
    EXPECT_EQ(got.validBytes, got.fileSize);
    ASSERT_GE(got.chunks.size(), 60U);
    EXPECT_EQ(got.chunks.back().type, ChunkType::PortEvent);
    EXPECT_EQ(got.chunks.back().payload.at(0),
              static_cast<std::uint8_t>(PortEventCode::RecordingError));
    for (std::uint32_t i = 0; i + 1 < got.chunks.size(); ++i)
        ASSERT_EQ(got.chunks[i].payload, Bytes(1000, static_cast<std::uint8_t>(i)));
}

}  // namespace
}  // namespace sphyra
