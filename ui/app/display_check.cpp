#include "ui/app/display_check.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace sphyra {
namespace {

bool Set(const char* value) {
    return value != nullptr && *value != '\0';
}

void GuardedHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr,
                     "sphyra: cannot open a window: no display could be reached (DISPLAY=%s); "
                     "run it in a desktop session or set DISPLAY.\n",
                     Set(display) ? display : "unset");
        std::fflush(stderr);
        std::_Exit(1);
    }
    const std::string_view category = context.category != nullptr ? context.category : "";
    if (category.starts_with("qt.qpa")) return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}  // namespace

std::string DisplayCheck::MissingReason(const Environment& environment) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    const char* platform = environment("QT_QPA_PLATFORM");
    const std::string_view name = Set(platform) ? platform : "";
    const bool x11 = Set(environment("DISPLAY"));
    const bool wayland = Set(environment("WAYLAND_DISPLAY"));
    if (name.empty() && !x11 && !wayland)
        return "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
    if (name.starts_with("xcb") && !x11)
        return "no display: QT_QPA_PLATFORM is xcb but DISPLAY is not set";
    if (name.starts_with("wayland") && !wayland && name.find("xcb") == std::string_view::npos)
        return "no display: QT_QPA_PLATFORM is wayland but WAYLAND_DISPLAY is not set";
#else
    (void)environment;
#endif
    return {};
}

void DisplayCheck::GuardPlatformStart(bool on) {
    qInstallMessageHandler(on ? GuardedHandler : nullptr);
}

}  // namespace sphyra
