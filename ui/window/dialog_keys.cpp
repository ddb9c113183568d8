#include "ui/window/dialog_keys.h"

#include <QKeyEvent>
#include <QPushButton>

namespace sphyra {

bool TakeDialogKey(QWidget* focus, QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* button = qobject_cast<QPushButton*>(focus);
                button != nullptr && button->isEnabled() && button->isVisible())
                button->click();
            event->accept();
            return true;
        case Qt::Key_Escape:
            event->accept();
            return true;
        default:
            return false;
    }
}

}  // namespace sphyra
