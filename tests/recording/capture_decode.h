#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "recording/capture_format.h"
#include "recording/crc32.h"

namespace sphyra::test {

// A capture decoded straight from the layout in docs/capture_format.md, kept
// apart from the program's reader so the writer is checked against the document.
struct DecodedCapture {
    bool headerOk = false;
    capture::CaptureHeader header;
    std::vector<capture::CaptureChunk> chunks;
    std::size_t validBytes = 0;  // through the last good chunk
    std::size_t fileSize = 0;
};

inline DecodedCapture DecodeCapture(const std::filesystem::path& path) {
    using namespace capture;
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> b{std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>()};
    DecodedCapture out;
    out.fileSize = b.size();
    if (b.size() < kMinHeaderSize) return out;
    const std::size_t h = LoadLe<std::uint16_t>(&b[kHeaderLengthOffset]);
    if (h < kMinHeaderSize || h > b.size() ||
        LoadLe<std::uint32_t>(&b[h - 4]) != Crc32(b.data(), h - 4) ||
        std::string(b.begin(), b.begin() + 8) != std::string(kMagic.begin(), kMagic.end()))
        return out;
    out.headerOk = true;
    out.header.startTimeUs = LoadLe<std::int64_t>(&b[kHeaderStartTimeOffset]);
    out.header.baud = LoadLe<std::uint32_t>(&b[kHeaderBaudOffset]);
    out.header.tickAtStart = LoadLe<std::uint32_t>(&b[kHeaderTickOffset]);
    const std::size_t p = LoadLe<std::uint16_t>(&b[kHeaderPortLengthOffset]);
    out.header.port.assign(b.begin() + kHeaderPortOffset, b.begin() + kHeaderPortOffset + p);
    std::size_t pos = h;
    while (pos + kChunkHeadSize + kCrcSize <= b.size()) {
        const std::size_t n = LoadLe<std::uint16_t>(&b[pos + kChunkLengthOffset]);
        if (pos + kChunkHeadSize + n + kCrcSize > b.size()) break;
        if (LoadLe<std::uint32_t>(&b[pos + kChunkHeadSize + n]) !=
            Crc32(&b[pos], kChunkHeadSize + n))
            break;
        CaptureChunk c;
        c.type = static_cast<ChunkType>(b[pos + kChunkTypeOffset]);
        c.timeUs = LoadLe<std::int64_t>(&b[pos + kChunkTimeOffset]);
        c.tick = LoadLe<std::uint32_t>(&b[pos + kChunkTickOffset]);
        c.payload.assign(b.begin() + static_cast<std::ptrdiff_t>(pos + kChunkHeadSize),
                         b.begin() + static_cast<std::ptrdiff_t>(pos + kChunkHeadSize + n));
        out.chunks.push_back(std::move(c));
        pos += kChunkHeadSize + n + kCrcSize;
    }
    out.validBytes = pos;
    return out;
}

}  // namespace sphyra::test
