#include <gtest/gtest.h>

#include "FrameSource.h"

namespace {

uint32_t Pixel(const std::vector<uint8_t>& px, const devsim::FrameSource& s, int x, int y) {
    const uint8_t* p = &px[static_cast<size_t>(y) * s.Stride() + static_cast<size_t>(x) * 4];
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

TEST(FrameSource, DrawsBarsCaptionAndAMarkerThatMoves) {
    devsim::FrameSource source("127.0.0.12:9000");
    std::vector<uint8_t> first, second, again;
    source.Render(0, &first);
    source.Render(1, &second);
    source.Render(0, &again);
    ASSERT_EQ(first.size(), 320u * 240u * 4u);
    EXPECT_EQ(first, again) << "the same picture number gives the same picture";
    EXPECT_NE(first, second) << "the picture must visibly change";
    EXPECT_NE(source.MarkerX(0), source.MarkerX(1));

    // Bars: light grey on the left, blue on the right, every pixel opaque.
    EXPECT_EQ(Pixel(first, source, 0, 0), 0xFFC0C0C0u);
    EXPECT_EQ(Pixel(first, source, 319, 0), 0xFF0000C0u);
    for (int y = 0; y < 240; y += 7)
        for (int x = 0; x < 320; x += 5) ASSERT_EQ(Pixel(first, source, x, y) >> 24, 0xFFu);

    // The caption leaves ink in the lower band; a different address leaves other ink.
    auto inkInBand = [&](const std::vector<uint8_t>& px) {
        int ink = 0;
        for (int y = 170; y < 240; ++y)  // below the marker
            for (int x = 0; x < 320; ++x) ink += Pixel(px, source, x, y) == 0xFFFFFFFFu;
        return ink;
    };
    EXPECT_GT(inkInBand(first), 50);
    devsim::FrameSource other("127.0.0.13:9001");
    std::vector<uint8_t> otherPicture;
    other.Render(0, &otherPicture);
    EXPECT_NE(first, otherPicture);
}

TEST(FrameSource, MarkerStaysInsideThePicture) {
    for (int width : {16, 17, 100, 320}) {
        devsim::FrameSource source("", width, 32);
        for (uint32_t seq = 0; seq < 200; ++seq) {
            int x = source.MarkerX(seq);
            ASSERT_GE(x, 0);
            ASSERT_LE(x + devsim::FrameSource::kMarkerSize, width) << "width " << width << " seq " << seq;
        }
        std::vector<uint8_t> px;
        source.Render(12345, &px);  // must not write outside the buffer
        EXPECT_EQ(px.size(), static_cast<size_t>(source.Stride()) * 32u);
    }
}

}  // namespace
