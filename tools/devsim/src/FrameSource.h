// The picture an emulated camera streams to a preview: colour bars, the
// device's caption (its address and port) and a marker that moves from frame
// to frame, so that a preview visibly lives and shows whose picture it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devsim {

class FrameSource {
public:
    // caption: drawn in the lower band; digits, '.', ':' and '-' are drawn,
    // other characters leave a blank. width and height: 16..4096.
    explicit FrameSource(std::string caption, int width = 320, int height = 240);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Stride() const { return m_width * 4; }

    // Renders picture number `sequence` into *pixels (resized to
    // Stride() * Height()): each pixel 0xFFRRGGBB, little-endian.
    // Pure: the same sequence always gives the same picture.
    void Render(uint32_t sequence, std::vector<uint8_t>* pixels) const;

    // Where the marker's left edge is in picture number `sequence`.
    int MarkerX(uint32_t sequence) const;

    static constexpr int kMarkerSize = 16;

private:
    std::string m_caption;
    int m_width;
    int m_height;
};

}  // namespace devsim
