#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

class QSerialPort;
class QSocketNotifier;

namespace sphyra {

// Reads a QSerialPort's device itself, at every arrival or in batches on a timer. QSerialPort
// reads into its own buffer from inside its read notifier, where a handler may neither close the
// port nor run an event loop, so what it reads must be handed on through a queued call: one more
// pass of the event loop for every arrival. Reading the descriptor from a notifier of our own
// (or from a timer, to turn many small reads into one while nobody watches) hands the bytes on
// straight away. QSerialPort's notifier stays off meanwhile; a hang-up or read error gives the
// device back to it, so Qt finds out what happened and reports it as it always does.
//
// QSerialPort's notifier is found as its child (on Unix it is made at open and deleted at close);
// where there is none, or off Unix, QSerialPort reads as usual and the interval is ignored.
class ReadPacer final : public QObject {
    Q_OBJECT

public:
    using Received = std::function<void(const char* bytes, qint64 n)>;

    ReadPacer(QSerialPort& port, Received received, QObject* parent = nullptr);
    ~ReadPacer() override;

    // Reads once per `ms` milliseconds; 0 reads at every arrival, starting with whatever waits.
    void SetIntervalMs(int ms);
    int IntervalMs() const { return m_intervalMs; }

    // The port opened or closed: its descriptor and notifier are new, or gone.
    void PortOpened();
    void PortClosed();

    // Reading waits for the timer.
    bool Paused() const { return m_timer.isActive(); }
    // Bytes reach `received` from here rather than through QSerialPort.
    bool ReadsItself() const { return m_watch != nullptr; }

private:
    void Apply();
    void Read();
    void HandBack();
    QSocketNotifier* QtNotifier();

    QSerialPort& m_port;
    Received m_received;
    QTimer m_timer;
    std::unique_ptr<QSocketNotifier> m_watch;  // ours, on the port's descriptor
    QPointer<QSocketNotifier> m_qtNotifier;
    int m_intervalMs = 0;
};

}  // namespace sphyra
