#pragma once

#include <QObject>

class QSocketNotifier;

namespace sphyra {

// SIGTERM, SIGINT and SIGHUP turned into a Qt signal on the event loop, so that ending the
// program from outside (a logout, kill, Ctrl+C in the terminal) runs the same shutdown as the
// window's Exit button: the port closes and its lock file goes. The handler only writes the
// signal's number into a socket pair; a second signal of the same kind ends the program at once,
// for the case where the event loop no longer runs.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the socket pair or the handlers could not be set up.
    bool IsActive() const { return m_notifier != nullptr; }

signals:
    void Received(int signalNumber);

private:
    void Drain();

    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace sphyra
