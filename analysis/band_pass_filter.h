#pragma once

#include <cstddef>

namespace sphyra::analysis {

// The pulse band, 0.5-8 Hz: a second-order Butterworth high-pass that removes the level and
// slow wander, then a second-order Butterworth low-pass that removes hum and sample noise.
//
// Both sections run in direct form I with their numerators' fixed shapes written out and
// their gains applied once at the end: two multiplies a section, and a loop-carried path of
// one multiply and one add. The high-pass's second difference of whole sample counts is
// exact, so a steady level leaves no trace at all.
class BandPassFilter {
public:
    static constexpr double kLowHz = 0.5;
    static constexpr double kHighHz = 8.0;

    void Design(double sampleRateHz);
    // Sets the state as if `x` had been the input forever, so a steady level at start-up does
    // not ring through the filter like a step.
    void Prime(double x) { m_state = State{x, x, 0, 0, 0, 0}; }
    double Process(double x) { return Step(m_c, m_state, x); }
    // The same for `n` samples at once, into `out`, with the state in registers throughout.
    template <typename Sample>
    void Process(const Sample* in, double* out, std::size_t n) {
        const Coefficients c = m_c;
        State s = m_state;
        for (std::size_t i = 0; i < n; ++i) out[i] = Step(c, s, static_cast<double>(in[i]));
        m_state = s;
    }

private:
    struct Coefficients {
        double highA1 = 0, highA2 = 0, lowA1 = 0, lowA2 = 0;
        double gain = 0;  // both sections' b0
    };
    struct State {
        double x1 = 0, x2 = 0;  // inputs, newest first
        double u1 = 0, u2 = 0;  // high-pass outputs over its gain
        double v1 = 0, v2 = 0;  // low-pass outputs over both gains
    };

    static double Step(const Coefficients& c, State& s, double x) {
        const double d = (x + s.x2) - (s.x1 + s.x1);
        // The older output's term first, so that only the newest one is waited for.
        const double u = (d - c.highA2 * s.u2) - c.highA1 * s.u1;
        const double e = (u + s.u2) + (s.u1 + s.u1);
        const double v = (e - c.lowA2 * s.v2) - c.lowA1 * s.v1;
        s = State{x, s.x1, u, s.u1, v, s.v1};
        return c.gain * v;
    }

    Coefficients m_c;
    State m_state;
};

}  // namespace sphyra::analysis
