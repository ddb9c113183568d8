#pragma once

#include <QDialog>
#include <QStringList>

namespace sphyra {

// The About box: icon, product and version, copyright and licence, and the Qt version the
// program runs on. OK and Esc close it.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // The box's lines of text, top to bottom, in the interface's language.
    static QStringList Lines();
};

}  // namespace sphyra
