#pragma once

#include <termios.h>

#include <memory>
#include <optional>
#include <string>

#include "tools/sim/output_endpoint.h"

namespace sphyra {

// The termios speed constant for `baud`, or nothing when the system has none.
std::optional<speed_t> StandardBaud(int baud);

// An existing device (a serial adapter, one end of a null-modem pair, or any
// writable file) as the simulator's output. Terminals are set raw, 8N1, at the
// requested speed.
class SerialDevice final : public OutputEndpoint {
public:
    // Returns null and sets `error` when the device cannot be opened or set up.
    // A baud rate with no standard speed leaves the device's speed unchanged and
    // says so in Warning().
    static std::unique_ptr<SerialDevice> Open(
        const std::string& path, int baud, std::string& error,
        std::size_t maxPending = FdWriter::kDefaultMaxPending);
    ~SerialDevice() override;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    const std::string& Path() const override { return m_path; }
    int Fd() const override { return m_fd; }
    bool Write(std::span<const std::uint8_t> bytes) override { return m_writer.Write(bytes); }
    bool Flush() override { return m_writer.Flush(); }
    const FdWriter& Writer() const override { return m_writer; }
    // Bytes still in the driver's output queue (terminals only).
    std::size_t UnreadBytes() const override;
    bool IsTerminal() const { return m_isTerminal; }
    const std::string& Warning() const { return m_warning; }

private:
    SerialDevice(int fd, std::string path, bool isTerminal, std::size_t maxPending);

    int m_fd;
    std::string m_path;
    bool m_isTerminal;
    std::string m_warning;
    FdWriter m_writer;
};

}  // namespace sphyra
