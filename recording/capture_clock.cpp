#include "recording/capture_clock.h"

#include <chrono>

namespace sphyra {

std::int64_t SystemCaptureClock::WallUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t SystemCaptureClock::MonotonicUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace sphyra
