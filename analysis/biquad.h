#pragma once

namespace sphyra::analysis {

// One second-order section in transposed direct form II: two state values, five coefficients.
class Biquad {
public:
    struct Coefficients {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;  // a0 normalised to 1
    };

    // Butterworth (Q = 1/sqrt 2) sections by the bilinear transform, the corner pre-warped so it
    // lands where asked at any sample rate.
    static Coefficients ButterworthLowPass(double cornerHz, double sampleRateHz);
    static Coefficients ButterworthHighPass(double cornerHz, double sampleRateHz);

    void SetCoefficients(const Coefficients& c) { m_c = c; }
    // Sets the state as if `x` had been the input forever, so a steady level at start-up
    // does not ring through the filter like a step.
    void Prime(double x);
    double Process(double x) {
        const double y = m_c.b0 * x + m_s1;
        m_s1 = m_c.b1 * x - m_c.a1 * y + m_s2;
        m_s2 = m_c.b2 * x - m_c.a2 * y;
        return y;
    }

private:
    Coefficients m_c;
    double m_s1 = 0;
    double m_s2 = 0;
};

}  // namespace sphyra::analysis
