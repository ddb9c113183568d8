#include "tools/sim/pty_endpoint.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

namespace sphyra {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(10);

std::unique_ptr<PtyEndpoint> MakeEndpoint(std::size_t maxPending = FdWriter::kDefaultMaxPending) {
    std::string error;
    std::unique_ptr<PtyEndpoint> endpoint = PtyEndpoint::Create(error, maxPending);
    EXPECT_NE(endpoint, nullptr) << error;
    return endpoint;
}

int OpenReader(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path;
    return fd;
}

// Reads from `fd` until `count` bytes have come or the deadline passes, flushing
// the endpoint between reads so its queue keeps moving.
std::vector<std::uint8_t> ReadUntil(int fd, std::size_t count, PtyEndpoint& endpoint) {
    std::vector<std::uint8_t> out;
    std::array<std::uint8_t, 4096> buffer{};
    const Clock::time_point deadline = Clock::now() + kDeadline;
    while (out.size() < count && Clock::now() < deadline) {
        EXPECT_TRUE(endpoint.Flush());
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0) continue;
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    return out;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = ::testing::TempDir() + "sphyra-sim-XXXXXX";
        m_path = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        EXPECT_FALSE(m_path.empty());
    }
    ~TempDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    std::string File(const char* name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

TEST(PtyEndpoint, BytesWrittenBeforeAndAfterTheReaderOpensAllArriveUnaltered) {
    auto endpoint = MakeEndpoint(8 * 1024 * 1024);
    ASSERT_NE(endpoint, nullptr);
    // Every byte value, terminal control characters included, must pass as is.
    std::vector<std::uint8_t> early(256);
    for (int i = 0; i < 256; ++i) early[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    ASSERT_TRUE(endpoint->Write(early));

    const int reader = OpenReader(endpoint->Path());
    ASSERT_GE(reader, 0);
    // Far more than the terminal buffers hold, so the queue has to take over.
    std::vector<std::uint8_t> late(300'000);
    for (std::size_t i = 0; i < late.size(); ++i) late[i] = static_cast<std::uint8_t>(i * 7 + 3);
    ASSERT_TRUE(endpoint->Write(late));

    std::vector<std::uint8_t> expected = early;
    expected.insert(expected.end(), late.begin(), late.end());
    EXPECT_EQ(ReadUntil(reader, expected.size(), *endpoint), expected);
    EXPECT_EQ(endpoint->Writer().DroppedBytes(), 0u);
    EXPECT_EQ(endpoint->Writer().WrittenBytes(), expected.size());
    ::close(reader);
}

TEST(PtyEndpoint, CountsAndDiscardsWhatNobodyRead) {
    auto endpoint = MakeEndpoint();
    ASSERT_NE(endpoint, nullptr);
    const std::vector<std::uint8_t> stale(100, 0x55);
    ASSERT_TRUE(endpoint->Write(stale));
    // The terminal hands bytes to the slave side asynchronously.
    const Clock::time_point deadline = Clock::now() + kDeadline;
    while (endpoint->UnreadBytes() < stale.size() && Clock::now() < deadline) {
        ::poll(nullptr, 0, 1);
    }
    EXPECT_EQ(endpoint->UnreadBytes(), stale.size());

    endpoint->DiscardUnread();
    EXPECT_EQ(endpoint->UnreadBytes(), 0u);
    const int reader = OpenReader(endpoint->Path());
    const std::vector<std::uint8_t> fresh{1, 2, 3};
    ASSERT_TRUE(endpoint->Write(fresh));
    EXPECT_EQ(ReadUntil(reader, 3, *endpoint), fresh);
    ::close(reader);
}

TEST(PtyEndpoint, LinkLeadsToTheSlaveAndGoesAwayWithTheEndpoint) {
    TempDir dir;
    const std::string link = dir.File("port");
    ASSERT_EQ(::symlink("/nonexistent/stale", link.c_str()), 0);  // left by an earlier run
    {
        auto endpoint = MakeEndpoint();
        ASSERT_NE(endpoint, nullptr);
        std::string error;
        ASSERT_TRUE(endpoint->CreateLink(link, error)) << error;
        EXPECT_EQ(endpoint->LinkPath(), link);
        const int reader = OpenReader(link);
        ASSERT_GE(reader, 0);
        const std::vector<std::uint8_t> bytes{0xF0, 0xC0, 0x0A};
        ASSERT_TRUE(endpoint->Write(bytes));
        EXPECT_EQ(ReadUntil(reader, bytes.size(), *endpoint), bytes);
        ::close(reader);
    }
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
}

TEST(PtyEndpoint, NeverReplacesAFileThatIsNotALinkNorALinkItDoesNotOwn) {
    TempDir dir;
    const std::string file = dir.File("precious");
    std::ofstream(file) << "keep me";
    auto endpoint = MakeEndpoint();
    ASSERT_NE(endpoint, nullptr);
    std::string error;
    EXPECT_FALSE(endpoint->CreateLink(file, error));
    EXPECT_FALSE(error.empty());
    std::string content;
    std::getline(std::ifstream(file), content);
    EXPECT_EQ(content, "keep me");

    // Someone re-points our link: it is theirs now and must survive us.
    const std::string link = dir.File("port");
    ASSERT_TRUE(endpoint->CreateLink(link, error)) << error;
    ASSERT_EQ(::unlink(link.c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0);
    endpoint.reset();
    struct stat st {};
    EXPECT_EQ(::lstat(link.c_str(), &st), 0);
}

}  // namespace
}  // namespace sphyra
