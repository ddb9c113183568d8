// Stand-in for the outside filter library: a recognisable transformation, so a test can tell
// filtered samples from raw ones.
#include <cstdint>

#if defined(_WIN32)
#define QX_EXPORT extern "C" __declspec(dllexport)
#else
#define QX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QX_EXPORT std::uint16_t QXAPI_WaveFilter50(std::uint16_t value) {
    return static_cast<std::uint16_t>(value + 1000U);
}
