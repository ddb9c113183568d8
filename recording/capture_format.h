#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The capture file (.sphc), as docs/capture_format.md describes it: constants,
// the decoded shapes of its parts, and the encoding the writer uses. Everything
// on disk is little-endian.
namespace sphyra::capture {

inline constexpr std::array<char, 8> kMagic = {'S', 'P', 'H', 'Y', 'R', 'C', 'A', 'P'};
inline constexpr std::uint16_t kVersion = 1;
inline constexpr std::string_view kFileExtension = ".sphc";

// Header layout: offsets of the fixed fields, then the port name, the reserved
// bytes and the CRC of everything before it.
inline constexpr std::size_t kHeaderMagicOffset = 0;
inline constexpr std::size_t kHeaderVersionOffset = 8;
inline constexpr std::size_t kHeaderLengthOffset = 10;
inline constexpr std::size_t kHeaderStartTimeOffset = 12;
inline constexpr std::size_t kHeaderBaudOffset = 20;
inline constexpr std::size_t kHeaderTickOffset = 24;
inline constexpr std::size_t kHeaderPortLengthOffset = 28;
inline constexpr std::size_t kHeaderPortOffset = 30;
inline constexpr std::size_t kCrcSize = 4;
// The smallest valid header: an empty port name and no reserved bytes.
inline constexpr std::size_t kMinHeaderSize = kHeaderPortOffset + kCrcSize;

// Chunk layout: a 16-byte head, the payload, the CRC of head and payload.
inline constexpr std::size_t kChunkTypeOffset = 0;
inline constexpr std::size_t kChunkReservedOffset = 1;
inline constexpr std::size_t kChunkLengthOffset = 2;
inline constexpr std::size_t kChunkTimeOffset = 4;
inline constexpr std::size_t kChunkTickOffset = 12;
inline constexpr std::size_t kChunkHeadSize = 16;
inline constexpr std::size_t kMaxPayload = 65535;
inline constexpr std::size_t kMaxChunkSize = kChunkHeadSize + kMaxPayload + kCrcSize;

enum class ChunkType : std::uint8_t {
    BytesReceived = 1,  // the bytes exactly as one read from the port returned them
    Marker = 2,         // 4-byte marker number, then optional UTF-8 text
    PortEvent = 3,      // 1-byte PortEventCode, then optional UTF-8 text
};

enum class PortEventCode : std::uint8_t {
    Opened = 1,
    Closed = 2,
    DeviceLost = 3,
    RecordingError = 4,  // recording stopped by an error (disk full, ...)
};

struct CaptureHeader {
    std::int64_t startTimeUs = 0;  // since 1970-01-01 UTC
    std::uint32_t baud = 0;
    std::uint32_t tickAtStart = 0;  // the program's millisecond tick when recording began
    std::string port;               // as the user gave it: "COM3", "/dev/ttyUSB0"
};

struct CaptureChunk {
    ChunkType type = ChunkType::BytesReceived;
    std::int64_t timeUs = 0;  // since the header's start time, monotonic
    std::uint32_t tick = 0;   // the program's millisecond tick at that moment
    std::vector<std::uint8_t> payload;
};

// Little-endian stores and loads on raw bytes.
template <typename T>
void StoreLe(std::uint8_t* out, T value) {
    using U = std::make_unsigned_t<T>;
    auto u = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

template <typename T>
T LoadLe(const std::uint8_t* in) {
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        u = static_cast<U>(u | static_cast<U>(in[i]) << (8 * i));
    return static_cast<T>(u);
}

// The header as it goes on disk (no reserved bytes). A port name longer than
// 65535 bytes is cut there.
std::vector<std::uint8_t> EncodeHeader(const CaptureHeader& header);

// Appends one chunk to `out`; the payload must be at most kMaxPayload bytes.
void AppendChunk(std::vector<std::uint8_t>& out, ChunkType type, std::int64_t timeUs,
                 std::uint32_t tick, const std::uint8_t* payload, std::size_t n);

// Payloads of the marker and port-event chunks.
std::vector<std::uint8_t> MarkerPayload(std::uint32_t number, std::string_view text);
std::vector<std::uint8_t> PortEventPayload(PortEventCode code, std::string_view text);

// "sphyra_YYYYMMDD_HHMMSS.sphc" for a start time in local time; `attempt` 2, 3 …
// adds "_2", "_3" … for a name already taken.
std::string CaptureFileName(std::int64_t startTimeUs, int attempt = 1);

}  // namespace sphyra::capture
