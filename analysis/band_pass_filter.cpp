#include "analysis/band_pass_filter.h"

#include <algorithm>

namespace sphyra::analysis {

void BandPassFilter::Design(double sampleRateHz) {
    m_highPass.SetCoefficients(Biquad::ButterworthHighPass(kLowHz, sampleRateHz));
    // Below 20 samples/s the upper corner would sit too near half the rate to mean anything.
    const double upper = std::min(kHighHz, 0.4 * sampleRateHz);
    m_lowPass.SetCoefficients(Biquad::ButterworthLowPass(upper, sampleRateHz));
}

}  // namespace sphyra::analysis
