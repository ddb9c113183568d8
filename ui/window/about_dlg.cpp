#include "ui/window/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "ui/window/app_icon.h"
#include "ui/common/cjk_font.h"
#include "ui/window/dialog_units.h"

namespace sphyra {

namespace {

struct TextLine {
    const char* text;
    int x, y, width, height;
};

constexpr TextLine kLines[] = {
    {"Sphyra 1.0 版", 40, 10, 119, 8},
    {"Sphyra 传感器监视器开发组", 40, 40, 170, 8},
    {"https://sphyra.example.org", 40, 55, 170, 8},
    {"电话: +86 000 0000 0000", 40, 70, 170, 8},
};

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("关于 Sphyra"));
    setFont(CjkFont::Font(CjkFont::kAboutPointSize));
    const DialogUnits units(font());
    setFixedSize(units.Size(224, 96));
    setWindowIcon(AppIcon::Window());

    // A dialog icon is drawn at the system's icon size, not stretched to its box.
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon128"));
    const QRect iconBox = units.Rect(11, 17, 20, 20);
    icon->setGeometry(QRect(iconBox.topLeft(), QSize(32, 32)));
    icon->setPixmap(AppIcon::Window().pixmap(32, 32));

    for (const TextLine& line : kLines) {
        auto* label = new QLabel(QString::fromUtf8(line.text), this);
        label->setGeometry(units.Rect(line.x, line.y, line.width, line.height));
    }

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(units.Rect(167, 7, 50, 14));
    ok->setDefault(true);
    ok->setFocus();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace sphyra
