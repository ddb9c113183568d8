#include "recording/capture_format.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "recording/crc32.h"

namespace sphyra::capture {

std::vector<std::uint8_t> EncodeHeader(const CaptureHeader& header) {
    const std::size_t portLength = std::min<std::size_t>(header.port.size(), 0xFFFF);
    std::vector<std::uint8_t> out(kHeaderPortOffset + portLength + kCrcSize);
    std::copy(kMagic.begin(), kMagic.end(), out.begin() + kHeaderMagicOffset);
    StoreLe<std::uint16_t>(&out[kHeaderVersionOffset], kVersion);
    StoreLe<std::uint16_t>(&out[kHeaderLengthOffset], static_cast<std::uint16_t>(out.size()));
    StoreLe<std::int64_t>(&out[kHeaderStartTimeOffset], header.startTimeUs);
    StoreLe<std::uint32_t>(&out[kHeaderBaudOffset], header.baud);
    StoreLe<std::uint32_t>(&out[kHeaderTickOffset], header.tickAtStart);
    StoreLe<std::uint16_t>(&out[kHeaderPortLengthOffset], static_cast<std::uint16_t>(portLength));
    std::copy_n(header.port.begin(), portLength, out.begin() + kHeaderPortOffset);
    const std::size_t crcAt = out.size() - kCrcSize;
    StoreLe<std::uint32_t>(&out[crcAt], Crc32(out.data(), crcAt));
    return out;
}

void AppendChunk(std::vector<std::uint8_t>& out, ChunkType type, std::int64_t timeUs,
                 std::uint32_t tick, const std::uint8_t* payload, std::size_t n) {
    const std::size_t start = out.size();
    out.resize(start + kChunkHeadSize + n + kCrcSize);
    std::uint8_t* p = out.data() + start;
    p[kChunkTypeOffset] = static_cast<std::uint8_t>(type);
    p[kChunkReservedOffset] = 0;
    StoreLe<std::uint16_t>(p + kChunkLengthOffset, static_cast<std::uint16_t>(n));
    StoreLe<std::int64_t>(p + kChunkTimeOffset, timeUs);
    StoreLe<std::uint32_t>(p + kChunkTickOffset, tick);
    if (n > 0) std::copy_n(payload, n, p + kChunkHeadSize);
    StoreLe<std::uint32_t>(p + kChunkHeadSize + n, Crc32(p, kChunkHeadSize + n));
}

std::vector<std::uint8_t> MarkerPayload(std::uint32_t number, std::string_view text) {
    std::vector<std::uint8_t> out(4 + std::min(text.size(), kMaxPayload - 4));
    StoreLe<std::uint32_t>(out.data(), number);
    std::copy_n(text.begin(), out.size() - 4, out.begin() + 4);
    return out;
}

std::vector<std::uint8_t> PortEventPayload(PortEventCode code, std::string_view text) {
    std::vector<std::uint8_t> out(1 + std::min(text.size(), kMaxPayload - 1));
    out[0] = static_cast<std::uint8_t>(code);
    std::copy_n(text.begin(), out.size() - 1, out.begin() + 1);
    return out;
}

std::string CaptureFileName(std::int64_t startTimeUs, int attempt) {
    const auto seconds = static_cast<std::time_t>(startTimeUs / 1'000'000);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
    std::string name = std::string("sphyra_") + stamp;
    if (attempt > 1) name += "_" + std::to_string(attempt);
    return name + std::string(kFileExtension);
}

}  // namespace sphyra::capture
