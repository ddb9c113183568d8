#include "serial/open_failure.h"

#include <array>
#include <string_view>

#if defined(__unix__) || defined(__APPLE__)
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sphyra {

std::string OpenFailureText(OpenFailure failure, const std::string& portName,
                            const std::string& device, const std::string& detail,
                            const std::string& group, const std::string& ownership) {
    const std::string where = device + " (" + portName + ")";
    switch (failure) {
        case OpenFailure::NoDevice:
            if (device.empty()) {
                return portName + " 没有对应的串口设备，请检查串口是否已连接。\n" +
                       "No serial device is available for " + portName + ".";
            }
            return "串口设备 " + where + " 不存在，请检查串口是否已连接。\n" +
                   "No such device: " + where + ".";
        case OpenFailure::PermissionDenied: {
            if (!group.empty() && !IsDeviceAccessGroup(group)) {
                const std::string owned = ownership.empty() ? "group " + group : ownership;
                return "没有权限打开串口设备 " + where + "（" + owned +
                       "），当前用户无权读写。请让管理员修改该设备的权限（例如用 udev 规则）。\n" +
                       "Permission denied: " + where + " (" + owned +
                       ") gives this user no access; ask the administrator to change the "
                       "device's permissions (for example with a udev rule).";
            }
            const std::string owner = group.empty() ? std::string("dialout") : group;
            return "没有权限打开串口设备 " + where + "。当前用户必须属于拥有该设备的用户组 " +
                   owner + "（例如执行 sudo usermod -aG " + owner + " $USER 后重新登录）。\n" +
                   "Permission denied: " + where + ". The user must be a member of the group " +
                   owner + ", which owns the device.";
        }
        case OpenFailure::InUse:
            return "串口设备 " + where + " 正被占用（已被本程序或其他程序打开）。\n" +
                   "Device in use: " + where + " is already open in this or another program.";
        case OpenFailure::Other:
            break;
    }
    return "无法打开串口设备 " + where + "：" + detail + "\n" + "Cannot open " + where + ": " +
           detail;
}

bool IsDeviceAccessGroup(const std::string& group) {
    static constexpr std::array<std::string_view, 7> kGroups = {"dialout", "uucp",   "tty",  "lock",
                                                                "plugdev", "serial", "modem"};
    for (const std::string_view known : kGroups) {
        if (group == known) return true;
    }
    return false;
}

std::string DeviceOwnership(const std::string& device) {
#if defined(__unix__) || defined(__APPLE__)
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) return {};
    const passwd* user = ::getpwuid(info.st_uid);
    const struct group* owner = ::getgrgid(info.st_gid);
    std::string mode = S_ISCHR(info.st_mode) ? "c" : S_ISBLK(info.st_mode) ? "b" : "-";
    constexpr std::string_view kLetters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        mode +=
            (info.st_mode & (0400u >> bit)) != 0 ? kLetters[static_cast<std::size_t>(bit)] : '-';
    return "user " + (user ? std::string(user->pw_name) : std::to_string(info.st_uid)) +
           ", group " + (owner ? std::string(owner->gr_name) : std::to_string(info.st_gid)) +
           ", mode " + mode;
#else
    (void)device;
    return {};
#endif
}

std::string DeviceGroup(const std::string& device) {
#if defined(__unix__) || defined(__APPLE__)
    struct stat info {};
    if (::stat(device.c_str(), &info) == 0) {
        if (const struct group* owner = ::getgrgid(info.st_gid)) return owner->gr_name;
    }
#else
    (void)device;
#endif
    return "dialout";
}

bool DeviceAccessible(const std::string& device) {
#if defined(__unix__) || defined(__APPLE__)
    return ::access(device.c_str(), R_OK | W_OK) == 0;
#else
    (void)device;
    return true;
#endif
}

}  // namespace sphyra
