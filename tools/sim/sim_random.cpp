#include "tools/sim/sim_random.h"

#include <cmath>
#include <numbers>

namespace sphyra {

std::uint64_t SimRandom::NextU64() {
    m_state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = m_state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double SimRandom::Uniform() {
    // The top 53 bits fill a double's mantissa exactly.
    return static_cast<double>(NextU64() >> 11) * 0x1.0p-53;
}

std::uint64_t SimRandom::UniformInt(std::uint64_t lo, std::uint64_t hi) {
    const std::uint64_t span = hi - lo;
    if (span == UINT64_MAX) return NextU64();
    const std::uint64_t range = span + 1;
    // Rejecting the incomplete top bucket keeps every value equally likely.
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % range;
    std::uint64_t x = NextU64();
    while (x >= limit) x = NextU64();
    return lo + x % range;
}

double SimRandom::Normal() {
    if (m_haveSpare) {
        m_haveSpare = false;
        return m_spare;
    }
    double u1 = Uniform();
    while (u1 <= 0.0) u1 = Uniform();
    const double u2 = Uniform();
    const double radius = std::sqrt(-2.0 * std::log(u1));
    const double angle = 2.0 * std::numbers::pi * u2;
    m_spare = radius * std::sin(angle);
    m_haveSpare = true;
    return radius * std::cos(angle);
}

std::uint64_t SimRandom::DeriveSeed(std::uint64_t seed, std::uint64_t key) {
    SimRandom mix(seed ^ (key * 0xD1B54A32D192ED03ull));
    mix.NextU64();
    return mix.NextU64();
}

}  // namespace sphyra
