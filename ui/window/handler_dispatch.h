#pragma once

#include <functional>

class QWidget;

namespace sphyra {

// Runs the window's handlers the way a window framework would: an error that escapes a handler
// (CommError from the port layer, or any other std::exception) is reported to the operator in a
// stop box and the rest of that handler is abandoned. Nothing escapes into Qt's event loop,
// which cannot carry exceptions.
class HandlerDispatch {
public:
    explicit HandlerDispatch(QWidget* owner) : m_owner(owner) {}

    // Returns false when the handler was abandoned because of an error.
    bool Run(const std::function<void()>& handler);

private:
    void Report(const char* text);

    QWidget* m_owner;
    // While one error box is up, its nested event loop keeps the timer and the port running;
    // a repeating fault must not stack a new box on every event.
    bool m_reporting = false;
};

}  // namespace sphyra
