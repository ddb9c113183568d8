#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sphyra::analysis {

// Elgendi's two-moving-average systolic peak detector (PLoS ONE 8:e76585, 2013), made causal.
// The band-passed pulse is clipped at zero and squared; a short average over a systolic peak's
// width (111 ms) rising above a long average over a beat (667 ms) plus a small offset marks a
// block of interest, and a block at least as wide as the short window holds one beat: its
// highest sample. Both averages are centred on the same sample, which the causal version
// reaches half a long window late, so beats come out about a third of a second after they
// happen.
class TwoAverageBeatDetector {
public:
    static constexpr double kPeakWindowS = 0.111;
    static constexpr double kBeatWindowS = 0.667;
    static constexpr double kOffsetFactor = 0.02;
    // The offset scales with the mean of the squared signal over roughly this time.
    static constexpr double kMeanTimeConstantS = 8.0;

    // Sizes the windows for `sampleRateHz` and starts afresh. Allocates only when the rate
    // needs longer windows than before.
    void Design(double sampleRateHz);
    void Restart();

    struct Taken {
        std::size_t count = 0;  // samples taken
        bool beat = false;      // the last of them closed a block holding a beat
    };
    // Takes band-passed samples, oldest first, up to and including one that closes a block
    // holding a beat (whose position BeatIndex() then gives, in samples since Design or
    // Restart), or all `n` of them.
    Taken Process(const double* filtered, std::size_t n);
    std::uint64_t BeatIndex() const { return m_beatIndex; }
    // Where between its neighbours the latest beat's peak lies, -0.5 to 0.5 samples, from a
    // parabola through the three: at low sample rates whole samples would make the rate jump.
    double BeatFraction() const { return m_beatFraction; }
    // The band-passed height of the latest beat.
    double BeatHeight() const { return m_beatHeight; }
    // Samples between a sample and the decision about it.
    std::size_t DecisionDelay() const { return m_halfBeat; }

private:
    // Takes at most the room left in the buffers.
    Taken Run(const double* filtered, std::size_t n);

    // The band-passed samples, oldest first, in a buffer that slides: the windows reach back
    // from the next sample by fixed offsets, with no wrap to compute, and when the room runs
    // out the history is moved to the front, seldom. The clipped squares the windows sum are
    // worked out again from it as they enter and leave: a multiply each, for half the memory
    // (a long window is 2,668 samples at 4 kHz, per sensor).
    std::vector<double> m_filtered;
    std::size_t m_history = 0;   // samples the windows reach back: the long window
    std::size_t m_position = 0;  // where the next sample goes
    std::size_t m_halfPeak = 0;  // the short window is 2 * m_halfPeak + 1 samples
    std::size_t m_halfBeat = 0;  // the long window is 2 * m_halfBeat + 1 samples
    double m_meanWeight = 0;
    double m_meanKeep = 1;     // 1 - m_meanWeight
    double m_peakScale = 1;    // long window over short window: the averages compared as sums
    double m_offsetScale = 0;  // the offset on the scale of the long window's sum

    std::uint64_t m_count = 0;  // samples taken since the start
    double m_peakSum = 0;
    double m_beatSum = 0;
    double m_squaredMean = 0;

    bool m_inBlock = false;
    std::uint64_t m_blockStart = 0;
    std::uint64_t m_blockMaxIndex = 0;
    double m_blockMax = 0;
    double m_blockMaxFraction = 0;
    std::uint64_t m_beatIndex = 0;
    double m_beatFraction = 0;
    double m_beatHeight = 0;
};

}  // namespace sphyra::analysis
