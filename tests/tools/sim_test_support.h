#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "acquisition/receive_ring.h"
#include "tests/acquisition/recording_sink.h"
#include "tools/sim/sensor_simulator.h"

namespace sphyra::test {

// Feeds `bytes` through a receive ring the way the serial layer does, in batches
// of uneven size with a parse after each, and returns every frame delivered.
inline std::vector<ReceivedFrame> ParseStream(std::span<const std::uint8_t> bytes,
                                              ReceiveRing& ring) {
    RecordingSink sink;
    std::size_t step = 1;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t n = std::min(step, bytes.size() - at);
        ring.AppendReceived(bytes.data() + at, n);
        ring.ParseReceiveRing(sink);
        at += n;
        step = step * 7 % 311 + 1;  // 1..311 bytes, well inside the ring
    }
    return sink.Frames();
}

inline std::vector<ReceivedFrame> ParseStream(std::span<const std::uint8_t> bytes) {
    ReceiveRing ring;
    return ParseStream(bytes, ring);
}

// A copy of every event a simulator reports.
struct RecordedEvent {
    SimEventKind kind = SimEventKind::kFrame;
    std::uint64_t timeUs = 0;
    ReceivedFrame frame;
    std::vector<std::uint8_t> bytes;
};

inline void Record(SensorSimulator& simulator, std::vector<RecordedEvent>& events) {
    simulator.SetObserver([&events](const SimEvent& e) {
        events.push_back({e.kind,
                          e.timeUs,
                          {e.address, e.gain, e.battery, {e.samples.begin(), e.samples.end()}},
                          {e.bytes.begin(), e.bytes.end()}});
    });
}

inline std::vector<ReceivedFrame> GoodFrames(const std::vector<RecordedEvent>& events) {
    std::vector<ReceivedFrame> frames;
    for (const RecordedEvent& e : events) {
        if (e.kind == SimEventKind::kFrame) frames.push_back(e.frame);
    }
    return frames;
}

// Runs `simulator` up to `untilMs` in steps of `stepMs`, like a timer-driven caller.
inline std::vector<std::uint8_t> RunInSteps(SensorSimulator& simulator, std::uint64_t untilMs,
                                            std::uint64_t stepMs) {
    std::vector<std::uint8_t> stream;
    for (std::uint64_t t = stepMs; t < untilMs + stepMs; t += stepMs) {
        simulator.ProduceInto(std::min(t, untilMs), stream);
    }
    return stream;
}

}  // namespace sphyra::test
