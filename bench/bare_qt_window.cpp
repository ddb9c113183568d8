// The floor for bench/startup_bench: the least a Qt Widgets program does to put one window of
// the main window's size on screen, built with the same flags as sphyra.

#include <QApplication>
#include <QDialog>

#include "ui/app/startup_probe.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    sphyra::StartupProbe::InstallIfAsked();
    QDialog window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(640, 440);
    window.show();
    return app.exec();
}
