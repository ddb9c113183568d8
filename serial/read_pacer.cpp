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
    connect(&m_timer, &QTimer::timeout, this, &ReadPacer::Tick);
}

void ReadPacer::SetIntervalMs(int ms) {
    const int interval = ms > 0 ? ms : 0;
    // Asked again while not paused (the port was closed, say), pausing is tried again.
    if (interval == m_intervalMs && (interval == 0 || Paused())) return;
    m_intervalMs = interval;
    if (m_intervalMs == 0) {
        Resume();
    } else {
        Pause();
    }
}

void ReadPacer::PortOpened() {
    m_notifier = nullptr;
    if (m_intervalMs > 0) Pause();
}

void ReadPacer::PortClosed() {
    m_timer.stop();
    m_notifier = nullptr;
}

void ReadPacer::Pause() {
#ifdef Q_OS_UNIX
    // Bytes Qt already holds would come after those read from the device; they are taken at
    // every arrival, so this only waits for the next one.
    QSocketNotifier* notifier = m_port.isOpen() ? ReadNotifier() : nullptr;
    if (notifier == nullptr || m_port.bytesAvailable() > 0) return;
    notifier->setEnabled(false);
    m_timer.start(m_intervalMs);
#endif
}

void ReadPacer::Resume() {
    m_timer.stop();
    if (m_notifier != nullptr && m_port.isOpen()) m_notifier->setEnabled(true);
}

void ReadPacer::Tick() {
#ifdef Q_OS_UNIX
    const int fd = static_cast<int>(m_port.handle());
    std::array<char, 16384> buffer;  // filled by read before any use
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            m_received(buffer.data(), n);
            // The handler may have closed the port. Otherwise read on until the device has
            // nothing more: a terminal holds only a few kilobytes, and reading makes room for
            // what the sender holds back.
            if (!m_timer.isActive()) return;
            // A short read took all the terminal held. A hang-up since then shows at the next
            // tick, which reads nothing and asks.
            if (static_cast<std::size_t>(n) < buffer.size()) return;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    // A terminal set up as QSerialPort sets it up reads nothing both when it is empty and when it
    // has hung up; only a hung-up one still polls readable. Then, or on an error, Qt's own read
    // finds out what happened and says so (bytes that arrived just now it simply reads).
    pollfd device{fd, POLLIN, 0};
    if (::poll(&device, 1, 0) != 0) Resume();
#endif
}

QSocketNotifier* ReadPacer::ReadNotifier() {
    if (m_notifier != nullptr) return m_notifier;
    for (QSocketNotifier* notifier :
         m_port.findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly)) {
        if (notifier->type() == QSocketNotifier::Read) {
            m_notifier = notifier;
            break;
        }
    }
    return m_notifier;
}

}  // namespace sphyra
