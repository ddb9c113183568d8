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
            const std::size_t take = std::min(n, m_chunkLength - m_current.count);
            AddToChunk(samples, take);
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
    // Within one chunk: lanes of a fixed width with no branch, which the compiler turns into
    // vector code, then the rest one by one.
    template <typename Sample>
    void AddToChunk(const Sample* samples, std::size_t n) {
        constexpr std::size_t kLanes = 8;
        std::array<std::uint16_t, kLanes> low;
        std::array<std::uint16_t, kLanes> high;
        // A lane counts at most a chunk's samples over kLanes: far below 65536.
        std::array<std::uint16_t, kLanes> railed{};
        low.fill(m_current.low);
        high.fill(m_current.high);
        std::size_t i = 0;
        for (; i + kLanes <= n; i += kLanes) {
            for (std::size_t j = 0; j < kLanes; ++j) {
                const std::uint16_t s = samples[i + j];
                low[j] = std::min(low[j], s);
                high[j] = std::max(high[j], s);
                railed[j] = static_cast<std::uint16_t>(railed[j] + IsRail(s));
            }
        }
        // Locals, not the members: a sample pointer may alias them, which would force a store
        // each time round.
        std::uint16_t lowest = m_current.low;
        std::uint16_t highest = m_current.high;
        std::size_t rails = 0;
        for (std::size_t j = 0; j < kLanes; ++j) {
            lowest = std::min(lowest, low[j]);
            highest = std::max(highest, high[j]);
            rails += railed[j];
        }
        for (; i < n; ++i) {
            const std::uint16_t s = samples[i];
            lowest = std::min(lowest, s);
            highest = std::max(highest, s);
            rails += IsRail(s);
        }
        m_current.low = lowest;
        m_current.high = highest;
        m_current.railed += rails;
        m_current.count += n;
    }
    static std::uint16_t IsRail(std::uint16_t s) {
        return static_cast<std::uint16_t>((s == 0) | (s == 255) | (s == 0xFFFF));
    }

    std::array<Chunk, kChunks> m_chunks{};
    std::size_t m_closed = 0;  // chunks closed since the start, capped at kChunks
    std::size_t m_next = 0;
    Chunk m_current;
    std::size_t m_chunkLength = 1;
};

}  // namespace sphyra::analysis
