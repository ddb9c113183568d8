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

bool TwoAverageBeatDetector::Process(double filtered) {
    const double clipped = std::max(filtered, 0.0);
    const double squared = clipped * clipped;
    const std::uint64_t t = m_count++;
    m_filtered[t & m_mask] = filtered;
    m_squared[t & m_mask] = squared;

    // The ring starts zeroed, so the sums need no special start: the windows fill with zeros.
    const std::size_t longWindow = 2 * m_halfBeat + 1;
    m_beatSum += squared - m_squared[(t - longWindow) & m_mask];
    // The short window is centred where the long one is: on sample t - m_halfBeat.
    const std::uint64_t centre = t - m_halfBeat;
    m_peakSum +=
        m_squared[(centre + m_halfPeak) & m_mask] - m_squared[(centre - m_halfPeak - 1) & m_mask];
    m_squaredMean += (squared - m_squaredMean) * m_meanWeight;
    if (t < longWindow) return false;

    const double shortWindow = static_cast<double>(2 * m_halfPeak + 1);
    const double threshold =
        m_beatSum / static_cast<double>(longWindow) + kOffsetFactor * m_squaredMean;
    const bool above = m_peakSum / shortWindow > threshold;
    const double value = m_filtered[centre & m_mask];
    if (above) {
        if (!m_inBlock || value > m_blockMax) {
            if (!m_inBlock) m_blockStart = centre;
            m_inBlock = true;
            m_blockMax = value;
            m_blockMaxIndex = centre;
            // The sample after the centre has been taken already: the long window reaches on.
            const double before = m_filtered[(centre - 1) & m_mask];
            const double after = m_filtered[(centre + 1) & m_mask];
            const double curvature = before - 2.0 * value + after;
            m_blockMaxFraction =
                curvature < 0 ? std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5) : 0.0;
        }
        return false;
    }
    if (!m_inBlock) return false;
    m_inBlock = false;
    if (centre - m_blockStart < 2 * m_halfPeak + 1) return false;
    m_beatIndex = m_blockMaxIndex;
    m_beatFraction = m_blockMaxFraction;
    m_beatHeight = m_blockMax;
    return true;
}

}  // namespace sphyra::analysis
