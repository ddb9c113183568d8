// A second floor for bench/xvfb_load_bench.sh: the least a Qt Widgets window does to show each
// burst of a link as it arrives. It reads the device given on the command line as soon as
// bytes wait, and repaints a 40-pixel strip of a view the size of the program's trace, moving
// on like a sweep. No parsing, no list, no read-outs: what is left is Qt and the X server.
// With --paint-every-ms, it instead wakes only on a timer of that period, reads what waits and
// repaints one strip: with 20, the least any window pays to show one sensor's 50 frames a
// second, since it cannot wake or repaint less and still show each.
// With --readout as well, each repaint also draws a count into a fixed box where the program
// shows the latest value. A place repainted every time is one the X server may still be
// reading from shared memory, so Qt waits for a round trip before every paint, as it must for
// any window that shows a changing number or a trace joined to what it drew before.
//
//   repaint_floor_window DEVICE [--paint-every-ms MS [--readout]]

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QPaintEvent>
#include <QPainter>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class Strip : public QWidget {
public:
    Strip(QWidget* parent, bool readout) : QWidget(parent), m_readout(readout) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void Advance() {
        m_x = (m_x + kStep) % width();
        ++m_count;
        update(QRect(m_x, 0, kStep, height()));
        if (m_readout) update(kReadoutBox);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.setPen(Qt::white);
        for (const QRect& r : event->region()) {
            painter.fillRect(r, QColor(0, 0, 200));
            painter.drawLine(r.left(), height() / 2 + (m_x % 60), r.right(), height() / 2);
        }
        if (m_readout && event->region().intersects(kReadoutBox))
            painter.drawText(kReadoutBox, Qt::AlignLeft | Qt::AlignTop, QString::number(m_count));
    }

private:
    static constexpr int kStep = 40;
    // The program's read-out box.
    static constexpr QRect kReadoutBox{8, 4, 60, 20};
    const bool m_readout;
    int m_x = 0;
    int m_count = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const bool timed = argc >= 4 && std::strcmp(argv[2], "--paint-every-ms") == 0;
    const bool readout = timed && argc == 5 && std::strcmp(argv[4], "--readout") == 0;
    if (argc != 2 && !(timed && (argc == 4 || readout))) {
        std::fputs("usage: repaint_floor_window DEVICE [--paint-every-ms MS [--readout]]\n",
                   stderr);
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    QDialog window;
    window.setWindowTitle(QStringLiteral("floor"));
    window.resize(943, 660);
    Strip strip(&window, readout);
    strip.setGeometry(8, 160, 926, 320);
    const auto readAndPaint = [&] {
        char buffer[65536];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        strip.Advance();
    };
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QTimer timer;
    if (timed) {
        notifier.setEnabled(false);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, readAndPaint);
        timer.start(std::max(1, std::atoi(argv[3])));
    } else {
        QObject::connect(&notifier, &QSocketNotifier::activated, readAndPaint);
    }
    window.show();
    return app.exec();
}
