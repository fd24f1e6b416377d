#include "imaging/picture.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace tw {
namespace {

using test::samePicture;
using test::solidPicture;

// Pixel (x, y) carries its coordinates: blue x, green y, red 1.
Picture coordinates(int w, int h)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y, Bgr{std::uint8_t(x), std::uint8_t(y), 1});
    return p;
}

TEST(Picture, ResizeClearsToBlackWithPackedRows)
{
    Picture p = solidPicture(3, 2, Bgr{5, 6, 7});
    p.resize(4, 3);
    EXPECT_EQ(p.stride(), 12u);
    EXPECT_EQ(p.byteSize(), 36u);
    EXPECT_TRUE(samePicture(p, solidPicture(4, 3, Bgr{0, 0, 0})));
    EXPECT_EQ(p.row(2) - p.row(0), 24);
}

TEST(Picture, ZeroDimensionMakesAnEmptyPicture)
{
    Picture p(5, 0);
    EXPECT_TRUE(p.empty());
    EXPECT_EQ(p.width(), 0);
    EXPECT_EQ(p.byteSize(), 0u);
}

TEST(Picture, OutOfRangeSizeThrowsAndKeepsThePicture)
{
    Picture p = solidPicture(2, 2, Bgr{1, 1, 1});
    for (auto [w, h] : {std::pair{-1, 5}, std::pair{5, -1}, std::pair{Picture::kMaxDimension + 1, 1}}) {
        EXPECT_THROW(p.resize(w, h), std::length_error) << w << "x" << h;
        EXPECT_TRUE(samePicture(p, solidPicture(2, 2, Bgr{1, 1, 1})));
    }
}

TEST(Picture, ColorRefKeepsRedInTheLowByte)
{
    EXPECT_EQ(bgrFromColorRef(0x00112233u), (Bgr{0x11, 0x22, 0x33}));
    EXPECT_EQ(colorRefFromBgr(Bgr{0x11, 0x22, 0x33}), 0x00112233u);
    EXPECT_EQ(bgrFromColorRef(0x000000FFu), (Bgr{0, 0, 255}));
}

TEST(Picture, FillRectIsClippedToThePicture)
{
    Picture p(4, 4);
    p.fillRect(Rect{-2, 2, 2, 10}, Bgr{9, 9, 9});
    p.fillRect(Rect{3, 3, 1, 1}, Bgr{5, 5, 5}); // inverted: nothing
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(p.pixel(x, y), (x < 2 && y >= 2 ? Bgr{9, 9, 9} : Bgr{0, 0, 0})) << x << "," << y;
}

TEST(Picture, FrameRectDrawsTheInsideOutline)
{
    Picture p(5, 4);
    p.frameRect(Rect{0, 0, 5, 4}, Bgr{1, 1, 1});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool edge = x == 0 || x == 4 || y == 0 || y == 3;
            ASSERT_EQ(p.pixel(x, y), (edge ? Bgr{1, 1, 1} : Bgr{0, 0, 0})) << x << "," << y;
        }
}

TEST(CopyRect, ClipsAgainstBothPictures)
{
    const Picture src = coordinates(6, 6);
    Picture dst = solidPicture(4, 4, Bgr{200, 200, 200});
    copyRect(src, -1, 2, dst, 1, -1, 5, 5);
    // Source x -1 and destination y -1 fall away: src (0..2, 3..5) -> dst (2..3, 0..2) limited by widths.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool written = x >= 2 && y <= 2;
            const Bgr expected = written ? src.pixel(x - 2, y + 3) : Bgr{200, 200, 200};
            ASSERT_EQ(dst.pixel(x, y), expected) << x << "," << y;
        }
}

TEST(CopyRect, OverlappingMovesWithinOnePicture)
{
    const struct {
        int sx, sy, dx, dy;
    } moves[] = {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 1, 1}, {1, 1, 0, 0}};
    for (const auto& m : moves) {
        Picture p = coordinates(6, 5);
        const Picture original = p;
        copyRect(p, m.sx, m.sy, p, m.dx, m.dy, 4, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                ASSERT_EQ(p.pixel(m.dx + x, m.dy + y), original.pixel(m.sx + x, m.sy + y))
                    << "move " << m.sx << "," << m.sy << " -> " << m.dx << "," << m.dy << " at " << x << "," << y;
    }
}

TEST(Picture, SwapExchangesEverything)
{
    Picture a = solidPicture(2, 3, Bgr{1, 2, 3}), b = solidPicture(4, 1, Bgr{4, 5, 6});
    a.swap(b);
    EXPECT_TRUE(samePicture(a, solidPicture(4, 1, Bgr{4, 5, 6})));
    EXPECT_TRUE(samePicture(b, solidPicture(2, 3, Bgr{1, 2, 3})));
}

} // namespace
} // namespace tw
