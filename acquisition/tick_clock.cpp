#include "tick_clock.h"

#include <chrono>
#include <thread>

namespace sphyra {

Tick SteadyTickClock::NowTick() const {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<Tick>(static_cast<std::uint64_t>(ms.count()));
}

void SteadyTickClock::SleepMs(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace sphyra
