#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "recording/capture_reader.h"

namespace sphyra {

// Plays a capture's received bytes back with their recorded timing: each read
// falls due at its receive time, counted from the first read and divided by the
// speed. Streams the file, holding one read ahead.
class CapturePlayer {
public:
    // False, with the reason in `error`, when the capture cannot be read or the
    // speed is not a positive number.
    bool Open(const std::filesystem::path& path, double speed, std::string& error);

    // Appends the bytes of every read due by `elapsedUs` of playing time to `out`;
    // returns how many were appended.
    std::size_t ProduceInto(std::uint64_t elapsedUs, std::vector<std::uint8_t>& out);
    // Playing time at which the next read falls due; nothing once all are played.
    std::optional<std::uint64_t> NextDueUs() const;
    bool Done() const { return !m_haveNext; }

    const CaptureReader& Reader() const { return m_reader; }
    std::uint64_t ReadsPlayed() const { return m_reads; }
    std::uint64_t BytesPlayed() const { return m_bytes; }
    // Recorded time from the first read to the last one played.
    std::uint64_t RecordedUs() const { return m_lastUs - m_firstUs; }

private:
    void Advance();

    CaptureReader m_reader;
    double m_speed = 1.0;
    bool m_haveNext = false;
    bool m_started = false;
    std::uint64_t m_firstUs = 0;
    std::uint64_t m_lastUs = 0;
    std::uint64_t m_nextUs = 0;
    std::vector<std::uint8_t> m_next;
    std::uint64_t m_reads = 0;
    std::uint64_t m_bytes = 0;
};

}  // namespace sphyra
