#include "recording/capture_folder.h"

#include <cstdlib>

namespace sphyra {

std::filesystem::path DefaultCaptureFolder() {
    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && std::filesystem::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr ? home : ".") / ".local" / "share";
    }
    return base / "sphyra" / "recordings";
}

}  // namespace sphyra
