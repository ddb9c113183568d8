#pragma once

#include <QObject>

class QAction;
class QByteArray;
class QPoint;
class QWidget;

namespace sphyra {

// The "About" entry of the main window. On Windows it goes at the end of the window's system
// menu, after a separator, as command 16; other desktops have no system menu a program can
// extend, so there it is offered in a context menu on the window's background.
class AboutMenu : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned kCommandId = 16;
    static constexpr char kText[] = QT_TRANSLATE_NOOP("sphyra::AboutMenu", "关于 Sphyra(&A)...");

    explicit AboutMenu(QWidget* window);

    QAction* Action() const { return m_action; }

    // System commands 16–31 are ours; the low four bits of a command belong to the system.
    static bool IsAboutCommand(unsigned long long command) { return (command & 0xFFF0) == 16; }

    // For the window's nativeEvent: true when the message was the About command.
    bool HandleNativeEvent(const QByteArray& eventType, void* message);

    // For the window's contextMenuEvent: pops the menu up where the operator clicked.
    void ShowContextMenu(const QPoint& globalPos);

signals:
    void AboutRequested();

private:
    void AddToSystemMenu();

    QWidget* m_window;
    QAction* m_action;
};

}  // namespace sphyra
