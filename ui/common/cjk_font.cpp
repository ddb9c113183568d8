#include "ui/common/cjk_font.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <cstdio>

namespace sphyra {

namespace {

// Characters from the window's captions and messages.
const char kProbe[] =
    "启星无线红外脉搏传感器开始停止采样退出打开关闭端口波特率设备地址自动清除不在线确定版";

QString FindFamily() {
    QStringList candidates = CjkFont::PreferredFamilies();
    candidates += QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    for (const QString& family : candidates)
        if (CjkFont::RendersChinese(family)) return family;
    return {};
}

}  // namespace

QStringList CjkFont::PreferredFamilies() {
    return {QStringLiteral("宋体"),
            QStringLiteral("SimSun"),
            QStringLiteral("NSimSun"),
            QStringLiteral("WenQuanYi Micro Hei"),
            QStringLiteral("WenQuanYi Zen Hei"),
            QStringLiteral("Noto Sans CJK SC"),
            QStringLiteral("Noto Serif CJK SC"),
            QStringLiteral("Source Han Sans SC"),
            QStringLiteral("Source Han Sans CN"),
            QStringLiteral("Microsoft YaHei"),
            QStringLiteral("PingFang SC"),
            QStringLiteral("AR PL UMing CN"),
            QStringLiteral("Droid Sans Fallback")};
}

bool CjkFont::RendersChinese(const QString& family) {
    // A font query never fails, it substitutes; so first make sure the family itself is there.
    if (!QFontDatabase::families().contains(family, Qt::CaseInsensitive)) return false;
    if (!QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
        return false;
    QFont font(family);
    font.setStyleStrategy(QFont::NoFontMerging);
    const QFontMetrics metrics(font);
    for (const char32_t ch : QString::fromUtf8(kProbe).toUcs4())
        if (!metrics.inFontUcs4(ch)) return false;
    return true;
}

QString CjkFont::Family() {
    static const QString family = FindFamily();
    return family;
}

QFont CjkFont::Font(int pointSize) {
    QFont font = QApplication::font();
    const QString family = Family();
    if (!family.isEmpty()) font.setFamilies({family});
    font.setPointSize(pointSize);
    return font;
}

bool CjkFont::ApplyToApplication() {
    const bool found = !Family().isEmpty();
    if (!found)
        std::fputs(
            "sphyra: no installed font can draw Chinese text; the window's captions will not be "
            "readable. Install a CJK font such as WenQuanYi Micro Hei or Noto Sans CJK SC.\n",
            stderr);
    QApplication::setFont(Font(kDialogPointSize));
    return found;
}

}  // namespace sphyra
