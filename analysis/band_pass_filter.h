#pragma once

#include <cstddef>

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
    // The same for `n` samples at once, into `out`. Both sections run in one loop on local
    // copies, so their recurrences overlap instead of following one another through memory.
    template <typename Sample>
    void Process(const Sample* in, double* out, std::size_t n) {
        Biquad high = m_highPass;
        Biquad low = m_lowPass;
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = low.Process(high.Process(static_cast<double>(in[i])));
        }
        m_highPass = high;
        m_lowPass = low;
    }

private:
    Biquad m_highPass;
    Biquad m_lowPass;
};

}  // namespace sphyra::analysis
