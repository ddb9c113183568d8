#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace sphyra {

// Finds a font that draws the program's Chinese texts: "宋体" (SimSun) where it is installed,
// otherwise another installed CJK font, so no label turns into empty boxes.
class CjkFont {
public:
    static constexpr int kDialogPointSize = 10;
    static constexpr int kAboutPointSize = 9;

    // Families tried in order before any other family that claims Simplified Chinese.
    static QStringList PreferredFamilies();

    // True when `family` is installed and has a glyph for every character of the window texts.
    static bool RendersChinese(const QString& family);

    // The family to use, looked up once; empty when no installed font renders Chinese.
    static QString Family();

    // The family at `pointSize`; the application's default family when none was found.
    static QFont Font(int pointSize);

    // Makes Font(kDialogPointSize) the application font. When no CJK font is installed, says so on
    // standard error and returns false; the program still runs.
    static bool ApplyToApplication();
};

}  // namespace sphyra
