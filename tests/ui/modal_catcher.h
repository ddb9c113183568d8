#pragma once

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <vector>

namespace sphyra::test {

// Closes every modal box or popup menu that opens while it lives, recording what it showed.
// Modal boxes run their own event loop, so the polling timer keeps firing inside them.
class ModalCatcher : public QObject {
public:
    struct Seen {
        QString className;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QStringList actions;  // a popup menu's entries
    };

    ModalCatcher() {
        connect(&m_timer, &QTimer::timeout, this, &ModalCatcher::Poll);
        m_timer.start(5);
    }

    const std::vector<Seen>& Boxes() const { return m_seen; }

private:
    void Poll() {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            Seen seen;
            seen.className = QStringLiteral("QMenu");
            for (const QAction* action : menu->actions()) seen.actions.append(action->text());
            m_seen.push_back(seen);
            menu->close();
            return;
        }
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        // The window under test is never run modally here; anything modal is a box it opened.
        if (dialog == nullptr || !dialog->isVisible()) return;
        Seen seen;
        seen.className = QString::fromLatin1(dialog->metaObject()->className());
        seen.title = dialog->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            seen.text = box->text();
            seen.icon = box->icon();
            seen.buttons = box->standardButtons();
        }
        m_seen.push_back(seen);
        dialog->reject();
    }

    QTimer m_timer;
    std::vector<Seen> m_seen;
};

}  // namespace sphyra::test
