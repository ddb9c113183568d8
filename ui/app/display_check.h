#pragma once

#include <functional>
#include <string>

namespace sphyra {

// Without a display Qt aborts with a core dump and a screenful of plugin advice. The program
// says so in one line and exits with status 1 instead.
class DisplayCheck {
public:
    using Environment = std::function<const char*(const char*)>;

    // Why no window can open, judged from the environment before Qt tries: no platform named
    // and neither DISPLAY nor WAYLAND_DISPLAY, or xcb / wayland named without its variable.
    // Empty when a display looks available (or the platform needs none, as "offscreen").
    static std::string MissingReason(const Environment& environment);

    // While on, a fatal message from Qt (the platform plugin could not start, e.g. DISPLAY
    // names no running server) prints one line and ends the program with status 1, and the
    // plugin loader's warnings before it are held back. Off restores Qt's own handling.
    static void GuardPlatformStart(bool on);
};

}  // namespace sphyra
