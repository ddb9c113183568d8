#pragma once

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <utility>

namespace sphyra {

// A call made from the event loop once, however often it is asked for before the loop gets to
// it: work a paint cannot do inside the paint is asked for there and done just after.
class QueuedOnce {
public:
    // Queues `call` on `context`'s thread unless a call is already waiting. The QueuedOnce must
    // live as long as `context`.
    void Ask(QObject* context, std::function<void()> call) {
        if (m_waiting) return;
        m_waiting = true;
        QMetaObject::invokeMethod(
            context,
            [this, call = std::move(call)] {
                m_waiting = false;
                call();
            },
            Qt::QueuedConnection);
    }

private:
    bool m_waiting = false;
};

}  // namespace sphyra
