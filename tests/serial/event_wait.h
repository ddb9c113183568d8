#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace sphyra::test {

// Runs the event loop until `done` holds or `timeoutMs` passes; true when it held.
// The loop blocks waiting for events; a light timer wakes it to look again.
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Runs the event loop for `ms` milliseconds, to watch what happens meanwhile.
inline void RunFor(int ms) {
    RunUntil([] { return false; }, ms);
}

}  // namespace sphyra::test
