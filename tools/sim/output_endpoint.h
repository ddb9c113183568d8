#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "tools/sim/fd_writer.h"

namespace sphyra {

// Where the simulated byte stream goes: a pseudo-terminal or a real device.
// Writes never block; see FdWriter for what happens to bytes the far end does
// not take in time.
class OutputEndpoint {
public:
    virtual ~OutputEndpoint() = default;

    // The path a receiver opens.
    virtual const std::string& Path() const = 0;
    // Descriptor to poll for POLLOUT while bytes are pending.
    virtual int Fd() const = 0;
    virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
    virtual bool Flush() = 0;
    virtual const FdWriter& Writer() const = 0;
    // Bytes handed to the system that the far end has not taken yet, when known.
    virtual std::size_t UnreadBytes() const = 0;
};

}  // namespace sphyra
