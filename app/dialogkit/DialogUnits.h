// Dialog units to pixels, as the original dialog framework computes them from
// the dialog font: the horizontal base is the average width of the Latin
// letters, the vertical base the font's character height; one horizontal unit
// is a quarter of the first, one vertical unit an eighth of the second.
#pragma once

#include <QFont>
#include <QRect>

namespace dlgkit {

class DialogUnits {
public:
    // Measures `font` once. Cheap to copy.
    explicit DialogUnits(const QFont& font);
    // For tests and for callers that already know the bases (in pixels).
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }
    // Rounded to the nearest pixel, as a 32-bit MulDiv would.
    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(int x, int y, int cx, int cy) const;

private:
    int m_baseX;
    int m_baseY;
};

}  // namespace dlgkit
