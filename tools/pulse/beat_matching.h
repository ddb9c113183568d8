#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace sphyra {

// Detected beats scored against reference beats, the way beat detectors are compared: after
// removing the median lag between the two (a finger pulse trails the heart's beat by a
// constant), each reference beat may be matched by at most one detected beat within the
// tolerance. Beats inside the excluded stretches count on neither side.
struct BeatScore {
    std::size_t reference = 0;  // reference beats scored
    std::size_t detected = 0;   // detected beats scored
    std::size_t matched = 0;
    double lagS = 0;  // median detected - reference, removed before matching

    double Sensitivity() const { return reference ? double(matched) / double(reference) : 0; }
    double PositivePredictivity() const {
        return detected ? double(matched) / double(detected) : 0;
    }
};

struct TimeSpan {
    double fromS = 0;
    double toS = 0;
};

BeatScore ScoreBeats(std::span<const double> detectedS, std::span<const double> referenceS,
                     double toleranceS, std::span<const TimeSpan> excluded = {});

}  // namespace sphyra
