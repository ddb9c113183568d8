#pragma once

namespace sphyra::analysis {

// The coefficients of one second-order section: five of them, a0 normalised to 1.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;

    // Butterworth (Q = 1/sqrt 2) sections by the bilinear transform, the corner pre-warped so it
    // lands where asked at any sample rate. Their numerators have fixed shapes: b0 times
    // (1, 2, 1) for the low-pass, (1, -2, 1) for the high-pass.
    static Biquad ButterworthLowPass(double cornerHz, double sampleRateHz);
    static Biquad ButterworthHighPass(double cornerHz, double sampleRateHz);
};

}  // namespace sphyra::analysis
