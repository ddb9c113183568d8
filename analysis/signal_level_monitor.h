#pragma once

#include <algorithm>
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
    // Takes `n` raw samples (bytes or 16-bit counts), oldest first.
    template <typename Sample>
    void Add(const Sample* samples, std::size_t n) {
        while (n > 0) {
            // A chunk's stretch at a time, in a loop with no branch to mispredict.
            const std::size_t take = std::min(n, m_chunkLength - m_current.count);
            std::uint16_t low = m_current.low;
            std::uint16_t high = m_current.high;
            std::size_t railed = 0;
            for (std::size_t i = 0; i < take; ++i) {
                const std::uint16_t s = samples[i];
                low = std::min(low, s);
                high = std::max(high, s);
                railed += static_cast<std::size_t>((s == 0) | (s == 255) | (s == 0xFFFF));
            }
            m_current.low = low;
            m_current.high = high;
            m_current.railed += railed;
            m_current.count += take;
            samples += take;
            n -= take;
            if (m_current.count == m_chunkLength) Close();
        }
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
