#include "analysis/two_average_beat_detector.h"

#include <algorithm>
#include <cmath>

namespace sphyra::analysis {
namespace {

// The least room the buffer keeps for new samples.
constexpr std::size_t kMinRoom = 512;

// Clipped at zero and squared, written so that it compiles to a mask rather than a branch on
// the sign (a negative value gives -0, which sums as 0). The same value always gives the same
// square, so a square worked out again as it leaves a window is the one that entered it.
inline double ClippedSquare(double value) {
    return value * std::max(value, 0.0);
}

std::size_t HalfWindow(double seconds, double sampleRateHz) {
    return static_cast<std::size_t>(std::lround(seconds * sampleRateHz / 2.0));
}

}  // namespace

void TwoAverageBeatDetector::Design(double sampleRateHz) {
    m_halfPeak = HalfWindow(kPeakWindowS, sampleRateHz);
    m_halfBeat = std::max(HalfWindow(kBeatWindowS, sampleRateHz), m_halfPeak + 1);
    m_history = 2 * m_halfBeat + 1;
    // Room for new samples of a quarter of the history, so that sliding it costs a copy of four
    // samples per new one: a few per cent of the work on each, for a third less memory.
    const std::size_t needed = m_history + std::max(m_history / 4, kMinRoom);
    if (m_filtered.size() < needed) {
        // A rate estimate a little higher than before must not move the buffer each time, and
        // the old one goes first (Restart throws its contents away): each move would leave a
        // hole that the next, larger buffer cannot use.
        const std::size_t room = needed + needed / 8;
        std::vector<double>().swap(m_filtered);
        m_filtered.resize(room);
    }
    m_meanWeight = 1.0 / (kMeanTimeConstantS * sampleRateHz);
    m_meanKeep = 1.0 - m_meanWeight;
    const auto longWindow = static_cast<double>(2 * m_halfBeat + 1);
    m_peakScale = longWindow / static_cast<double>(2 * m_halfPeak + 1);
    m_offsetScale = kOffsetFactor * longWindow;
    Restart();
}

void TwoAverageBeatDetector::Restart() {
    // The windows start on zeros, so the sums need no special start.
    std::fill_n(m_filtered.begin(), m_history, 0.0);
    m_position = m_history;
    m_count = 0;
    m_peakSum = 0;
    m_beatSum = 0;
    m_squaredMean = 0;
    m_inBlock = false;
}

TwoAverageBeatDetector::Taken TwoAverageBeatDetector::Process(const double* filtered,
                                                              std::size_t n) {
    std::size_t taken = 0;
    while (taken < n) {
        if (m_position == m_filtered.size()) {
            const auto from = static_cast<std::ptrdiff_t>(m_position - m_history);
            std::copy(m_filtered.begin() + from, m_filtered.end(), m_filtered.begin());
            m_position = m_history;
        }
        const Taken run =
            Run(filtered + taken, std::min(n - taken, m_filtered.size() - m_position));
        taken += run.count;
        if (run.beat) return {taken, true};
    }
    return {taken, false};
}

TwoAverageBeatDetector::Taken TwoAverageBeatDetector::Run(const double* filtered, std::size_t n) {
    // Sample k of this call goes to slot k; every window is a fixed offset from there. The
    // hot state lives in locals for the whole call.
    double* const values = m_filtered.data() + m_position;
    const std::size_t halfPeak = m_halfPeak;
    const std::size_t halfBeat = m_halfBeat;
    const std::size_t longWindow = m_history;
    const std::size_t shortWindow = 2 * halfPeak + 1;
    // The short window is centred where the long one is: on sample k - halfBeat.
    const double* const leaving = values - longWindow;
    const double* const peakEntering = values - halfBeat + halfPeak;
    const double* const peakLeaving = values - halfBeat - halfPeak - 1;
    const double* const centres = values - halfBeat;
    const double meanWeight = m_meanWeight;
    const double meanKeep = m_meanKeep;
    const double peakScale = m_peakScale;
    const double offsetScale = m_offsetScale;
    const std::uint64_t first = m_count;
    // Samples before this one have no full long window behind their centre yet.
    const std::size_t warm = first < longWindow ? static_cast<std::size_t>(longWindow - first) : 0;
    double peakSum = m_peakSum;
    double beatSum = m_beatSum;
    double squaredMean = m_squaredMean;
    bool inBlock = m_inBlock;
    bool beat = false;

    const auto take = [&](std::size_t k) {
        const double value = filtered[k];
        const double squared = ClippedSquare(value);
        values[k] = value;
        beatSum += squared - ClippedSquare(leaving[k]);
        peakSum += ClippedSquare(peakEntering[k]) - ClippedSquare(peakLeaving[k]);
        // Keep and weight rather than step towards the sample: one multiply fewer to wait for.
        squaredMean = squaredMean * meanKeep + squared * meanWeight;
    };
    std::size_t k = 0;
    // Until the long window is full behind the centre, the samples only fill the windows.
    for (const std::size_t end = std::min(n, warm); k < end; ++k) take(k);
    while (k < n) {
        take(k++);

        // Short average above long average plus offset, both sides times the long window:
        // no division per sample.
        const bool above = peakSum * peakScale > beatSum + offsetScale * squaredMean;
        if (above) {
            const double centreValue = centres[k - 1];
            if (!inBlock || centreValue > m_blockMax) {
                const std::uint64_t centre = first + k - 1 - halfBeat;
                if (!inBlock) m_blockStart = centre;
                inBlock = true;
                m_blockMax = centreValue;
                m_blockMaxIndex = centre;
                // The sample after the centre has been taken already: the long window reaches
                // on.
                // At the first sample of a call this reaches back before `centres`, into the
                // history kept ahead of the slots, so the index must be signed.
                const double before = centres[static_cast<std::ptrdiff_t>(k) - 2];
                const double after = centres[k];
                const double curvature = before - 2.0 * centreValue + after;
                m_blockMaxFraction =
                    curvature < 0 ? std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5) : 0.0;
            }
            continue;
        }
        if (!inBlock) continue;
        inBlock = false;
        if (first + k - 1 - halfBeat - m_blockStart < shortWindow) continue;
        m_beatIndex = m_blockMaxIndex;
        m_beatFraction = m_blockMaxFraction;
        m_beatHeight = m_blockMax;
        beat = true;
        break;
    }

    m_count = first + k;
    m_position += k;
    m_peakSum = peakSum;
    m_beatSum = beatSum;
    m_squaredMean = squaredMean;
    m_inBlock = inBlock;
    return {k, beat};
}

}  // namespace sphyra::analysis
