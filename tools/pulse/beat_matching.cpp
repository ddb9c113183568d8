#include "tools/pulse/beat_matching.h"

#include <algorithm>
#include <cmath>

namespace sphyra {
namespace {

bool Excluded(double t, std::span<const TimeSpan> excluded) {
    return std::any_of(excluded.begin(), excluded.end(),
                       [t](const TimeSpan& s) { return t >= s.fromS && t <= s.toS; });
}

// The reference beat nearest to `t`, or -1 when there is none.
std::ptrdiff_t Nearest(std::span<const double> sorted, double t) {
    if (sorted.empty()) return -1;
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), t);
    std::ptrdiff_t i = it - sorted.begin();
    if (i == static_cast<std::ptrdiff_t>(sorted.size()) ||
        (i > 0 &&
         t - sorted[static_cast<std::size_t>(i - 1)] < sorted[static_cast<std::size_t>(i)] - t)) {
        --i;
    }
    return i;
}

}  // namespace

BeatScore ScoreBeats(std::span<const double> detectedS, std::span<const double> referenceS,
                     double toleranceS, std::span<const TimeSpan> excluded) {
    std::vector<double> reference(referenceS.begin(), referenceS.end());
    std::sort(reference.begin(), reference.end());
    std::vector<double> detected(detectedS.begin(), detectedS.end());
    std::sort(detected.begin(), detected.end());

    BeatScore score;
    // The lag: the median offset to the nearest reference beat.
    std::vector<double> offsets;
    for (const double t : detected) {
        const std::ptrdiff_t i = Nearest(reference, t);
        if (i >= 0 && !Excluded(t, excluded))
            offsets.push_back(t - reference[static_cast<std::size_t>(i)]);
    }
    if (!offsets.empty()) {
        std::nth_element(offsets.begin(),
                         offsets.begin() + static_cast<std::ptrdiff_t>(offsets.size() / 2),
                         offsets.end());
        score.lagS = offsets[offsets.size() / 2];
    }

    // A detected beat matched to an excluded reference beat counts on neither side, so that
    // the edges of an excluded stretch score nothing twice.
    std::vector<bool> taken(reference.size(), false);
    for (const double raw : detected) {
        const double t = raw - score.lagS;
        // The nearest free reference beat within the tolerance.
        std::ptrdiff_t best = -1;
        auto it = std::lower_bound(reference.begin(), reference.end(), t - toleranceS);
        for (; it != reference.end() && *it <= t + toleranceS; ++it) {
            const auto i = it - reference.begin();
            if (taken[static_cast<std::size_t>(i)]) continue;
            if (best < 0 ||
                std::abs(*it - t) < std::abs(reference[static_cast<std::size_t>(best)] - t)) {
                best = i;
            }
        }
        if (best < 0) {
            if (!Excluded(t, excluded)) ++score.detected;
            continue;
        }
        taken[static_cast<std::size_t>(best)] = true;
        if (Excluded(reference[static_cast<std::size_t>(best)], excluded)) continue;
        ++score.detected;
        ++score.matched;
    }
    for (const double t : reference) {
        if (!Excluded(t, excluded)) ++score.reference;
    }
    return score;
}

}  // namespace sphyra
