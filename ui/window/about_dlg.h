#pragma once

#include <QDialog>

namespace sphyra {

// The About box: product line, icon and the makers' contact lines. OK and Esc close it.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace sphyra
