#pragma once

#include <cstdint>

#include "tick.h"

namespace sphyra {

// The one source of time for everything that ages, times or waits, so tests can
// drive it by hand.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual Tick NowTick() const = 0;
    virtual void SleepMs(std::uint32_t ms) = 0;
};

// Milliseconds of the monotonic clock, truncated to 32 bits.
class SteadyTickClock final : public TickClock {
public:
    Tick NowTick() const override;
    void SleepMs(std::uint32_t ms) override;
};

// A clock that only moves when told to; sleeping advances it at once.
class ManualTickClock final : public TickClock {
public:
    explicit ManualTickClock(Tick start = 1) : m_now(start) {}
    Tick NowTick() const override { return m_now; }
    void SleepMs(std::uint32_t ms) override { m_now += ms; }
    void Set(Tick now) { m_now = now; }
    void Advance(std::uint32_t ms) { m_now += ms; }

private:
    Tick m_now;
};

}  // namespace sphyra
