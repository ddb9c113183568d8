#include "serial/port_map.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cstddef>
#include <string_view>

#include "serial/private_profile.h"

namespace sphyra {
namespace {

std::string_view BaseName(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

int Group(std::string_view name) {
    if (name.starts_with("ttyUSB")) return 0;
    if (name.starts_with("ttyACM")) return 1;
    return 2;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "ttyUSB2" before "ttyUSB10": runs of digits compare by value.
bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && IsDigit(a[ei])) ++ei;
            while (ej < b.size() && IsDigit(b[ej])) ++ej;
            std::string_view da = a.substr(i, ei - i);
            std::string_view db = b.substr(j, ej - j);
            while (da.size() > 1 && da.front() == '0') da.remove_prefix(1);
            while (db.size() > 1 && db.front() == '0') db.remove_prefix(1);
            if (da.size() != db.size()) return da.size() < db.size();
            if (da != db) return da < db;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

PortMap::PortMap(std::filesystem::path settingsPath, PortLister lister)
    : m_settingsPath(std::move(settingsPath)), m_lister(std::move(lister)) {}

std::vector<std::string> PortMap::ExplicitDevices() const {
    const ProfileText text = PrivateProfile(m_settingsPath).Load();
    std::vector<std::string> devices(kLastPort + 1);
    for (int number = kFirstPort; number <= kLastPort; ++number) {
        devices[static_cast<std::size_t>(number)] =
            text.Get("Ports", "COM" + std::to_string(number)).value_or(std::string());
    }
    return devices;
}

std::vector<std::string> PortMap::SortedSystemPorts() const {
    std::vector<std::string> devices = m_lister ? m_lister() : std::vector<std::string>();
    SortPorts(devices);
    return devices;
}

std::string PortMap::DeviceFor(int number) const {
    if (number < kFirstPort || number > kLastPort) return {};
    std::string device = ExplicitDevices()[static_cast<std::size_t>(number)];
    if (!device.empty()) return device;
#ifdef _WIN32
    return "COM" + std::to_string(number);
#else
    const std::vector<std::string> sorted = SortedSystemPorts();
    const auto index = static_cast<std::size_t>(number - kFirstPort);
    return index < sorted.size() ? sorted[index] : std::string();
#endif
}

std::vector<PortChoice> PortMap::Choices() const {
    const std::vector<std::string> named = ExplicitDevices();
    std::vector<std::string> sorted;
#ifndef _WIN32
    bool allNamed = true;
    for (int number = kFirstPort; number <= kLastPort; ++number)
        allNamed = allNamed && !named[static_cast<std::size_t>(number)].empty();
    if (!allNamed) sorted = SortedSystemPorts();
#endif
    std::vector<PortChoice> choices;
    for (int number = kFirstPort; number <= kLastPort; ++number) {
        PortChoice choice;
        choice.number = number;
        choice.device = named[static_cast<std::size_t>(number)];
#ifdef _WIN32
        if (choice.device.empty()) choice.device = "COM" + std::to_string(number);
#else
        const auto index = static_cast<std::size_t>(number - kFirstPort);
        if (choice.device.empty() && index < sorted.size()) choice.device = sorted[index];
#endif
        choice.label = Label(number, choice.device);
        choices.push_back(std::move(choice));
    }
    return choices;
}

std::string PortMap::Label(int number, const std::string& device) {
    std::string label = "COM" + std::to_string(number);
    std::string_view shown = device;
    if (shown.starts_with("/dev/")) shown.remove_prefix(5);
    if (!shown.empty() && shown != label) label += " (" + std::string(shown) + ")";
    return label;
}

std::vector<std::string> PortMap::SystemPorts() {
    std::vector<std::string> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        devices.push_back(info.systemLocation().toStdString());
    }
    return devices;
}

void PortMap::SortPorts(std::vector<std::string>& devices) {
    std::sort(devices.begin(), devices.end(), [](const std::string& a, const std::string& b) {
        const std::string_view na = BaseName(a);
        const std::string_view nb = BaseName(b);
        if (Group(na) != Group(nb)) return Group(na) < Group(nb);
        if (NaturalLess(na, nb)) return true;
        if (NaturalLess(nb, na)) return false;
        return a < b;
    });
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
}

}  // namespace sphyra
