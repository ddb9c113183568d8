#include <QApplication>
#include <QStringList>

#include "ui/app/sphyra_app.h"

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    sphyra::CSphyraApp sphyra;
    // --help and --version answer before anything needs a display.
    if (const auto exitCode = sphyra.ParseCommandLine(arguments)) return *exitCode;

    QApplication app(argc, argv);
    return sphyra.Run();
}
