#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

class QSerialPort;
class QSocketNotifier;

namespace sphyra {

// Lets a QSerialPort's device be read in batches on a timer instead of at every arrival.
// QSerialPort reads the device into its own buffer whenever its read notifier fires, so a busy
// link wakes the program once per arrival whether or not anyone needs the bytes yet. While pacing,
// that notifier is off and each tick reads what waits straight from the port's descriptor, handing
// it to `received`; Qt's own reading cannot be used for it, since emptying QSerialPort's buffer
// switches the notifier back on. A hang-up or read error gives the device back to the notifier at
// once, so Qt reports it as it always does.
//
// The notifier is QSerialPort's own (on Unix a child of the port, made at open and deleted at
// close); where there is none, or off Unix, the port simply reads at every arrival.
class ReadPacer final : public QObject {
    Q_OBJECT

public:
    using Received = std::function<void(const char* bytes, qint64 n)>;

    ReadPacer(QSerialPort& port, Received received, QObject* parent = nullptr);

    // Reads once per `ms` milliseconds; 0 goes back to reading at every arrival, starting with
    // whatever waits.
    void SetIntervalMs(int ms);
    int IntervalMs() const { return m_intervalMs; }

    // The port opened or closed: its notifier is new, or gone.
    void PortOpened();
    void PortClosed();

    // Reading waits for the ticks.
    bool Paused() const { return m_timer.isActive(); }

private:
    void Pause();
    void Resume();
    void Tick();
    QSocketNotifier* ReadNotifier();

    QSerialPort& m_port;
    Received m_received;
    QTimer m_timer;
    QPointer<QSocketNotifier> m_notifier;
    int m_intervalMs = 0;
};

}  // namespace sphyra
