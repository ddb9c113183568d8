#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "export/capture_feed.h"

namespace sphyra {

// What the first pass over a capture learns about one sensor.
struct SensorSurveyEntry {
    std::uint8_t address = 0;
    std::uint64_t frames = 0;
    std::uint64_t samples = 0;
    std::uint64_t firstUs = 0;
    std::uint64_t lastUs = 0;
    std::uint64_t changes = 0;  // gain or battery changes
    std::uint64_t breaks = 0;   // pauses long enough to be a gap
    int maxFrameSamples = 0;
    // Samples and time over steady stretches only, so pauses do not lower the rate.
    std::uint64_t steadySamples = 0;
    std::uint64_t steadyUs = 0;
    // The same, leaving out the first second of each stretch: a port opened on a link that was
    // already sending delivers what its buffers held all at once, which would read as a rate
    // far above the sensor's.
    std::uint64_t settledSamples = 0;
    std::uint64_t settledUs = 0;
    std::uint64_t stretchStartUs = 0;

    // Samples per second as measured; 0 when the sensor sent no samples.
    double MeasuredRate() const;
};

// The first pass: which sensors were heard, in order of first appearance, and at
// what rate; also how many annotations the second pass will write at most.
class SensorSurvey final : public FeedListener {
public:
    // `beats`: the second pass annotates beats, which the bound must allow for.
    explicit SensorSurvey(bool beats) : m_beats(beats) {}

    // Pauses longer than this between frames do not count towards the rate.
    static constexpr std::uint64_t kSteadyLimitUs = 2'000'000;
    // Pauses longer than this may become gap annotations.
    static constexpr std::uint64_t kMinGapUs = 500'000;
    // How long the start of a stretch is left out of the settled rate, and how much settled
    // time is enough to prefer it.
    static constexpr std::uint64_t kSettleUs = 1'000'000;

    void OnFrame(const FeedFrame& frame) override;
    void OnMarker(std::uint64_t, std::uint32_t, const std::string&) override { ++m_events; }
    void OnPortEvent(std::uint64_t, std::uint8_t, const std::string&) override { ++m_events; }
    void OnTime(std::uint64_t timeUs, std::uint32_t) override { m_endUs = timeUs; }

    const std::vector<SensorSurveyEntry>& Sensors() const { return m_sensors; }
    std::uint64_t EndUs() const { return m_endUs; }
    // An upper bound on the annotations, beats counted at the highest rate the
    // pulse analysis accepts for as long as each sensor was heard.
    std::uint64_t AnnotationBound() const;

private:
    std::vector<SensorSurveyEntry> m_sensors;
    std::map<std::uint8_t, std::size_t> m_index;
    std::map<std::uint8_t, std::pair<int, int>> m_last;  // gain, battery
    bool m_beats;
    std::uint64_t m_events = 0;
    std::uint64_t m_endUs = 0;
};

}  // namespace sphyra
