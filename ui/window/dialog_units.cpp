#include "ui/window/dialog_units.h"

#include <QFontMetrics>
#include <QString>
#include <cstdint>

namespace sphyra {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // Average over both cases, rounded: (sum / 26 + 1) / 2.
    const int sum = metrics.horizontalAdvance(QString::fromLatin1(kAlphabet));
    m_baseX = (sum / 26 + 1) / 2;
    m_baseY = metrics.height();
}

int DialogUnits::MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const bool negative = (product < 0) != (c < 0);
    const std::int64_t magnitude = product < 0 ? -product : product;
    const std::int64_t divisor = c < 0 ? -static_cast<std::int64_t>(c) : c;
    const std::int64_t rounded = (magnitude + divisor / 2) / divisor;
    return static_cast<int>(negative ? -rounded : rounded);
}

}  // namespace sphyra
