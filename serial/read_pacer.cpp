#include "serial/read_pacer.h"

#include <QSerialPort>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#endif

namespace sphyra {

ReadPacer::ReadPacer(QSerialPort& port, Received received, QObject* parent)
    : QObject(parent), m_port(port), m_received(std::move(received)) {
    connect(&m_timer, &QTimer::timeout, this, &ReadPacer::Read);
}

ReadPacer::~ReadPacer() = default;

void ReadPacer::SetIntervalMs(int ms) {
    const int interval = ms > 0 ? ms : 0;
    if (interval == m_intervalMs) return;
    m_intervalMs = interval;
    Apply();
}

void ReadPacer::PortOpened() {
    PortClosed();
#ifdef Q_OS_UNIX
    QSocketNotifier* qt = QtNotifier();
    if (qt == nullptr || m_port.bytesAvailable() > 0) return;
    // Only one of the two notifiers may watch the descriptor at a time.
    qt->setEnabled(false);
    m_watch = std::make_unique<QSocketNotifier>(m_port.handle(), QSocketNotifier::Read);
    connect(m_watch.get(), &QSocketNotifier::activated, this, &ReadPacer::Read);
    Apply();
#endif
}

void ReadPacer::PortClosed() {
    m_timer.stop();
    m_qtNotifier = nullptr;
    if (m_watch == nullptr) return;
    // The port may close from within our own notifier's activation.
    m_watch->setEnabled(false);
    m_watch.release()->deleteLater();
}

void ReadPacer::Apply() {
    if (m_watch == nullptr) return;
    // At every arrival our notifier fires, at once for whatever already waits.
    m_watch->setEnabled(m_intervalMs == 0);
    if (m_intervalMs == 0) {
        m_timer.stop();
    } else {
        m_timer.start(m_intervalMs);
    }
}

void ReadPacer::Read() {
#ifdef Q_OS_UNIX
    if (m_watch == nullptr) return;
    const int fd = static_cast<int>(m_port.handle());
    std::array<char, 16384> buffer;  // filled by read before any use
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            m_received(buffer.data(), n);
            // The handler may have closed the port. A short read took all there was; after a
            // pause, though, read on until the device has nothing more: a terminal holds only a
            // few kilobytes, and reading makes room for what the sender holds back.
            if (m_watch == nullptr) return;
            if (static_cast<std::size_t>(n) < buffer.size() && m_intervalMs == 0) return;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    // A terminal set up as QSerialPort sets it up reads nothing both when it is empty and when it
    // has hung up; only a hung-up one still polls readable. Then, or on an error, Qt's own read
    // finds out what happened and says so (bytes that arrived just now it simply reads).
    pollfd device{fd, POLLIN, 0};
    if (::poll(&device, 1, 0) != 0) HandBack();
#endif
}

void ReadPacer::HandBack() {
    QSocketNotifier* qt = m_qtNotifier;
    PortClosed();
    if (qt != nullptr) qt->setEnabled(true);
}

QSocketNotifier* ReadPacer::QtNotifier() {
    if (m_qtNotifier != nullptr) return m_qtNotifier;
    for (QSocketNotifier* notifier :
         m_port.findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly)) {
        if (notifier->type() == QSocketNotifier::Read) {
            m_qtNotifier = notifier;
            break;
        }
    }
    return m_qtNotifier;
}

}  // namespace sphyra
