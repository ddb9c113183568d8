#pragma once

#include <cstdint>

namespace sphyra {

// Milliseconds on a free-running 32-bit counter; it wraps after about 49.7 days.
using Tick = std::uint32_t;

// True when more than `limit` ms separate `then` from `now`. The difference is
// taken modulo 2^32, so the answer stays right across the counter's wrap, where
// the naive `now > then + limit` calls a fresh timestamp stale.
constexpr bool TickElapsedMoreThan(Tick now, Tick then, std::uint32_t limit) {
    return static_cast<std::uint32_t>(now - then) > limit;
}

}  // namespace sphyra
