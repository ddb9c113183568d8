#pragma once

#include <QString>

class QWidget;

namespace sphyra {

// The two kinds of message box the program shows. Both are modal to their owner, carry only
// an OK button and are titled with the program's name.
class MessageBoxes {
public:
    // The program file's base name ("sphyra").
    static QString Title();

    // The program's own notices: no icon.
    static void ShowPlain(QWidget* owner, const QString& text);

    // An error the port layer raised: stop icon.
    static void ShowStop(QWidget* owner, const QString& text);
};

}  // namespace sphyra
