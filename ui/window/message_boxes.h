#pragma once

#include <QString>
#include <string>

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

    // A notice of the port layer (UTF-8) in the interface's language: each of its lines that
    // is one of the layer's fixed texts is translated, the rest (device names, the system's
    // own words) is kept as it came.
    static QString Translate(const std::string& text);
};

}  // namespace sphyra
