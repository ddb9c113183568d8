#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sphyra {

// One entry of the port list the window offers.
struct PortChoice {
    int number = 0;      // 1 = COM1
    std::string device;  // system device path, empty when nothing maps to it
    std::string label;   // "COM1 (ttyUSB0)", or "COM1" when there is no device
};

// Maps the window's port numbers (COM1 ... COM16) to system devices. On Windows
// number n is "COMn". Elsewhere an optional "Ports" section of the settings file
// names devices explicitly ("COM3=/dev/ttyUSB0"); numbers it does not name go to
// the n-th serial port the system lists, USB adapters (ttyUSB*) first, then ACM
// modems (ttyACM*), then the rest, each group by name with numbers compared as
// numbers. Every call looks again, so a device plugged in after start-up is
// found at the next open. Each call reads the settings file once, and lists the
// system's ports (slow: tens of milliseconds) only when a number it needs is not
// named in the file.
class PortMap {
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 16;

    // Returns the system's serial device paths, in any order.
    using PortLister = std::function<std::vector<std::string>()>;

    explicit PortMap(std::filesystem::path settingsPath, PortLister lister = SystemPorts);

    // The device for port `number`; empty when there is none.
    std::string DeviceFor(int number) const;

    // COM1 ... COM16 with their devices, for the port list.
    std::vector<PortChoice> Choices() const;

    // "COM3 (ttyUSB0)": the device path loses a leading "/dev/".
    static std::string Label(int number, const std::string& device);

    // The serial ports the system lists (QSerialPortInfo), as device paths.
    static std::vector<std::string> SystemPorts();

    // Puts device paths into mapping order.
    static void SortPorts(std::vector<std::string>& devices);

    const std::filesystem::path& SettingsPath() const { return m_settingsPath; }

private:
    // The "Ports" section's devices, index = port number; empty where none is named.
    std::vector<std::string> ExplicitDevices() const;
    std::vector<std::string> SortedSystemPorts() const;

    std::filesystem::path m_settingsPath;
    PortLister m_lister;
};

}  // namespace sphyra
