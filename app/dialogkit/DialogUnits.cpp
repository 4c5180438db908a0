#include "DialogUnits.h"

#include <QFontMetrics>

namespace dlgkit {
namespace {

// The framework averages over the 52 Latin letters and rounds to the nearest
// pixel, so a font with narrow capitals gets the same base on every platform.
constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int MulDivRounded(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QString::fromLatin1(kLetters));
    m_baseX = (width + 26) / 52;
    m_baseY = metrics.height();
}

int DialogUnits::ToPixelsX(int units) const { return MulDivRounded(units, m_baseX, 4); }
int DialogUnits::ToPixelsY(int units) const { return MulDivRounded(units, m_baseY, 8); }

QRect DialogUnits::ToPixels(int x, int y, int cx, int cy) const {
    return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(cx), ToPixelsY(cy));
}

}  // namespace dlgkit
