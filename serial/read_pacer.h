#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <functional>

class QSerialPort;
class QSocketNotifier;

namespace sphyra {

// Reads a QSerialPort's device itself, handing the bytes to `received` straight from the event
// loop: at every arrival, or in batches on a timer.
//
// QSerialPort reads the device into its own buffer from inside its read notifier, so a reader
// that may close the port or run a dialog must not act in its readyRead; it has to come back in a
// later pass of the loop, another wake-up for every arrival. Read here, the bytes come from a
// notifier of our own, outside QSerialPort, and can be acted on at once. Paced, our notifier is
// off too and each tick reads what waits. While either reads, QSerialPort's notifier is off; Qt's
// own reading cannot be used for it, since emptying QSerialPort's buffer switches its notifier
// back on. A hang-up or read error gives the device back to QSerialPort at once, so Qt reports it
// as it always does.
//
// QSerialPort's notifier is its own (on Unix a child of the port, made at open and deleted at
// close); where there is none, or off Unix, the port reads as Qt does and `received` is never
// called.
class ReadPacer final : public QObject {
    Q_OBJECT

public:
    using Received = std::function<void(const char* bytes, qint64 n)>;

    ReadPacer(QSerialPort& port, Received received, QObject* parent = nullptr);

    // Reads once per `ms` milliseconds; 0 goes back to reading at every arrival, starting with
    // whatever waits.
    void SetIntervalMs(int ms);
    int IntervalMs() const { return m_intervalMs; }

    // How early the window for urgent bytes opens: a sender's period wavers a little, and so
    // does the moment its bytes are read.
    static constexpr int kUrgentLeadMs = 3;

    // While pacing: bytes that should not wait for a tick are due in about `ms` milliseconds, so
    // every arrival is read at once from shortly before then until the next call (which, made
    // when they came, says when the next are due). Asked again in the same millisecond, with the
    // same due time, nothing changes.
    void ExpectUrgentInMs(int ms);
    // Arrivals are being read at once while pacing.
    bool UrgentWindowOpen() const { return m_urgentOpen; }

    // The port opened or closed: its notifier is new, or gone. Call PortClosed before the
    // descriptor closes.
    void PortOpened();
    void PortClosed();

    // Reading waits for the ticks.
    bool Paused() const { return m_timer.isActive(); }
    // The device is read here (at arrivals or ticks) rather than by QSerialPort.
    bool ReadsItself() const { return m_readsItself; }

private:
    void TakeOver();
    void GiveBack();
    void OnArrival();
    void Tick();
    // Reads until the device has nothing more; false when the port closed meanwhile or the
    // device was given back.
    bool ReadWaiting();
    void GiveBackIfHungUp();
    void OpenUrgentWindow();
    void CloseUrgentWindow();
    QSocketNotifier* ReadNotifier();

    QSerialPort& m_port;
    Received m_received;
    QTimer m_timer;
    QTimer m_urgentTimer;                 // opens the window for the next urgent bytes
    std::int64_t m_urgentOpensAtMs = -1;  // on m_clock
    QElapsedTimer m_clock;
    QPointer<QSocketNotifier> m_notifier;  // QSerialPort's
    QPointer<QSocketNotifier> m_arrival;   // ours, on the same descriptor, for this open
    int m_intervalMs = 0;
    bool m_readsItself = false;
    bool m_urgentOpen = false;
    unsigned m_closeCount = 0;  // closes so far: a read loop sees the port close under it
};

}  // namespace sphyra
