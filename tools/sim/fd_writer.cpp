#include "tools/sim/fd_writer.h"

#include <unistd.h>

#include <cerrno>

namespace sphyra {

bool FdWriter::Write(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty()) {
        m_batches.emplace_back(bytes.begin(), bytes.end());
        m_pendingBytes += bytes.size();
    }
    const bool ok = Flush();
    DropOldest();
    return ok;
}

bool FdWriter::Flush() {
    while (!m_batches.empty()) {
        const std::vector<std::uint8_t>& front = m_batches.front();
        const std::size_t left = front.size() - m_frontOffset;
        const ssize_t n = ::write(m_fd, front.data() + m_frontOffset, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            m_error = errno;
            return false;
        }
        const auto written = static_cast<std::size_t>(n);
        m_written += written;
        m_pendingBytes -= written;
        m_frontOffset += written;
        if (m_frontOffset == front.size()) {
            m_batches.pop_front();
            m_frontOffset = 0;
        }
        if (written == 0) return true;
    }
    return true;
}

void FdWriter::DropOldest() {
    // The front batch is spared once it has started going out.
    std::size_t victim = m_frontOffset > 0 ? 1 : 0;
    while (m_pendingBytes > m_maxPending && victim < m_batches.size()) {
        const std::size_t size = m_batches[victim].size();
        m_pendingBytes -= size;
        m_dropped += size;
        m_batches.erase(m_batches.begin() + static_cast<std::ptrdiff_t>(victim));
    }
}

}  // namespace sphyra
