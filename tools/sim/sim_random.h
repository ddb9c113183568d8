#pragma once

#include <cstdint>

namespace sphyra {

// A small seeded generator (SplitMix64) with its own distributions, so a seed
// yields the same stream on every compiler and standard library; the standard
// distributions are free to differ between implementations.
class SimRandom {
public:
    explicit SimRandom(std::uint64_t seed = 0) : m_state(seed) {}

    std::uint64_t NextU64();
    // Uniform in [0, 1).
    double Uniform();
    // Uniform in [lo, hi).
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    // Uniform over the closed range [lo, hi]; lo must not exceed hi.
    std::uint64_t UniformInt(std::uint64_t lo, std::uint64_t hi);
    // Standard normal deviate (Box-Muller).
    double Normal();
    bool Chance(double probability) { return Uniform() < probability; }

    // Derives an independent stream, e.g. one per sensor, from a seed and a key.
    static std::uint64_t DeriveSeed(std::uint64_t seed, std::uint64_t key);

private:
    std::uint64_t m_state;
    bool m_haveSpare = false;
    double m_spare = 0.0;
};

}  // namespace sphyra
