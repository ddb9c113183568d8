#include "sensor_frame.h"

namespace sphyra {

std::uint8_t Checksum8(const std::uint8_t* data, int len) {
    if (data == nullptr || len <= 0) return 0;
    unsigned sum = 0;
    for (int i = 0; i < len; ++i) sum += data[i];
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

}  // namespace sphyra
