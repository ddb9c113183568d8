#pragma once

#include <string>

namespace sphyra {

// Why a serial device could not be opened, as far as the operator can act on it.
enum class OpenFailure { NoDevice, PermissionDenied, InUse, Other };

// The operator's text for a failed open, in Chinese and English, naming the
// port ("COM3") and the device path. `detail` is the system's own wording, used
// for OpenFailure::Other; `group` is the group that owns the device, used for
// OpenFailure::PermissionDenied: joining it is advised only when it is a group
// meant for device access (IsDeviceAccessGroup); otherwise the text gives
// `ownership` (owner, group and mode) and leaves the fix to the administrator.
std::string OpenFailureText(OpenFailure failure, const std::string& portName,
                            const std::string& device, const std::string& detail = {},
                            const std::string& group = {}, const std::string& ownership = {});

// Groups that exist to grant access to serial devices (dialout, uucp, tty, lock,
// plugdev, ...). Joining any other group, root above all, is not advice to give.
bool IsDeviceAccessGroup(const std::string& group);

// "user root, group root, mode crw-------" for the device file; empty when it
// cannot be told.
std::string DeviceOwnership(const std::string& device);

// The group owning the device file ("dialout" on most systems); "dialout" when
// it cannot be told.
std::string DeviceGroup(const std::string& device);

// Whether the current user may read and write the device, as the system
// decides it (false also when the device does not exist).
bool DeviceAccessible(const std::string& device);

}  // namespace sphyra
