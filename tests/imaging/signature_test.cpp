#include "imaging/signature.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

using test::solidPicture;

SignatureColor sc(int b, int g, int r, int l)
{
    return SignatureColor{std::uint8_t(b), std::uint8_t(g), std::uint8_t(r), std::uint8_t(l)};
}

TEST(SignatureLuma, TruncatesTheExtendedPrecisionSum)
{
    const struct {
        int r, g, b, luma;
    } rows[] = {
        {30, 20, 10, 21}, {63, 63, 63, 62}, {126, 126, 126, 125}, {0, 0, 0, 0},   {64, 64, 64, 64},
        {128, 128, 128, 128}, {255, 255, 255, 255}, {255, 0, 0, 76}, {0, 255, 0, 149}, {0, 0, 255, 29},
    };
    for (const auto& r : rows)
        EXPECT_EQ(signatureLuma(std::uint8_t(r.r), std::uint8_t(r.g), std::uint8_t(r.b)), r.luma)
            << r.r << "," << r.g << "," << r.b;
}

TEST(ComputeSignature, SolidColourGivesFiveEqualEntries)
{
    const ColorSignature s = computeSignature(solidPicture(123, 45, Bgr{10, 20, 30}));
    for (int q = 0; q < 5; ++q)
        EXPECT_EQ(s.c[q], sc(10, 20, 30, 21)) << "entry " << q;
}

TEST(ComputeSignature, HalfBlackHalfWhite)
{
    Picture p = solidPicture(64, 40, Bgr{0, 0, 0});
    p.fillRect(Rect{32, 0, 64, 40}, Bgr{255, 255, 255});
    const ColorSignature s = computeSignature(p);
    EXPECT_EQ(s.c[TopLeft], sc(0, 0, 0, 0));
    EXPECT_EQ(s.c[BottomLeft], sc(0, 0, 0, 0));
    EXPECT_EQ(s.c[TopRight], sc(255, 255, 255, 255));
    EXPECT_EQ(s.c[BottomRight], sc(255, 255, 255, 255));
    EXPECT_EQ(s.mean(), sc(127, 127, 127, 127));
}

TEST(ComputeSignature, GreyQuadrantLumasFollowTheExtendedEvaluation)
{
    Picture p(32, 32);
    p.fillRect(Rect{0, 0, 16, 16}, Bgr{63, 63, 63});
    p.fillRect(Rect{16, 0, 32, 16}, Bgr{126, 126, 126});
    p.fillRect(Rect{0, 16, 16, 32}, Bgr{64, 64, 64});
    p.fillRect(Rect{16, 16, 32, 32}, Bgr{128, 128, 128});
    const ColorSignature s = computeSignature(p);
    EXPECT_EQ(s.c[TopLeft], sc(63, 63, 63, 62));
    EXPECT_EQ(s.c[TopRight], sc(126, 126, 126, 125));
    EXPECT_EQ(s.c[BottomLeft], sc(64, 64, 64, 64));
    EXPECT_EQ(s.c[BottomRight], sc(128, 128, 128, 128));
    // Mean of the bytes: (63+126+64+128)/4 = 95; mean luma (62+125+64+128)/4 = 94.
    EXPECT_EQ(s.mean(), sc(95, 95, 95, 94));
}

TEST(ComputeSignature, OnePixelPictureGivesItsColourEverywhere)
{
    const ColorSignature s = computeSignature(solidPicture(1, 1, Bgr{200, 100, 50}));
    const std::uint8_t l = signatureLuma(50, 100, 200);
    for (int q = 0; q < 5; ++q)
        EXPECT_EQ(s.c[q], sc(200, 100, 50, l)) << "entry " << q;
}

TEST(ComputeSignature, QuadrantsFloorTheReducedPixelsAndMeanShiftsTheSum)
{
    // 32 x 32 needs no resampling, so the quadrant sums are known exactly.
    std::mt19937 rng(3);
    Picture p(32, 32);
    for (std::size_t i = 0; i < p.byteSize(); ++i)
        p.data()[i] = static_cast<std::uint8_t>(rng() & 0xFF);
    const ColorSignature s = computeSignature(p);
    const int origins[4][2] = {{0, 0}, {16, 0}, {0, 16}, {16, 16}};
    int meanSum[4] = {0, 0, 0, 0};
    for (int q = 0; q < 4; ++q) {
        int sb = 0, sg = 0, sr = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const Bgr c = p.pixel(origins[q][0] + x, origins[q][1] + y);
                sb += c.b;
                sg += c.g;
                sr += c.r;
            }
        const auto b = std::uint8_t(sb / 256), g = std::uint8_t(sg / 256), r = std::uint8_t(sr / 256);
        EXPECT_EQ(s.c[q], (SignatureColor{b, g, r, signatureLuma(r, g, b)})) << "quadrant " << q;
        meanSum[0] += s.c[q].blue;
        meanSum[1] += s.c[q].green;
        meanSum[2] += s.c[q].red;
        meanSum[3] += s.c[q].luma;
    }
    EXPECT_EQ(s.mean(), sc(meanSum[0] >> 2, meanSum[1] >> 2, meanSum[2] >> 2, meanSum[3] >> 2));
}

TEST(ComputeSignature, WidePictureIsSqueezedNotCropped)
{
    // Left quarter red, rest blue: after squeezing to 32 x 32 the left
    // quadrants are half red, half blue.
    Picture p = solidPicture(400, 10, Bgr{255, 0, 0});
    p.fillRect(Rect{0, 0, 100, 10}, Bgr{0, 0, 255});
    const ColorSignature s = computeSignature(p);
    EXPECT_EQ(s.c[TopLeft].red, 127);
    EXPECT_EQ(s.c[TopLeft].blue, 127);
    EXPECT_EQ(s.c[TopRight].blue, 255);
    EXPECT_EQ(s.c[TopRight].red, 0);
}

TEST(ComputeSignature, EmptyPictureGivesBlack)
{
    const ColorSignature s = computeSignature(Picture{});
    EXPECT_EQ(s, ColorSignature{});
}

} // namespace
} // namespace tw
