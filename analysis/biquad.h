#pragma once

namespace sphyra::analysis {

// One second-order section in direct form I: the last two inputs and outputs, five
// coefficients. Direct form I keeps the loop-carried path to one multiply and one add (the
// feed-forward part never waits on the previous output), which is what bounds the filter's
// speed; with doubles its rounding is no worse than the transposed form for this band.
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
        // The older output's term first, so that only the newest one is waited for.
        const double y =
            ((m_c.b0 * x + m_c.b1 * m_x1 + m_c.b2 * m_x2) - m_c.a2 * m_y2) - m_c.a1 * m_y1;
        m_x2 = m_x1;
        m_x1 = x;
        m_y2 = m_y1;
        m_y1 = y;
        return y;
    }

private:
    Coefficients m_c;
    double m_x1 = 0, m_x2 = 0;  // the previous inputs, newest first
    double m_y1 = 0, m_y2 = 0;  // the previous outputs, newest first
};

}  // namespace sphyra::analysis
