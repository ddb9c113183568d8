#pragma once

#include <cstddef>
#include <cstdint>

namespace sphyra {

// Sees what the port layer receives, in the order the parser gets it, without
// changing any of it: the recorder listens here. Pure C++, so a listener needs
// no Qt.
class ReceiveTap {
public:
    virtual ~ReceiveTap() = default;

    // The bytes exactly as one read from the port returned them, before they go
    // to the receive ring.
    virtual void OnReceived(const std::uint8_t* bytes, std::size_t n) = 0;
    // `port` as numbered in the port list (1 = COM1).
    virtual void OnPortOpened(int port, int baud) = 0;
    virtual void OnPortClosed() = 0;
    virtual void OnDeviceLost() = 0;
};

}  // namespace sphyra
