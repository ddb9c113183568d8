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
            const std::size_t take = std::min(n, m_chunkLength - m_count);
            AddToChunk(samples, take);
            samples += take;
            n -= take;
            if (m_count == m_chunkLength) Close();
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
    // A chunk spread over lanes of a fixed width: any sample may go to any lane, so whole
    // groups go in with no branch, which the compiler turns into vector code, and the lanes
    // are gathered only when the status is asked for, once a batch, not at every chunk.
    static constexpr std::size_t kLanes = 8;
    struct Lanes {
        std::array<std::uint16_t, kLanes> low;
        std::array<std::uint16_t, kLanes> high;
        // A lane counts at most a second's samples over kLanes: far below 65536.
        std::array<std::uint16_t, kLanes> railed;
    };
    static constexpr Lanes kEmpty{
        {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, {}, {}};

    void Close();
    template <typename Sample>
    void AddToChunk(const Sample* samples, std::size_t n) {
        // A local copy: a sample pointer may alias the members, which would force a store each
        // time round.
        Lanes lanes = m_lanes;
        std::size_t i = 0;
        for (; i + kLanes <= n; i += kLanes) {
            for (std::size_t j = 0; j < kLanes; ++j) Put(lanes, j, samples[i + j]);
        }
        // The rest one by one, into a chunk of its own kept apart from the lanes: written
        // into a lane, it would stall the next vector load of that lane.
        Chunk rest = m_rest;
        for (; i < n; ++i) {
            const std::uint16_t s = samples[i];
            rest.low = std::min(rest.low, s);
            rest.high = std::max(rest.high, s);
            rest.railed += IsRail(s);
        }
        m_rest = rest;
        m_lanes = lanes;
        m_count += n;
    }
    static void Put(Lanes& lanes, std::size_t j, std::uint16_t s) {
        lanes.low[j] = std::min(lanes.low[j], s);
        lanes.high[j] = std::max(lanes.high[j], s);
        lanes.railed[j] = static_cast<std::uint16_t>(lanes.railed[j] + IsRail(s));
    }
    static std::uint16_t IsRail(std::uint16_t s) {
        return static_cast<std::uint16_t>((s == 0) | (s == 255) | (s == 0xFFFF));
    }

    struct Closed {
        Lanes lanes = kEmpty;
        Chunk rest;  // and the count
    };

    std::array<Closed, kChunks> m_chunks{};
    std::size_t m_closed = 0;  // chunks closed since the start, capped at kChunks
    std::size_t m_next = 0;
    Lanes m_lanes = kEmpty;
    Chunk m_rest;
    std::size_t m_count = 0;  // samples in the chunk being filled
    std::size_t m_chunkLength = 1;
};

}  // namespace sphyra::analysis
