#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace sphyra {

// Converts dialog-template units to pixels the way the Windows dialog manager does, so the
// windows keep their designed proportions whatever font and screen they meet: one horizontal
// unit is a quarter of the font's average Latin letter width, one vertical unit an eighth of
// its height, each coordinate rounded on its own.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

    int X(int du) const { return MulDiv(du, m_baseX, 4); }
    int Y(int du) const { return MulDiv(du, m_baseY, 8); }
    QRect Rect(int x, int y, int width, int height) const {
        return {X(x), Y(y), X(width), Y(height)};
    }
    QSize Size(int width, int height) const { return {X(width), Y(height)}; }

    // a * b / c rounded to the nearest integer, halves away from zero.
    static int MulDiv(int a, int b, int c);

private:
    int m_baseX;
    int m_baseY;
};

}  // namespace sphyra
