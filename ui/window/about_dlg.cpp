#include "ui/window/about_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QtGlobal>

#include "ui/app/sphyra_app.h"
#include "ui/common/cjk_font.h"
#include "ui/window/app_icon.h"
#include "ui/window/dialog_units.h"

namespace sphyra {

namespace {

struct TextLine {
    const char* name;
    int x, y, width, height;
};

// Positions in dialog units; the product line keeps clear of the OK button on its right.
constexpr TextLine kLines[] = {
    {"product", 40, 10, 119, 8}, {"version", 40, 22, 119, 8}, {"copyright", 40, 40, 178, 8},
    {"licence", 40, 55, 178, 8}, {"qt", 40, 70, 178, 8},
};

}  // namespace

QStringList CAboutDlg::Lines() {
    return {
        tr("Sphyra 1.0 版"),
        tr("版本 %1 (文件版本 %2)")
            .arg(QString::fromLatin1(CSphyraApp::kProductVersion),
                 QString::fromLatin1(CSphyraApp::kFileVersion)),
        tr("版权所有 © Sphyra 的作者们"),
        tr("许可条款见 README。"),
        tr("运行于 Qt %1").arg(QString::fromLatin1(qVersion())),
    };
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(tr("关于 Sphyra"));
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

    const QStringList texts = Lines();
    for (int i = 0; i < texts.size(); ++i) {
        const TextLine& line = kLines[i];
        auto* label = new QLabel(texts[i], this);
        label->setObjectName(QString::fromLatin1(line.name));
        label->setGeometry(units.Rect(line.x, line.y, line.width, line.height));
    }

    auto* ok = new QPushButton(tr("确定"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(units.Rect(167, 7, 50, 14));
    ok->setDefault(true);
    ok->setFocus();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace sphyra
