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
    // A batch ended late by the usual few percent would keep bytes waiting past the interval.
    m_batch.setSingleShot(true);
    m_batch.setTimerType(Qt::PreciseTimer);
    connect(&m_batch, &QTimer::timeout, this, &ReadPacer::EndBatch);
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
    if (!Paused()) return;
    const std::int64_t now = m_clock.elapsed();
    m_urgentFromMs = now + std::max(ms - kUrgentLeadMs, 0);
    // Bytes a second late are not coming soon (their sender fell silent, say): batches resume
    // until the next announcement.
    m_urgentUntilMs = now + std::max(ms, 0) + kUrgentGraceMs;
    // A batch under way ends when the window opens, so that what waits then is read and later
    // arrivals are read at once.
    if (m_batch.isActive() && m_urgentFromMs - now < m_batch.remainingTime())
        m_batch.start(static_cast<int>(m_urgentFromMs - now));
}

bool ReadPacer::UrgentWindowOpen() const {
    return Paused() && UrgentNow();
}

bool ReadPacer::UrgentNow() const {
    if (m_urgentFromMs < 0) return false;
    const std::int64_t now = m_clock.elapsed();
    return now >= m_urgentFromMs && now < m_urgentUntilMs;
}

void ReadPacer::PortOpened() {
    m_notifier = nullptr;
    m_urgentFromMs = -1;
    TakeOver();
}

void ReadPacer::PortClosed() {
    m_batch.stop();
    m_readsItself = false;
    m_urgentFromMs = -1;
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
    m_busy = false;
    // An announcement made under the old interval (before a minimise, say) no longer holds.
    m_urgentFromMs = -1;
    // Whatever waits already counts as a first arrival.
    Arm();
#endif
}

void ReadPacer::GiveBack() {
    m_batch.stop();
    m_readsItself = false;
    if (m_arrival != nullptr) m_arrival->setEnabled(false);
    if (m_notifier != nullptr && m_port.isOpen()) m_notifier->setEnabled(true);
}

void ReadPacer::Arm() {
    m_batch.stop();
    if (m_arrival != nullptr) m_arrival->setEnabled(true);
}

void ReadPacer::StartBatch() {
    if (m_arrival != nullptr) m_arrival->setEnabled(false);
    std::int64_t wait = m_intervalMs;
    const std::int64_t now = m_clock.elapsed();
    if (m_urgentFromMs > now) wait = std::min(wait, m_urgentFromMs - now);
    m_batch.start(static_cast<int>(wait));
}

void ReadPacer::OnArrival() {
    if (!m_readsItself) return;
    if (m_intervalMs > 0 && !UrgentNow()) {
        StartBatch();
        return;
    }
    const std::optional<qint64> read = ReadWaiting();
    if (!read) return;
    // The urgent bytes came and the next are announced: on a busy link the others' next batch
    // starts now rather than at their next arrival, one wake-up fewer.
    if (m_busy && m_intervalMs > 0 && !UrgentNow()) StartBatch();
}

void ReadPacer::EndBatch() {
    if (!m_readsItself) return;
    const std::optional<qint64> read = ReadWaiting();
    if (!read) return;
    m_busy = *read > 0;
    // While bytes keep coming the next batch is under way already; after a quiet one, or once
    // arrivals are read at once, the next arrival decides.
    if (*read > 0 && m_intervalMs > 0 && !UrgentNow()) {
        StartBatch();
    } else {
        Arm();
    }
}

std::optional<qint64> ReadPacer::ReadWaiting() {
#ifdef Q_OS_UNIX
    const int fd = static_cast<int>(m_port.handle());
    const unsigned closeCount = m_closeCount;
    std::array<char, 16384> buffer;  // filled by read before any use
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            total += n;
            m_received(buffer.data(), n);
            // The reader may have closed the port (and even opened it again), or a hang-up
            // gave the device back.
            if (m_closeCount != closeCount || !m_readsItself) return std::nullopt;
            // A short read took all the terminal held; a hang-up since then shows at the next
            // arrival, which reads nothing and asks. Otherwise read on: a terminal holds only a
            // few kilobytes, and reading makes room for what the sender holds back.
            if (static_cast<std::size_t>(n) < buffer.size()) return total;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    GiveBackIfHungUp();
    if (!m_readsItself) return std::nullopt;
    return total;
#else
    return std::nullopt;
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
