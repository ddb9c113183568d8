#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tools/sim/sim_config.h"
#include "tools/sim/sim_random.h"

namespace sphyra {

enum class CorruptionKind { kNone, kGarbage, kBadChecksum, kOverLong };

// Decides, frame by frame, whether and how the link damages the stream, and
// writes the damaged bytes. Nothing it writes can make a receiver lose a good
// frame that comes before or after it.
class CorruptionInjector {
public:
    CorruptionInjector(const CorruptionConfig& config, std::uint64_t seed);

    // What happens to the next frame; kNone most of the time.
    CorruptionKind Decide();

    // A burst of noise bytes, none of them the first sync byte, so a receiver
    // skips it byte by byte and meets the next frame's sync pair intact.
    std::size_t AppendGarbage(std::vector<std::uint8_t>& out);

    // The frame with its checksum byte changed: a receiver drops exactly its bytes.
    std::size_t AppendBadChecksumFrame(std::vector<std::uint8_t>& out, std::uint8_t address,
                                       std::uint8_t gain, std::uint8_t battery,
                                       std::span<const std::uint8_t> samples);

    // A frame whose length byte claims 81-255 samples and that really carries that
    // many bytes, so a receiver never waits on later frames to reject it. After its
    // sync pair no byte is the first sync byte: once a receiver drops the pair it
    // skips the rest byte by byte.
    std::size_t AppendOverLongFrame(std::vector<std::uint8_t>& out, std::uint8_t address,
                                    std::uint8_t gain, std::uint8_t battery,
                                    std::span<const std::uint8_t> samples);

private:
    std::uint8_t NonSyncByte();

    CorruptionConfig m_config;
    SimRandom m_random;
    std::vector<CorruptionKind> m_kinds;
};

}  // namespace sphyra
