#pragma once

#include <cstdint>
#include <vector>

#include "tools/sim/pulse_waveform.h"
#include "tools/sim/sim_config.h"
#include "tools/sim/sim_random.h"

namespace sphyra {

// One true beat of a simulated sensor: where its systolic peak lies.
struct SimBeat {
    double timeS = 0.0;             // on the sensor's sample clock: sample i is at i / sample rate
    std::uint64_t sampleIndex = 0;  // the sample nearest the peak
    bool premature = false;
    bool obscured = false;  // inside an episode, where the samples may not show it
};

// The heart behind one simulated sensor: beat lengths with beat-to-beat
// variability, a slow swing of the rate and premature beats, and the pulse level
// they make. A steady heart gives exactly PulseWaveform's values.
class BeatTrain {
public:
    // `startPhase` is where the beat in progress stands at time 0.
    BeatTrain(const SimSensorConfig& sensor, double startPhase, std::uint64_t seed);

    // Pulse level, 0 to 1, at `seconds`, which must not go back from call to call.
    // Appends to `peaks` (when given) every peak passed since the previous call,
    // with only timeS and premature filled in.
    double LevelAt(double seconds, std::vector<SimBeat>* peaks);

private:
    // Moves on to the beat after the current one.
    void NextBeat();
    double BaseLength(double seconds) const;

    PulseWaveform m_waveform;
    double m_variability;
    double m_driftBpm;
    double m_driftPeriodS;
    double m_prematureRate;
    bool m_steady;
    SimRandom m_random;

    std::uint64_t m_beat = 0;  // the current beat, counted from the one in progress at time 0
    double m_start = 0.0;      // when the current beat began
    double m_length = 1.0;
    double m_amplitude = 1.0;
    double m_previousAmplitude = 1.0;
    bool m_premature = false;
    bool m_nextPremature = false;
    bool m_peakPassed = false;  // whether the current beat's peak has been reported
};

}  // namespace sphyra
