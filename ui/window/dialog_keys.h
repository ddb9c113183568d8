#pragma once

class QKeyEvent;
class QWidget;

namespace sphyra {

// The working window's keys: Enter presses the push button that has the focus (no button is a
// default button, so the button passes the key on); anywhere else Enter and Esc do nothing.
// True when the key was taken; other keys are left to the window.
bool TakeDialogKey(QWidget* focus, QKeyEvent* event);

}  // namespace sphyra
