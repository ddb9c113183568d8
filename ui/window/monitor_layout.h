#pragma once

#include <QtGlobal>
#include <span>

class QString;

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace sphyra {

class DialogUnits;
class PortCombo;

enum class ControlKind {
    Button,
    GrayFrame,
    GroupBox,
    Text,
    PortList,   // drop-down list, not editable
    BaudCombo,  // drop-down combo box with an edit field
    ReadOnlyEdit,
    SerialControl,  // the port component: no widget of its own
    CheckBox,
    Picture,
    ListView,
};

inline constexpr unsigned kDisabled = 1;
inline constexpr unsigned kHidden = 2;
inline constexpr int kNoId = -1;

// One control of the main window: identifier, kind, caption, rectangle in dialog units,
// initial state and (optionally, as 0xRRGGBB) its text colour.
struct ControlSpec {
    int id;
    ControlKind kind;
    const char* caption;
    int x, y, width, height;
    unsigned flags = 0;
    int textRgb = -1;
};

// The controls the window talks to, by identifier.
struct MonitorControls {
    QListWidget* list = nullptr;           // 3002
    QCheckBox* softFilter = nullptr;       // 1021
    QComboBox* baud = nullptr;             // 1001
    PortCombo* port = nullptr;             // 1003
    QPushButton* openClose = nullptr;      // 1002
    QPushButton* exit = nullptr;           // 1016
    QPushButton* startSampling = nullptr;  // 1017
    QPushButton* stopSampling = nullptr;   // 1018
    QPushButton* readAddress = nullptr;    // 1008
    QCheckBox* autoStop = nullptr;         // 1012
    QCheckBox* autoAdjust = nullptr;       // 1020
    QCheckBox* autoPurge = nullptr;        // 1023
    QLabel* prompt = nullptr;              // 1049
    QLabel* hints = nullptr;               // 1050
    QFrame* waveFrame = nullptr;           // 1024
    QGroupBox* waveGroup = nullptr;        // 1039
    QLineEdit* gain = nullptr;             // 1004
    QLineEdit* battery = nullptr;          // 1006
    QLineEdit* address = nullptr;          // 1009
    QLineEdit* interval = nullptr;         // 1011
};

// The main window's controls as one table, in tab order, and the builder that makes widgets of
// it. Each widget with an identifier carries it as its object name ("1017").
class MonitorLayout {
public:
    static constexpr int kWidth = 562;  // dialog units
    static constexpr int kHeight = 356;
    static constexpr char kTitle[] =
        QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "启星无线红外脉搏传感器");

    // The title as the interface's language has it.
    static QString Title();

    static std::span<const ControlSpec> Controls();

    // Creates every control on `dialog` and chains the focusable ones in table order.
    static MonitorControls Build(QWidget* dialog, const DialogUnits& units);
};

}  // namespace sphyra
