#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace sphyra {

// Where laid-out samples and annotations go: the EDF+ and CSV writers.
// Positions count samples from the capture's start on a track's own rate.
class TrackSink {
public:
    virtual ~TrackSink() = default;
    virtual void Samples(std::size_t track, std::uint64_t position,
                         std::span<const std::uint8_t> samples) = 0;
    // `count` positions without data (before a sensor appears, in a gap, at the end).
    virtual void Fill(std::size_t track, std::uint64_t position, std::uint64_t count) = 0;
    // `durationUs` < 0: an instant.
    virtual void Annotation(std::uint64_t onsetUs, std::int64_t durationUs,
                            const std::string& text) = 0;
};

}  // namespace sphyra
