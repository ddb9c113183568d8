#include "analysis/biquad.h"

#include <cmath>
#include <numbers>

namespace sphyra::analysis {
namespace {

constexpr double kButterworthQ = std::numbers::sqrt2 / 2.0;

struct Prewarped {
    double k;     // tan(pi f / fs)
    double norm;  // 1 / a0
};

Prewarped Warp(double cornerHz, double sampleRateHz) {
    const double k = std::tan(std::numbers::pi * cornerHz / sampleRateHz);
    return {k, 1.0 / (1.0 + k / kButterworthQ + k * k)};
}

}  // namespace

Biquad::Coefficients Biquad::ButterworthLowPass(double cornerHz, double sampleRateHz) {
    const auto [k, norm] = Warp(cornerHz, sampleRateHz);
    Coefficients c;
    c.b0 = k * k * norm;
    c.b1 = 2.0 * c.b0;
    c.b2 = c.b0;
    c.a1 = 2.0 * (k * k - 1.0) * norm;
    c.a2 = (1.0 - k / kButterworthQ + k * k) * norm;
    return c;
}

Biquad::Coefficients Biquad::ButterworthHighPass(double cornerHz, double sampleRateHz) {
    const auto [k, norm] = Warp(cornerHz, sampleRateHz);
    Coefficients c;
    c.b0 = norm;
    c.b1 = -2.0 * norm;
    c.b2 = norm;
    c.a1 = 2.0 * (k * k - 1.0) * norm;
    c.a2 = (1.0 - k / kButterworthQ + k * k) * norm;
    return c;
}

void Biquad::Prime(double x) {
    // Steady state of the recurrence for a constant input: y = gain * x.
    const double gain = (m_c.b0 + m_c.b1 + m_c.b2) / (1.0 + m_c.a1 + m_c.a2);
    m_x1 = m_x2 = x;
    m_y1 = m_y2 = gain * x;
}

}  // namespace sphyra::analysis
