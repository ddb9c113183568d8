#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace sphyra {

// Writes to a non-blocking file descriptor without ever blocking and without
// losing bytes unnoticed: what the descriptor will not take now is queued and
// retried by later calls. The queue is bounded; past the bound whole queued
// batches are discarded, oldest first, and counted, so a stalled reader cannot
// grow memory without limit and the loss is always on record. A batch that has
// been partly written is never discarded, so a reader never sees a torn batch
// from that cause.
class FdWriter {
public:
    static constexpr std::size_t kDefaultMaxPending = 64 * 1024;

    // Does not own `fd`, which must already be non-blocking.
    explicit FdWriter(int fd, std::size_t maxPending = kDefaultMaxPending)
        : m_fd(fd), m_maxPending(maxPending) {}

    // Queues `bytes` as one batch behind anything pending and writes what the
    // descriptor takes now. Returns false on a write error other than "would block";
    // the unwritten bytes then stay queued and Error() tells the errno.
    bool Write(std::span<const std::uint8_t> bytes);
    // Retries the queued bytes; same result as Write.
    bool Flush();

    std::size_t PendingBytes() const { return m_pendingBytes; }
    std::uint64_t WrittenBytes() const { return m_written; }
    std::uint64_t DroppedBytes() const { return m_dropped; }
    int Error() const { return m_error; }
    int Fd() const { return m_fd; }

private:
    void DropOldest();

    int m_fd;
    std::size_t m_maxPending;
    std::deque<std::vector<std::uint8_t>> m_batches;
    std::size_t m_frontOffset = 0;  // bytes of the front batch already written
    std::size_t m_pendingBytes = 0;
    std::uint64_t m_written = 0;
    std::uint64_t m_dropped = 0;
    int m_error = 0;
};

}  // namespace sphyra
