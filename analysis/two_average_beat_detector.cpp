#include "analysis/two_average_beat_detector.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace sphyra::analysis {
namespace {

std::size_t HalfWindow(double seconds, double sampleRateHz) {
    return static_cast<std::size_t>(std::lround(seconds * sampleRateHz / 2.0));
}

}  // namespace

void TwoAverageBeatDetector::Design(double sampleRateHz) {
    m_halfPeak = HalfWindow(kPeakWindowS, sampleRateHz);
    m_halfBeat = std::max(HalfWindow(kBeatWindowS, sampleRateHz), m_halfPeak + 1);
    // The long window plus the sample that leaves it.
    const std::size_t needed = std::bit_ceil(2 * m_halfBeat + 2);
    if (m_filtered.size() < needed) {
        m_filtered.resize(needed);
        m_squared.resize(needed);
    }
    m_mask = m_filtered.size() - 1;
    m_meanWeight = 1.0 / (kMeanTimeConstantS * sampleRateHz);
    m_meanKeep = 1.0 - m_meanWeight;
    const auto longWindow = static_cast<double>(2 * m_halfBeat + 1);
    m_peakScale = longWindow / static_cast<double>(2 * m_halfPeak + 1);
    m_offsetScale = kOffsetFactor * longWindow;
    Restart();
}

void TwoAverageBeatDetector::Restart() {
    std::fill(m_filtered.begin(), m_filtered.end(), 0.0);
    std::fill(m_squared.begin(), m_squared.end(), 0.0);
    m_count = 0;
    m_peakSum = 0;
    m_beatSum = 0;
    m_squaredMean = 0;
    m_inBlock = false;
}

TwoAverageBeatDetector::Taken TwoAverageBeatDetector::Process(const double* filtered,
                                                              std::size_t n) {
    // The hot state lives in locals for the whole call: the rings are the only memory written.
    double* const filteredRing = m_filtered.data();
    double* const squaredRing = m_squared.data();
    const std::size_t mask = m_mask;
    const std::size_t halfPeak = m_halfPeak;
    const std::size_t halfBeat = m_halfBeat;
    const std::size_t longWindow = 2 * halfBeat + 1;
    const std::size_t shortWindow = 2 * halfPeak + 1;
    const double meanWeight = m_meanWeight;
    const double meanKeep = m_meanKeep;
    const double peakScale = m_peakScale;
    const double offsetScale = m_offsetScale;
    std::uint64_t t = m_count;
    double peakSum = m_peakSum;
    double beatSum = m_beatSum;
    double squaredMean = m_squaredMean;
    bool inBlock = m_inBlock;
    bool beat = false;

    std::size_t i = 0;
    while (i < n) {
        const double value = filtered[i++];
        const double clipped = std::max(value, 0.0);
        const double squared = clipped * clipped;
        filteredRing[t & mask] = value;
        squaredRing[t & mask] = squared;

        // The ring starts zeroed, so the sums need no special start: the windows fill with
        // zeros.
        beatSum += squared - squaredRing[(t - longWindow) & mask];
        // The short window is centred where the long one is: on sample t - halfBeat.
        const std::uint64_t centre = t - halfBeat;
        peakSum +=
            squaredRing[(centre + halfPeak) & mask] - squaredRing[(centre - halfPeak - 1) & mask];
        // Keep and weight rather than step towards the sample: one multiply fewer to wait for.
        squaredMean = squaredMean * meanKeep + squared * meanWeight;
        if (t++ < longWindow) continue;

        // Short average above long average plus offset, both sides times the long window:
        // no division per sample.
        const bool above = peakSum * peakScale > beatSum + offsetScale * squaredMean;
        const double centreValue = filteredRing[centre & mask];
        if (above) {
            if (!inBlock || centreValue > m_blockMax) {
                if (!inBlock) m_blockStart = centre;
                inBlock = true;
                m_blockMax = centreValue;
                m_blockMaxIndex = centre;
                // The sample after the centre has been taken already: the long window reaches
                // on.
                const double before = filteredRing[(centre - 1) & mask];
                const double after = filteredRing[(centre + 1) & mask];
                const double curvature = before - 2.0 * centreValue + after;
                m_blockMaxFraction =
                    curvature < 0 ? std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5) : 0.0;
            }
            continue;
        }
        if (!inBlock) continue;
        inBlock = false;
        if (centre - m_blockStart < shortWindow) continue;
        m_beatIndex = m_blockMaxIndex;
        m_beatFraction = m_blockMaxFraction;
        m_beatHeight = m_blockMax;
        beat = true;
        break;
    }

    m_count = t;
    m_peakSum = peakSum;
    m_beatSum = beatSum;
    m_squaredMean = squaredMean;
    m_inBlock = inBlock;
    return {i, beat};
}

}  // namespace sphyra::analysis
