#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sphyra {

// What the pulse analysis found at one step of the first pass: a beat, or a
// change of state or rate.
struct PulseEvent {
    std::uint64_t step = 0;  // the frame or chunk end, counted the same way in both passes
    std::uint32_t track = 0;
    std::uint8_t beat = 0;   // 1: a beat at `sampleIndex`; 0: only the status changed
    std::uint8_t state = 0;  // analysis::PulseState
    double rateBpm = -1;     // < 0: no rate
    std::uint64_t sampleIndex = 0;
};

// The first pass's pulse analysis, kept in a temporary file for the second pass,
// so the analyzer runs once per export and memory does not grow with the capture.
class PulseLog {
public:
    PulseLog() = default;
    ~PulseLog();
    PulseLog(const PulseLog&) = delete;
    PulseLog& operator=(const PulseLog&) = delete;

    bool Open(std::string& error);
    void Write(const PulseEvent& event);
    // Switches from writing to reading from the start.
    bool StartReading();
    // The next event if it belongs to `step`.
    bool Next(std::uint64_t step, PulseEvent& event);

private:
    std::FILE* m_file = nullptr;
    bool m_havePeek = false;
    PulseEvent m_peek;
};

}  // namespace sphyra
