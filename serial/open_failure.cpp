#include "serial/open_failure.h"

#if defined(__unix__) || defined(__APPLE__)
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sphyra {

std::string OpenFailureText(OpenFailure failure, const std::string& portName,
                            const std::string& device, const std::string& detail,
                            const std::string& group) {
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
