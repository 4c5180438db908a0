#include "FrameSource.h"

#include <algorithm>
#include <array>

namespace devsim {

namespace {

// The seven bars of a test card, left to right.
constexpr std::array<uint32_t, 7> kBars = {0xFFC0C0C0, 0xFFC0C000, 0xFF00C0C0, 0xFF00C000,
                                           0xFFC000C0, 0xFFC00000, 0xFF0000C0};
constexpr uint32_t kBand = 0xFF101010;
constexpr uint32_t kInk = 0xFFFFFFFF;
constexpr int kGlyphScale = 3;
constexpr int kGlyphAdvance = 4 * kGlyphScale;

// 3x5 glyphs, one row per entry, bit 2 the leftmost pixel.
struct Glyph {
    char c;
    std::array<uint8_t, 5> rows;
};
constexpr std::array<Glyph, 13> kGlyphs = {{
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 7, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 1, 1}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'.', {0, 0, 0, 0, 2}}, {':', {0, 2, 0, 2, 0}},
    {'-', {0, 0, 7, 0, 0}},
}};

const Glyph* FindGlyph(char c) {
    for (const auto& g : kGlyphs)
        if (g.c == c) return &g;
    return nullptr;
}

void Put(std::vector<uint8_t>& px, int stride, int x, int y, uint32_t colour) {
    uint8_t* p = &px[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4];
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(colour >> (8 * i));
}

}  // namespace

FrameSource::FrameSource(std::string caption, int width, int height)
    : m_caption(std::move(caption)), m_width(std::clamp(width, 16, 4096)), m_height(std::clamp(height, 16, 4096)) {}

int FrameSource::MarkerX(uint32_t sequence) const {
    int span = m_width - kMarkerSize;
    if (span <= 0) return 0;  // no room to move
    // Back and forth, 8 pixels a frame.
    int pos = static_cast<int>((sequence * 8u) % static_cast<uint32_t>(2 * span));
    return pos <= span ? pos : 2 * span - pos;
}

void FrameSource::Render(uint32_t sequence, std::vector<uint8_t>* pixels) const {
    std::vector<uint8_t>& px = *pixels;
    const int stride = Stride();
    px.assign(static_cast<size_t>(stride) * m_height, 0);
    const int barsBottom = m_height * 2 / 3;
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            uint32_t colour = y < barsBottom ? kBars[static_cast<size_t>(x) * kBars.size() / m_width] : kBand;
            Put(px, stride, x, y, colour);
        }
    }
    const int markerX = MarkerX(sequence);
    const int markerY = std::max(0, barsBottom - kMarkerSize / 2);
    for (int y = markerY; y < std::min(m_height, markerY + kMarkerSize); ++y)
        for (int x = markerX; x < markerX + kMarkerSize; ++x) Put(px, stride, x, y, kInk);

    int penX = 8;
    const int penY = std::min(m_height - 5 * kGlyphScale, barsBottom + kMarkerSize);
    for (char c : m_caption) {
        if (penX + 3 * kGlyphScale > m_width) break;
        if (const Glyph* g = FindGlyph(c)) {
            for (int row = 0; row < 5; ++row)
                for (int col = 0; col < 3; ++col)
                    if (g->rows[static_cast<size_t>(row)] & (4 >> col))
                        for (int dy = 0; dy < kGlyphScale; ++dy)
                            for (int dx = 0; dx < kGlyphScale; ++dx)
                                Put(px, stride, penX + col * kGlyphScale + dx, penY + row * kGlyphScale + dy, kInk);
        }
        penX += kGlyphAdvance;
    }
}

}  // namespace devsim
