#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>

class QSerialPort;
class QSocketNotifier;

namespace sphyra {

// Reads a QSerialPort's device itself, handing the bytes to `received` straight from the event
// loop: at every arrival, or in batches.
//
// QSerialPort reads the device into its own buffer from inside its read notifier, so a reader
// that may close the port or run a dialog must not act in its readyRead; it has to come back in a
// later pass of the loop, another wake-up for every arrival. Read here, the bytes come from a
// notifier of our own, outside QSerialPort, and can be acted on at once. While either reads,
// QSerialPort's notifier is off; Qt's own reading cannot be used for it, since emptying
// QSerialPort's buffer switches its notifier back on. A hang-up or read error gives the device
// back to QSerialPort at once, so Qt reports it as it always does.
//
// In batches, the first byte after a quiet spell starts a batch, read whole when the interval is
// up; while bytes keep coming, batch follows batch, one wake-up each, and once a batch finds
// nothing the next arrival starts one again. A quiet link so costs nothing, and no byte waits
// longer than the interval. Bytes that must not wait at all can be announced: from shortly
// before they are due, arrivals are read at once.
//
// QSerialPort's notifier is its own (on Unix a child of the port, made at open and deleted at
// close); where there is none, or off Unix, the port reads as Qt does and `received` is never
// called.
class ReadPacer final : public QObject {
    Q_OBJECT

public:
    using Received = std::function<void(const char* bytes, qint64 n)>;

    // How early arrivals are read at once before announced bytes are due: a sender's period
    // wavers a little, and so does the moment its bytes are read.
    static constexpr int kUrgentLeadMs = 3;
    // How long past their due time arrivals are still read at once.
    static constexpr int kUrgentGraceMs = 1000;

    ReadPacer(QSerialPort& port, Received received, QObject* parent = nullptr);

    // Reads in batches of `ms` milliseconds; 0 goes back to reading at every arrival, starting
    // with whatever waits.
    void SetIntervalMs(int ms);
    int IntervalMs() const { return m_intervalMs; }

    // While reading in batches: bytes that should not wait are due in about `ms` milliseconds, so
    // every arrival is read at once from shortly before then until the next call (which, made
    // when they came, says when the next are due), or until they are kUrgentGraceMs late.
    void ExpectUrgentInMs(int ms);
    // Arrivals are read at once while reading in batches.
    bool UrgentWindowOpen() const;

    // The port opened or closed: its notifier is new, or gone. Call PortClosed before the
    // descriptor closes.
    void PortOpened();
    void PortClosed();

    // The device is read here in batches.
    bool Paused() const { return m_readsItself && m_intervalMs > 0; }
    // The device is read here (in batches or not) rather than by QSerialPort.
    bool ReadsItself() const { return m_readsItself; }

private:
    void TakeOver();
    void GiveBack();
    // Waits for the first byte of the next batch.
    void Arm();
    void StartBatch();
    void OnArrival();
    void EndBatch();
    // Reads until the device has nothing more: how many bytes, or nothing when the port closed
    // meanwhile or the device was given back.
    std::optional<qint64> ReadWaiting();
    void GiveBackIfHungUp();
    bool UrgentNow() const;
    QSocketNotifier* ReadNotifier();

    QSerialPort& m_port;
    Received m_received;
    QTimer m_batch;  // ends the batch under way
    QElapsedTimer m_clock;
    std::int64_t m_urgentFromMs = -1;  // on m_clock; -1: nothing announced
    std::int64_t m_urgentUntilMs = -1;
    QPointer<QSocketNotifier> m_notifier;  // QSerialPort's
    QPointer<QSocketNotifier> m_arrival;   // ours, on the same descriptor, for this open
    int m_intervalMs = 0;
    bool m_readsItself = false;
    bool m_busy = false;        // the last batch found bytes
    unsigned m_closeCount = 0;  // closes so far: a read loop sees the port close under it
};

}  // namespace sphyra
