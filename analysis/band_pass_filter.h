#pragma once

#include <cstddef>
#include <cstdint>

namespace sphyra::analysis {

// The pulse band, 0.5-8 Hz: a second-order Butterworth high-pass that removes the level and
// slow wander, then a second-order Butterworth low-pass that removes hum and sample noise.
//
// The two sections' numerators have fixed shapes, (1 - z^-1)^2 for the high-pass and
// (1 + z^-1)^2 for the low-pass, times their gains; together (1 - z^-2)^2. That is applied
// first, to whole sample counts, where it is exact (so a steady level leaves no trace at
// all), then the two sections' poles, then the gains, once: four multiplies a sample, and a
// loop-carried path of one multiply and one add.
class BandPassFilter {
public:
    static constexpr double kLowHz = 0.5;
    static constexpr double kHighHz = 8.0;

    void Design(double sampleRateHz);
    // Sets the state as if `x` had been the input forever, so a steady level at start-up does
    // not ring through the filter like a step.
    void Prime(double x) { m_state = State{x, x, x, x, 0, 0, 0, 0}; }
    double Process(double x) {
        const double d = (x + m_state.x4) - (m_state.x2 + m_state.x2);
        return Poles(m_c, m_state, d, x);
    }
    // The same for `n` whole sample counts at once, into `out`, with the state in registers
    // throughout. Past the first four, the numerator is taken from the samples themselves, in
    // integers: the same value as from the state, so batches may be cut anywhere.
    template <typename Sample>
    void Process(const Sample* in, double* out, std::size_t n) {
        const Coefficients c = m_c;
        State s = m_state;
        const std::size_t head = n < 4 ? n : 4;
        for (std::size_t i = 0; i < head; ++i) {
            const auto x = static_cast<double>(in[i]);
            out[i] = Poles(c, s, (x + s.x4) - (s.x2 + s.x2), x);
        }
        for (std::size_t i = head; i < n; ++i) {
            const std::int32_t d =
                std::int32_t{in[i]} - 2 * std::int32_t{in[i - 2]} + std::int32_t{in[i - 4]};
            out[i] = Poles(c, s, static_cast<double>(d));
        }
        // The input history, which the loop above had no need to carry.
        for (std::size_t i = n >= 8 ? n - 4 : head; i < n; ++i) {
            Shift(s, static_cast<double>(in[i]));
        }
        m_state = s;
    }

private:
    struct Coefficients {
        double highA1 = 0, highA2 = 0, lowA1 = 0, lowA2 = 0;
        double gain = 0;  // both sections' b0
    };
    struct State {
        double x1 = 0, x2 = 0, x3 = 0, x4 = 0;  // inputs, newest first
        double u1 = 0, u2 = 0;                  // after the high-pass's poles
        double v1 = 0, v2 = 0;                  // after the low-pass's too
    };

    // The older output's term first, so that only the newest one is waited for.
    static double Poles(const Coefficients& c, State& s, double d) {
        const double u = (d - c.highA2 * s.u2) - c.highA1 * s.u1;
        const double v = (u - c.lowA2 * s.v2) - c.lowA1 * s.v1;
        s.u2 = s.u1;
        s.u1 = u;
        s.v2 = s.v1;
        s.v1 = v;
        return c.gain * v;
    }
    static double Poles(const Coefficients& c, State& s, double d, double x) {
        Shift(s, x);
        return Poles(c, s, d);
    }
    static void Shift(State& s, double x) {
        s.x4 = s.x3;
        s.x3 = s.x2;
        s.x2 = s.x1;
        s.x1 = x;
    }

    Coefficients m_c;
    State m_state;
};

}  // namespace sphyra::analysis
