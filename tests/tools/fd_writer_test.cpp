#include "tools/sim/fd_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

namespace sphyra {
namespace {

class Pipe {
public:
    Pipe() {
        EXPECT_EQ(::pipe(m_fds), 0);
        ::fcntl(m_fds[0], F_SETFL, O_NONBLOCK);
        ::fcntl(m_fds[1], F_SETFL, O_NONBLOCK);
    }
    ~Pipe() {
        CloseRead();
        ::close(m_fds[1]);
    }
    int ReadEnd() const { return m_fds[0]; }
    int WriteEnd() const { return m_fds[1]; }
    void CloseRead() {
        if (m_fds[0] >= 0) ::close(m_fds[0]);
        m_fds[0] = -1;
    }
    // Everything readable right now.
    std::vector<std::uint8_t> Drain() const {
        std::vector<std::uint8_t> out;
        std::array<std::uint8_t, 4096> buffer{};
        for (;;) {
            const ssize_t n = ::read(m_fds[0], buffer.data(), buffer.size());
            if (n <= 0) return out;
            out.insert(out.end(), buffer.begin(), buffer.begin() + n);
        }
    }

private:
    int m_fds[2] = {-1, -1};
};

std::vector<std::uint8_t> Batch(int index, std::size_t size) {
    std::vector<std::uint8_t> batch(size);
    for (std::size_t i = 0; i < size; ++i)
        batch[i] = static_cast<std::uint8_t>(static_cast<std::size_t>(index) * 31 + i);
    batch[0] = static_cast<std::uint8_t>(index);  // unique per batch
    batch[1] = static_cast<std::uint8_t>(index >> 8);
    return batch;
}

TEST(FdWriter, QueuesWhatThePipeRefusesAndDeliversItInOrder) {
    Pipe pipe;
    FdWriter writer(pipe.WriteEnd(), 4 * 1024 * 1024);
    std::vector<std::uint8_t> sent;
    for (int i = 0; i < 300; ++i) {
        const std::vector<std::uint8_t> batch = Batch(i, 1000 + static_cast<std::size_t>(i));
        ASSERT_TRUE(writer.Write(batch));
        sent.insert(sent.end(), batch.begin(), batch.end());
    }
    ASSERT_GT(writer.PendingBytes(), 0u);  // far more than a pipe holds
    EXPECT_EQ(writer.WrittenBytes() + writer.PendingBytes(), sent.size());

    std::vector<std::uint8_t> received;
    for (int round = 0; round < 10000 && received.size() < sent.size(); ++round) {
        const std::vector<std::uint8_t> chunk = pipe.Drain();
        received.insert(received.end(), chunk.begin(), chunk.end());
        ASSERT_TRUE(writer.Flush());
    }
    EXPECT_EQ(received, sent);
    EXPECT_EQ(writer.PendingBytes(), 0u);
    EXPECT_EQ(writer.DroppedBytes(), 0u);
}

TEST(FdWriter, PastItsBoundItDropsWholeBatchesAndCountsThem) {
    Pipe pipe;
    constexpr std::size_t kBatch = 1000;
    constexpr std::size_t kBound = 10 * kBatch;
    FdWriter writer(pipe.WriteEnd(), kBound);
    constexpr int kBatches = 400;  // well beyond the pipe plus the bound
    for (int i = 0; i < kBatches; ++i) ASSERT_TRUE(writer.Write(Batch(i, kBatch)));

    EXPECT_GT(writer.DroppedBytes(), 0u);
    EXPECT_EQ(writer.DroppedBytes() % kBatch, 0u);
    EXPECT_LE(writer.PendingBytes(), kBound + kBatch);  // plus a batch that has started out
    EXPECT_EQ(writer.WrittenBytes() + writer.PendingBytes() + writer.DroppedBytes(),
              kBatches * kBatch);

    std::vector<std::uint8_t> received;
    for (int round = 0; round < 1000 && writer.PendingBytes() > 0; ++round) {
        const std::vector<std::uint8_t> chunk = pipe.Drain();
        received.insert(received.end(), chunk.begin(), chunk.end());
        ASSERT_TRUE(writer.Flush());
    }
    const std::vector<std::uint8_t> rest = pipe.Drain();
    received.insert(received.end(), rest.begin(), rest.end());
    // What arrives is whole batches, in order, with the newest one among them.
    ASSERT_EQ(received.size() % kBatch, 0u);
    int previous = -1;
    for (std::size_t at = 0; at < received.size(); at += kBatch) {
        int index = -1;
        for (int i = previous + 1; i < kBatches && index < 0; ++i) {
            const std::vector<std::uint8_t> batch = Batch(i, kBatch);
            if (std::equal(batch.begin(), batch.end(), received.begin() + static_cast<long>(at))) {
                index = i;
            }
        }
        ASSERT_GT(index, previous) << "torn or reordered batch at byte " << at;
        previous = index;
    }
    EXPECT_EQ(previous, kBatches - 1);
}

TEST(FdWriter, ReportsAWriteErrorAndKeepsTheBytes) {
    ::signal(SIGPIPE, SIG_IGN);
    Pipe pipe;
    pipe.CloseRead();
    FdWriter writer(pipe.WriteEnd());
    EXPECT_FALSE(writer.Write(Batch(0, 10)));
    EXPECT_EQ(writer.Error(), EPIPE);
    EXPECT_EQ(writer.PendingBytes(), 10u);
    EXPECT_FALSE(writer.Flush());
}

}  // namespace
}  // namespace sphyra
