#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sphyra {

// Raised by the port layer when the device refuses an operation (no such device,
// permission denied, in use). The text is meant for the operator.
class CommError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// CommEvent values. 2 is "bytes received"; device loss gets a value of its own so
// the window can tell the operator instead of silently reading nothing.
inline constexpr std::int16_t kCommEvReceive = 2;
inline constexpr std::int16_t kCommEvDeviceLost = 1100;

// The serial communications control as a set of property gets and puts, with the
// same types and meanings as the control it stands in for. CMSComm implements it
// over QSerialPort; tests use a recording fake.
class CommControl {
public:
    virtual ~CommControl() = default;

    virtual void SetCommPort(std::int16_t port) = 0;
    virtual void SetSettings(const std::string& settings) = 0;  // "%d,n,8,1"
    virtual void SetInBufferSize(std::int16_t size) = 0;
    virtual void SetOutBufferSize(std::int16_t size) = 0;
    virtual void SetInputMode(std::int32_t mode) = 0;  // 1 = binary
    virtual void SetRThreshold(std::int16_t threshold) = 0;
    virtual void SetSThreshold(std::int16_t threshold) = 0;
    virtual void SetInputLen(std::int16_t len) = 0;  // 0 = everything waiting
    virtual void SetDTREnable(bool enable) = 0;
    virtual void SetRTSEnable(bool enable) = 0;

    virtual bool GetPortOpen() const = 0;
    // Opening a port that cannot be opened throws CommError with the reason.
    virtual void SetPortOpen(bool open) = 0;

    virtual std::int16_t GetInBufferCount() const = 0;
    virtual std::vector<std::uint8_t> GetInput() = 0;
    virtual std::int16_t GetCommEvent() const = 0;
};

}  // namespace sphyra
