#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace sphyra::analysis {

// How alike consecutive beats look. A pulse repeats its shape from beat to beat; noise that
// happens to cross the detector's threshold at a plausible spacing does not. The band-passed
// signal is kept at about 50 samples a second (it holds nothing above 8 Hz), and each beat's
// surroundings are correlated with the previous beat's.
class BeatShapeChecker {
public:
    static constexpr double kKeptRateHz = 50.0;
    // Half of the compared stretch: up to this, and up to this share of the beat spacing.
    static constexpr double kHalfWindowS = 0.3;
    static constexpr double kHalfWindowShare = 0.4;
    static constexpr std::size_t kCapacity = 512;

    void Design(double sampleRateHz);
    void Restart();
    // Forgets the previous beat, so that the next is compared with none.
    void Forget() { m_previous.reset(); }
    // Takes `n` band-passed samples, oldest first, keeping every m_step-th.
    void Add(const double* filtered, std::size_t n) {
        std::size_t i = m_step - 1 - m_phase;
        for (; i < n; i += m_step) m_kept[m_count++ % kCapacity] = static_cast<float>(filtered[i]);
        m_phase = (m_phase + n) % m_step;
    }
    // The correlation (-1 to 1) of the beat at `position` (samples since Design or Restart, a
    // fraction allowed) with the one before it; nothing for the first beat, or when the two are
    // too far apart to compare.
    std::optional<double> OnBeat(double position);

private:
    std::array<float, kCapacity> m_kept{};
    std::uint64_t m_count = 0;  // values kept since the start
    std::size_t m_step = 1;     // one value kept every m_step samples
    std::size_t m_phase = 0;
    double m_keptRateHz = kKeptRateHz;
    std::optional<double> m_previous;  // the previous beat, in kept values
    // The sum and the sum of squares of the latest beat's stretch: where it starts, how long.
    std::int64_t m_cachedStart = 0;
    std::int64_t m_cachedCount = 0;
    double m_cachedSum = 0;
    double m_cachedSquares = 0;
};

}  // namespace sphyra::analysis
