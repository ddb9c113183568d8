#include "analysis/band_pass_filter.h"

#include <algorithm>

#include "analysis/biquad.h"

namespace sphyra::analysis {

void BandPassFilter::Design(double sampleRateHz) {
    const Biquad high = Biquad::ButterworthHighPass(kLowHz, sampleRateHz);
    // Below 20 samples/s the upper corner would sit too near half the rate to mean anything.
    const double upper = std::min(kHighHz, 0.4 * sampleRateHz);
    const Biquad low = Biquad::ButterworthLowPass(upper, sampleRateHz);
    m_c = Coefficients{high.a1, high.a2, low.a1, low.a2, high.b0 * low.b0};
}

}  // namespace sphyra::analysis
