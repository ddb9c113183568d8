#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "recording/capture_format.h"

namespace sphyra {

// What a capture's header says.
struct CaptureInfo : capture::CaptureHeader {
    std::uint16_t headerLength = 0;
};

// One chunk as read; `payload` points into the reader's buffer and stays valid
// only until the next call to Next or Rewind.
struct CaptureChunkView {
    capture::ChunkType type = capture::ChunkType::BytesReceived;
    std::uint64_t timeUs = 0;  // since the capture's start time
    std::uint32_t tick = 0;
    std::span<const std::uint8_t> payload;
    std::uint64_t offset = 0;  // of the chunk in the file
};

// Why reading stopped.
enum class CaptureStop : std::uint8_t {
    kNone,       // not stopped yet
    kEnd,        // the file ends exactly after a chunk
    kTruncated,  // the file ends inside a chunk
    kBadCrc,     // a chunk's CRC does not match
    kReadError,
};

// Streams a capture's chunks in order through one fixed buffer, so memory does
// not grow with the file. Reading stops at the first chunk that is incomplete or
// fails its CRC: everything before it is valid, everything from it on is not
// trusted, and StopText() says where and why.
class CaptureReader {
public:
    static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

    CaptureReader();
    ~CaptureReader();
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    // Opens `path` and checks its header. False, with the reason in Error(), when
    // the file cannot be read or its magic, version or header CRC is wrong.
    bool Open(const std::filesystem::path& path);
    const std::string& Error() const { return m_error; }
    const CaptureInfo& Info() const { return m_info; }

    // The next valid chunk, or false once reading has stopped (see Stop()).
    bool Next(CaptureChunkView& chunk);
    // Goes back to the first chunk for another pass over the file.
    bool Rewind();

    CaptureStop Stop() const { return m_stop; }
    // Offset of the first byte not read as part of a valid chunk.
    std::uint64_t ValidBytes() const { return m_validEnd; }
    std::uint64_t FileSize() const { return m_fileSize; }
    // One line on where and why reading stopped; empty while it has not.
    std::string StopText() const;

private:
    // Makes at least `n` bytes available from the current position; false at end of file.
    bool Fill(std::size_t n);
    void Close();

    int m_fd = -1;
    std::string m_error;
    CaptureInfo m_info;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_begin = 0;           // first unconsumed byte in m_buffer
    std::size_t m_end = 0;             // one past the last byte read into m_buffer
    std::uint64_t m_bufferOffset = 0;  // file offset of m_buffer[0]
    std::uint64_t m_validEnd = 0;
    std::uint64_t m_fileSize = 0;
    CaptureStop m_stop = CaptureStop::kNone;
    bool m_readFailed = false;
};

}  // namespace sphyra
