#include "ui/window/about_menu.h"

#include <QAction>
#include <QByteArray>
#include <QMenu>
#include <QPoint>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace sphyra {

AboutMenu::AboutMenu(QWidget* window)
    : QObject(window), m_window(window), m_action(new QAction(tr(kText), this)) {
    m_action->setObjectName(QStringLiteral("aboutAction"));
    connect(m_action, &QAction::triggered, this, &AboutMenu::AboutRequested);
    AddToSystemMenu();
}

void AboutMenu::AddToSystemMenu() {
#ifdef Q_OS_WIN
    HMENU menu = ::GetSystemMenu(reinterpret_cast<HWND>(m_window->winId()), FALSE);
    if (menu == nullptr) return;
    const QString text = m_action->text();
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kCommandId, reinterpret_cast<LPCWSTR>(text.utf16()));
#endif
}

bool AboutMenu::HandleNativeEvent(const QByteArray& eventType, void* message) {
#ifdef Q_OS_WIN
    if (eventType != "windows_generic_MSG" || message == nullptr) return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_SYSCOMMAND || !IsAboutCommand(msg->wParam)) return false;
    // Leave the native handler before the About box starts its own event loop.
    QMetaObject::invokeMethod(m_action, &QAction::trigger, Qt::QueuedConnection);
    return true;
#else
    (void)eventType;
    (void)message;
    return false;
#endif
}

void AboutMenu::ShowContextMenu(const QPoint& globalPos) {
#ifndef Q_OS_WIN
    QMenu menu(m_window);
    menu.addAction(m_action);
    menu.exec(globalPos);
#else
    (void)globalPos;
#endif
}

}  // namespace sphyra
