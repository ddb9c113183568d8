#pragma once

#include "analysis/biquad.h"

namespace sphyra::analysis {

// The pulse band, 0.5-8 Hz: a second-order Butterworth high-pass that removes the level and
// slow wander, then a second-order Butterworth low-pass that removes hum and sample noise.
class BandPassFilter {
public:
    static constexpr double kLowHz = 0.5;
    static constexpr double kHighHz = 8.0;

    void Design(double sampleRateHz);
    void Prime(double x) {
        m_highPass.Prime(x);
        m_lowPass.Prime(0.0);
    }
    double Process(double x) { return m_lowPass.Process(m_highPass.Process(x)); }

private:
    Biquad m_highPass;
    Biquad m_lowPass;
};

}  // namespace sphyra::analysis
