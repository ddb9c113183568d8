#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sphyra::analysis {

// Watches the raw samples for what a sensor sends with no finger on it: a flat line, or an
// input stuck at a rail (0, 255 for byte data, 65535). It looks at the last second in four
// quarter-second chunks, so it notices within about a second and a quarter.
class SignalLevelMonitor {
public:
    // A second whose samples span no more than this many counts is flat.
    static constexpr std::uint16_t kFlatCounts = 2;
    // A second with more than this share of samples at a rail is saturated.
    static constexpr double kRailShare = 0.5;
    static constexpr std::size_t kChunks = 4;
    static constexpr double kChunkS = 0.25;

    void Design(double sampleRateHz);
    void Restart();
    void Add(std::uint16_t sample) {
        Chunk& c = m_current;
        if (sample < c.low) c.low = sample;
        if (sample > c.high) c.high = sample;
        if (sample == 0 || sample == 255 || sample == 0xFFFF) ++c.railed;
        if (++c.count == m_chunkLength) Close();
    }

    // True once a full second has been seen.
    bool Known() const { return m_closed == kChunks; }
    // True when the last full second was flat or railed.
    bool NoSignal() const;

private:
    struct Chunk {
        std::uint16_t low = 0xFFFF;
        std::uint16_t high = 0;
        std::size_t railed = 0;
        std::size_t count = 0;
    };
    void Close();

    std::array<Chunk, kChunks> m_chunks{};
    std::size_t m_closed = 0;  // chunks closed since the start, capped at kChunks
    std::size_t m_next = 0;
    Chunk m_current;
    std::size_t m_chunkLength = 1;
};

}  // namespace sphyra::analysis
