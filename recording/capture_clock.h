#pragma once

#include <cstdint>

namespace sphyra {

// The two times a capture needs: the calendar time a file starts at, and a
// monotonic clock for the chunks, so a clock set back mid-recording cannot make
// time run backwards in the file.
class CaptureClock {
public:
    virtual ~CaptureClock() = default;
    virtual std::int64_t WallUs() const = 0;       // since 1970-01-01 UTC
    virtual std::int64_t MonotonicUs() const = 0;  // from an arbitrary origin
};

class SystemCaptureClock final : public CaptureClock {
public:
    std::int64_t WallUs() const override;
    std::int64_t MonotonicUs() const override;
};

}  // namespace sphyra
