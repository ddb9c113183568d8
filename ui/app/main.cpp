#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "ui/app/display_check.h"
#include "ui/app/sphyra_app.h"

int main(int argc, char* argv[]) {
    sphyra::CSphyraApp sphyra;
    // --help and --version answer before anything needs a display.
    if (const auto exitCode = sphyra.ParseCommandLine(argc, argv)) return *exitCode;

    const std::string missing = sphyra::DisplayCheck::MissingReason(std::getenv);
    if (!missing.empty()) {
        std::fprintf(stderr, "sphyra: cannot open a window: %s.\n", missing.c_str());
        return 1;
    }
    sphyra::DisplayCheck::GuardPlatformStart(true);
    QApplication app(argc, argv);
    sphyra::DisplayCheck::GuardPlatformStart(false);
    return sphyra.Run();
}
