// What one change of a read-out costs the window: the text set, the repaint and its flush to
// the display, with the read-out over a group box as in the main window. Run it under a real X
// server (QT_QPA_PLATFORM=xcb on Xvfb) to count the flush as a user's window pays it.
//
//   readout_change_bench [--rounds N]
//
// For each of three set-ups, in turn and N times (default 3): neither cache, the group box's
// copies only, and the read-out's own copies as well. Prints the process CPU per change.

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "ui/common/cjk_font.h"
#include "ui/common/group_box_paint_cache.h"
#include "ui/common/readout_edit_paint_cache.h"

namespace {

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Microseconds of CPU per change over `changes` changes among five values, as the interval
// read-out jitters.
double Measure(int setUp, int changes) {
    QWidget window;
    window.setFont(sphyra::CjkFont::Font(sphyra::CjkFont::kDialogPointSize));
    window.resize(240, 140);
    auto* box = new QGroupBox(QStringLiteral("设备信息"), &window);
    box->setGeometry(10, 10, 200, 100);
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(40, 50, 60, 22);
    edit->setReadOnly(true);
    if (setUp >= 1) new sphyra::GroupBoxPaintCache(box, {edit});
    if (setUp >= 2) new sphyra::ReadoutEditPaintCache(edit);
    window.show();
    for (int i = 0; i < 50; ++i) QApplication::processEvents();
    // Every value once before the clock starts, as a running window has.
    for (int i = 0; i < 10; ++i) {
        edit->setText(QString::number(18 + i % 5));
        QApplication::processEvents();
    }
    const double start = CpuSeconds();
    for (int i = 0; i < changes; ++i) {
        edit->setText(QString::number(18 + (i * 7) % 5));
        QApplication::processEvents();
        QApplication::processEvents();
    }
    return (CpuSeconds() - start) / changes * 1e6;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    int rounds = 3;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
    sphyra::CjkFont::ApplyToApplication();
    const char* names[] = {"no copies", "group box copies", "group box and read-out copies"};
    for (int round = 1; round <= rounds; ++round)
        for (int setUp = 0; setUp < 3; ++setUp)
            std::printf("round %d  %-30s %6.1f us CPU per change\n", round, names[setUp],
                        Measure(setUp, 2000));
    return 0;
}
