#pragma once

#include <filesystem>
#include <string>

namespace sphyra {

struct PortSettings {
    int port = 1;
    int baud = 115200;
};

// The two-key settings file that remembers the last port and baud rate that
// opened. Section "Main", keys "CommPort" then "CommBaud".
class PortSettingsFile {
public:
    explicit PortSettingsFile(std::filesystem::path path) : m_path(std::move(path)) {}

    // argv[0] with every ".exe" replaced by ".ini" when it has one; otherwise
    // $XDG_CONFIG_HOME/sphyra/sphyra.ini (~/.config/sphyra/sphyra.ini).
    static std::filesystem::path PathForProgram(const std::string& argv0);

    PortSettings ReadPortSettings() const;
    void WritePortSettings(int port, int baud);  // failures are ignored

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace sphyra
