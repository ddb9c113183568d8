#include "serial/read_pacer.h"

#include <QSerialPort>
#include <QSocketNotifier>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#endif

namespace sphyra {

ReadPacer::ReadPacer(QSerialPort& port, Received received, QObject* parent)
    : QObject(parent), m_port(port), m_received(std::move(received)) {
    // A tick late by the usual few percent would keep the bytes waiting past the interval.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReadPacer::Tick);
    m_urgentTimer.setSingleShot(true);
    m_urgentTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_urgentTimer, &QTimer::timeout, this, &ReadPacer::OpenUrgentWindow);
    m_clock.start();
}

void ReadPacer::SetIntervalMs(int ms) {
    const int interval = ms > 0 ? ms : 0;
    // Asked again while Qt reads (it held bytes when last asked, say), taking over is tried again.
    if (interval == m_intervalMs && (m_readsItself || !m_port.isOpen())) return;
    m_intervalMs = interval;
    TakeOver();
}

void ReadPacer::ExpectUrgentInMs(int ms) {
    if (!m_readsItself || m_intervalMs == 0) return;
    const int wait = std::max(ms - kUrgentLeadMs, 0);
    const std::int64_t opensAt = m_clock.elapsed() + wait;
    if (opensAt == m_urgentOpensAtMs && (m_urgentOpen || m_urgentTimer.isActive())) return;
    m_urgentOpensAtMs = opensAt;
    CloseUrgentWindow();
    if (wait == 0) {
        OpenUrgentWindow();
    } else {
        m_urgentTimer.start(wait);
    }
}

void ReadPacer::OpenUrgentWindow() {
    if (!m_readsItself || m_intervalMs == 0 || m_arrival == nullptr) return;
    m_urgentOpen = true;
    m_arrival->setEnabled(true);
}

void ReadPacer::CloseUrgentWindow() {
    m_urgentTimer.stop();
    m_urgentOpen = false;
    if (m_arrival != nullptr && m_intervalMs > 0) m_arrival->setEnabled(false);
}

void ReadPacer::PortOpened() {
    m_notifier = nullptr;
    TakeOver();
}

void ReadPacer::PortClosed() {
    m_timer.stop();
    m_urgentTimer.stop();
    m_urgentOpen = false;
    m_readsItself = false;
    ++m_closeCount;
    if (m_arrival != nullptr) {
        // This may run inside the notifier's own signal, when a reader closes the port.
        m_arrival->setEnabled(false);
        m_arrival->deleteLater();
        m_arrival = nullptr;
    }
    m_notifier = nullptr;
}

void ReadPacer::TakeOver() {
#ifdef Q_OS_UNIX
    // Bytes Qt already holds would come after those read from the device; they are taken at
    // every arrival, so this only waits for the next one.
    QSocketNotifier* notifier = m_port.isOpen() ? ReadNotifier() : nullptr;
    if (notifier == nullptr || m_port.bytesAvailable() > 0) return;
    notifier->setEnabled(false);
    if (m_arrival == nullptr) {
        m_arrival =
            new QSocketNotifier(static_cast<qintptr>(m_port.handle()), QSocketNotifier::Read, this);
        connect(m_arrival, &QSocketNotifier::activated, this, &ReadPacer::OnArrival);
    }
    m_readsItself = true;
    if (m_intervalMs > 0) {
        // Until told when urgent bytes are due, everything waits for the ticks.
        CloseUrgentWindow();
        if (!m_timer.isActive() || m_timer.interval() != m_intervalMs) m_timer.start(m_intervalMs);
    } else {
        m_timer.stop();
        m_urgentTimer.stop();
        m_urgentOpen = false;
        m_arrival->setEnabled(true);
    }
#endif
}

void ReadPacer::GiveBack() {
    m_timer.stop();
    m_urgentTimer.stop();
    m_urgentOpen = false;
    m_readsItself = false;
    if (m_arrival != nullptr) m_arrival->setEnabled(false);
    if (m_notifier != nullptr && m_port.isOpen()) m_notifier->setEnabled(true);
}

void ReadPacer::OnArrival() {
    if (m_readsItself) ReadWaiting();
}

void ReadPacer::Tick() {
    if (m_readsItself) ReadWaiting();
}

bool ReadPacer::ReadWaiting() {
#ifdef Q_OS_UNIX
    const int fd = static_cast<int>(m_port.handle());
    const unsigned closeCount = m_closeCount;
    std::array<char, 16384> buffer;  // filled by read before any use
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            m_received(buffer.data(), n);
            // The reader may have closed the port (and even opened it again), or a hang-up
            // gave the device back.
            if (m_closeCount != closeCount || !m_readsItself) return false;
            // A short read took all the terminal held; a hang-up since then shows at the next
            // arrival or tick, which reads nothing and asks. Otherwise read on: a terminal holds
            // only a few kilobytes, and reading makes room for what the sender holds back.
            if (static_cast<std::size_t>(n) < buffer.size()) return true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    GiveBackIfHungUp();
    return m_readsItself;
#else
    return false;
#endif
}

void ReadPacer::GiveBackIfHungUp() {
#ifdef Q_OS_UNIX
    // A terminal set up as QSerialPort sets it up reads nothing both when it is empty and when it
    // has hung up; only a hung-up one still polls readable. Then, or on an error, Qt's own read
    // finds out what happened and says so (bytes that arrived just now it simply reads).
    pollfd device{static_cast<int>(m_port.handle()), POLLIN, 0};
    if (::poll(&device, 1, 0) != 0) GiveBack();
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
