#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "acquisition/frame_sink.h"
#include "tests/acquisition/frame_bytes.h"

namespace sphyra::test {

// A delivered frame with its samples copied out, so it outlives the delivery call.
struct ReceivedFrame {
    std::uint8_t address = 0;
    std::uint8_t gain = 0;
    std::uint8_t battery = 0;
    Bytes samples;

    bool operator==(const ReceivedFrame&) const = default;
};

inline void PrintTo(const ReceivedFrame& frame, std::ostream* os) {
    *os << "{address " << int{frame.address} << ", gain " << int{frame.gain} << ", battery "
        << int{frame.battery} << ", samples [";
    for (std::size_t i = 0; i < frame.samples.size(); ++i)
        *os << (i == 0 ? "" : " ") << int{frame.samples[i]};
    *os << "]}";
}

inline ReceivedFrame CopyFrame(const SensorFrame& frame) {
    return {frame.address, frame.gain, frame.battery,
            Bytes(frame.samples, frame.samples + frame.sampleCount)};
}

class RecordingSink final : public FrameSink {
public:
    void OnFrame(const SensorFrame& frame) override { m_frames.push_back(CopyFrame(frame)); }

    const std::vector<ReceivedFrame>& Frames() const { return m_frames; }

private:
    std::vector<ReceivedFrame> m_frames;
};

}  // namespace sphyra::test
