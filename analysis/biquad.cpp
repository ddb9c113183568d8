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

Biquad Biquad::ButterworthLowPass(double cornerHz, double sampleRateHz) {
    const auto [k, norm] = Warp(cornerHz, sampleRateHz);
    Biquad c;
    c.b0 = k * k * norm;
    c.b1 = 2.0 * c.b0;
    c.b2 = c.b0;
    c.a1 = 2.0 * (k * k - 1.0) * norm;
    c.a2 = (1.0 - k / kButterworthQ + k * k) * norm;
    return c;
}

Biquad Biquad::ButterworthHighPass(double cornerHz, double sampleRateHz) {
    const auto [k, norm] = Warp(cornerHz, sampleRateHz);
    Biquad c;
    c.b0 = norm;
    c.b1 = -2.0 * norm;
    c.b2 = norm;
    c.a1 = 2.0 * (k * k - 1.0) * norm;
    c.a2 = (1.0 - k / kButterworthQ + k * k) * norm;
    return c;
}

}  // namespace sphyra::analysis
