#include "recording/capture_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "recording/crc32.h"

namespace sphyra {
namespace {

using namespace capture;

constexpr std::size_t kFixedHeader = kHeaderPortOffset;

template <typename T>
T Le(const std::uint8_t* p) {
    return LoadLe<T>(p);
}

}  // namespace

CaptureReader::CaptureReader() : m_buffer(kBufferSize) {}

CaptureReader::~CaptureReader() {
    Close();
}

void CaptureReader::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool CaptureReader::Open(const std::filesystem::path& path) {
    Close();
    m_error.clear();
    m_info = {};
    m_begin = m_end = 0;
    m_bufferOffset = m_validEnd = m_fileSize = 0;
    m_stop = CaptureStop::kNone;
    m_readFailed = false;
    const std::string name = path.string();
    m_fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = name + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) == 0) m_fileSize = static_cast<std::uint64_t>(st.st_size);
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    auto refuse = [&](const std::string& why) {
        m_error = name + ": " + why;
        Close();
        return false;
    };
    if (!Fill(kFixedHeader)) return refuse("too short for a capture header");
    const std::uint8_t* h = m_buffer.data() + m_begin;
    if (std::memcmp(h, kMagic.data(), kMagic.size()) != 0) {
        return refuse("not a Sphyra capture (bad magic)");
    }
    const std::uint16_t version = Le<std::uint16_t>(h + kHeaderVersionOffset);
    if (version != kVersion) {
        return refuse("capture format version " + std::to_string(version) +
                      " is not supported (this program reads version " + std::to_string(kVersion) +
                      ")");
    }
    m_info.headerLength = Le<std::uint16_t>(h + kHeaderLengthOffset);
    const std::uint16_t portLength = Le<std::uint16_t>(h + kHeaderPortLengthOffset);
    if (m_info.headerLength < kFixedHeader + kCrcSize + portLength) {
        return refuse("header length " + std::to_string(m_info.headerLength) + " is impossible");
    }
    if (!Fill(m_info.headerLength)) return refuse("header cut short");
    h = m_buffer.data() + m_begin;
    const std::size_t crcAt = m_info.headerLength - kCrcSize;
    if (Crc32(h, crcAt) != Le<std::uint32_t>(h + crcAt)) return refuse("header CRC mismatch");
    m_info.startTimeUs = Le<std::int64_t>(h + kHeaderStartTimeOffset);
    m_info.baud = Le<std::uint32_t>(h + kHeaderBaudOffset);
    m_info.tickAtStart = Le<std::uint32_t>(h + kHeaderTickOffset);
    m_info.port.assign(reinterpret_cast<const char*>(h + kFixedHeader), portLength);
    m_begin += m_info.headerLength;
    m_validEnd = m_info.headerLength;
    return true;
}

bool CaptureReader::Fill(std::size_t n) {
    if (m_end - m_begin >= n) return true;
    if (m_fd < 0 || m_readFailed) return false;
    // Keep the unconsumed tail and read behind it in large blocks.
    if (m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_bufferOffset += m_begin;
        m_end -= m_begin;
        m_begin = 0;
    }
    while (m_end < n) {
        const ssize_t got = ::read(m_fd, m_buffer.data() + m_end, m_buffer.size() - m_end);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            m_readFailed = true;
            m_error = std::strerror(errno);
            return false;
        }
        if (got == 0) return false;
        m_end += static_cast<std::size_t>(got);
    }
    return true;
}

bool CaptureReader::Next(CaptureChunkView& chunk) {
    if (m_fd < 0 || m_stop != CaptureStop::kNone) return false;
    auto stop = [&](CaptureStop why) {
        m_stop = m_readFailed ? CaptureStop::kReadError : why;
        return false;
    };
    if (!Fill(kChunkHeadSize))
        return stop(m_begin == m_end ? CaptureStop::kEnd : CaptureStop::kTruncated);
    const std::uint8_t* p = m_buffer.data() + m_begin;
    const std::size_t total = kChunkHeadSize + Le<std::uint16_t>(p + kChunkLengthOffset) + kCrcSize;
    if (!Fill(total)) return stop(CaptureStop::kTruncated);
    p = m_buffer.data() + m_begin;
    if (Crc32(p, total - kCrcSize) != Le<std::uint32_t>(p + total - kCrcSize)) {
        return stop(CaptureStop::kBadCrc);
    }
    chunk.type = static_cast<ChunkType>(p[kChunkTypeOffset]);
    chunk.timeUs = Le<std::uint64_t>(p + kChunkTimeOffset);
    chunk.tick = Le<std::uint32_t>(p + kChunkTickOffset);
    chunk.payload = {p + kChunkHeadSize, total - kChunkHeadSize - kCrcSize};
    chunk.offset = m_bufferOffset + m_begin;
    m_begin += total;
    m_validEnd = chunk.offset + total;
    return true;
}

bool CaptureReader::Rewind() {
    if (m_fd < 0) return false;
    if (::lseek(m_fd, m_info.headerLength, SEEK_SET) < 0) return false;
    m_begin = m_end = 0;
    m_bufferOffset = m_info.headerLength;
    m_validEnd = m_info.headerLength;
    m_stop = CaptureStop::kNone;
    m_readFailed = false;
    return true;
}

std::string CaptureReader::StopText() const {
    const std::string at = "at byte " + std::to_string(m_validEnd);
    switch (m_stop) {
        case CaptureStop::kNone:
            return {};
        case CaptureStop::kEnd:
            return "complete: " + std::to_string(m_validEnd) + " bytes";
        case CaptureStop::kTruncated:
            return "cut off " + at + " of " + std::to_string(m_fileSize) +
                   " (an incomplete chunk); everything before it is valid";
        case CaptureStop::kBadCrc:
            return "stopped " + at + " of " + std::to_string(m_fileSize) +
                   ": a chunk fails its CRC; everything before it is valid";
        case CaptureStop::kReadError:
            return "read error " + at + ": " + m_error;
    }
    return {};
}

}  // namespace sphyra
