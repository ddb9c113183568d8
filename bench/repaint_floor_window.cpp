// A second floor for bench/xvfb_load_bench.sh: the least a Qt Widgets window does to show each
// burst of a link as it arrives. It reads the device given on the command line as soon as
// bytes wait, and repaints a 40-pixel strip of a view the size of the program's trace, moving
// on like a sweep. No parsing, no list, no read-outs: what is left is Qt and the X server.
// With --paint-every-ms, it instead wakes only on a timer of that period, reads what waits and
// repaints one strip: with 20, the least any window pays to show one sensor's 50 frames a
// second, since it cannot wake or repaint less and still show each.
//
//   repaint_floor_window DEVICE [--paint-every-ms MS]

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
    explicit Strip(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

    void Advance() {
        m_x = (m_x + kStep) % width();
        update(QRect(m_x, 0, kStep, height()));
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.fillRect(event->rect(), QColor(0, 0, 200));
        painter.setPen(Qt::white);
        const QRect r = event->rect();
        painter.drawLine(r.left(), height() / 2 + (m_x % 60), r.right(), height() / 2);
    }

private:
    static constexpr int kStep = 40;
    int m_x = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const bool timed = argc == 4 && std::strcmp(argv[2], "--paint-every-ms") == 0;
    if (argc != 2 && !timed) {
        std::fputs("usage: repaint_floor_window DEVICE [--paint-every-ms MS]\n", stderr);
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
    Strip strip(&window);
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
