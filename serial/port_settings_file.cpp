#include "serial/port_settings_file.h"

#include <cstdlib>
#include <string_view>

#include "serial/leading_int.h"
#include "serial/private_profile.h"

namespace sphyra {
namespace {

constexpr std::string_view kSection = "Main";
constexpr std::string_view kPortKey = "CommPort";
constexpr std::string_view kBaudKey = "CommBaud";

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::filesystem::path PortSettingsFile::PathForProgram(const std::string& argv0) {
    constexpr std::string_view kExe = ".exe";
    if (argv0.find(kExe) != std::string::npos) {
        std::string name = argv0;
        for (std::size_t at = name.find(kExe); at != std::string::npos;
             at = name.find(kExe, at + kExe.size())) {
            name.replace(at, kExe.size(), ".ini");
        }
        return std::filesystem::path(name);
    }
    // Without a lower-case ".exe" there is no name beside the program that is
    // not the program itself, so the file lives in the user's config folder.
    std::filesystem::path base;
    const std::string xdg = Environment("XDG_CONFIG_HOME");
    if (!xdg.empty() && std::filesystem::path(xdg).is_absolute()) {
        base = xdg;  // relative values are to be ignored
    } else {
#ifdef _WIN32
        const std::string appData = Environment("APPDATA");
        if (!appData.empty()) base = appData;
#endif
        const std::string home = Environment("HOME");
        if (base.empty() && !home.empty()) base = std::filesystem::path(home) / ".config";
    }
    return base / "sphyra" / "sphyra.ini";
}

PortSettings PortSettingsFile::ReadPortSettings() const {
    const PrivateProfile profile(m_path);
    const ProfileText text = profile.Load();
    m_problem = profile.LastProblem();
    PortSettings settings;
    if (const auto port = text.Get(kSection, kPortKey)) settings.port = ParseLeadingInt(*port);
    if (const auto baud = text.Get(kSection, kBaudKey)) settings.baud = ParseLeadingInt(*baud);
    return settings;
}

bool PortSettingsFile::WritePortSettings(int port, int baud) {
    PrivateProfile profile(m_path);
    const bool written =
        profile.WriteProfileStrings(kSection, {{std::string(kPortKey), std::to_string(port)},
                                               {std::string(kBaudKey), std::to_string(baud)}});
    m_problem = profile.LastProblem();
    return written;
}

}  // namespace sphyra
