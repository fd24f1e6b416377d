#include "imaging/transforms.h"

#include "imaging/resample.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

namespace tw {
namespace {

using test::samePicture;
using test::solidPicture;

Picture noisePicture(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    Picture p(w, h);
    for (std::size_t i = 0; i < p.byteSize(); ++i)
        p.data()[i] = static_cast<std::uint8_t>(rng() & 0xFF);
    return p;
}

// A 3 x 3 picture whose pixel (x, y) is blue x, green y, red 10x + y.
Picture numbered3x3()
{
    Picture p(3, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            p.setPixel(x, y, Bgr{std::uint8_t(x), std::uint8_t(y), std::uint8_t(10 * x + y)});
    return p;
}

TEST(ClampByte, ClampsToTheByteRange)
{
    const struct {
        int in;
        int out;
    } rows[] = {{-5, 0}, {0, 0}, {1, 1}, {254, 254}, {255, 255}, {300, 255}, {INT_MIN, 0}, {INT_MAX, 255}};
    for (const auto& r : rows)
        EXPECT_EQ(clampByte(r.in), r.out) << r.in;
    static_assert(clampByte(-1) == 0 && clampByte(256) == 255 && clampByte(128) == 128);
}

TEST(ShiftColors, MovesEachChannelByItsOwnOffsetAndClamps)
{
    const Picture src = solidPicture(2, 2, Bgr{10, 100, 250});
    Picture out;
    shiftColors(src, out, 20, 0, -20);
    EXPECT_TRUE(samePicture(out, solidPicture(2, 2, Bgr{0, 100, 255})));
    EXPECT_TRUE(samePicture(src, solidPicture(2, 2, Bgr{10, 100, 250}))) << "source changed";
}

TEST(ShiftColors, ChannelsAreNotMixedUp)
{
    Picture p = solidPicture(1, 1, Bgr{100, 100, 100});
    shiftColors(p, p, 1, 2, 3);
    EXPECT_EQ(p.pixel(0, 0), (Bgr{103, 102, 101}));
}

TEST(ShiftColors, ExtremeOffsetsDoNotOverflow)
{
    Picture p = noisePicture(5, 4, 1);
    Picture out;
    shiftColors(p, out, INT_MAX, INT_MIN, INT_MAX);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(out.pixel(x, y), (Bgr{255, 0, 255})) << x << "," << y;
}

TEST(ShiftColors, InPlaceEqualsIntoAnotherPicture)
{
    Picture p = noisePicture(13, 7, 2);
    Picture out;
    shiftColors(p, out, -30, 45, 7);
    shiftColors(p, p, -30, 45, 7);
    EXPECT_TRUE(samePicture(p, out));
}

TEST(ToGreyScale, UsesSeparatelyTruncatedWeights)
{
    const struct {
        Bgr in;
        int grey;
    } rows[] = {
        {{255, 255, 255}, 254}, {{0, 0, 255}, 76},   {{0, 255, 0}, 149}, {{255, 0, 0}, 29},
        {{100, 100, 100}, 98},  {{0, 0, 0}, 0},      {{1, 1, 1}, 0},     {{10, 20, 30}, 1 + 11 + 8},
    };
    for (const auto& r : rows) {
        Picture p = solidPicture(2, 1, r.in);
        toGreyScale(p, p);
        const auto g = static_cast<std::uint8_t>(r.grey);
        EXPECT_EQ(p.pixel(1, 0), (Bgr{g, g, g})) << int(r.in.b) << "," << int(r.in.g) << "," << int(r.in.r);
    }
}

TEST(ToGreyScale, CopyLeavesTheSourceAlone)
{
    const Picture src = noisePicture(6, 6, 3);
    const Picture keep = src;
    Picture out;
    toGreyScale(src, out);
    EXPECT_TRUE(samePicture(src, keep));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const Bgr p = out.pixel(x, y);
            ASSERT_TRUE(p.b == p.g && p.g == p.r) << x << "," << y;
        }
}

TEST(FlipPicture, VerticalExchangesRows)
{
    Picture out;
    flipPicture(numbered3x3(), out, false, true);
    const Picture src = numbered3x3();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            ASSERT_EQ(out.pixel(x, y), src.pixel(x, 2 - y)) << x << "," << y;
}

TEST(FlipPicture, HorizontalExchangesColumns)
{
    Picture out;
    flipPicture(numbered3x3(), out, true, false);
    const Picture src = numbered3x3();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            ASSERT_EQ(out.pixel(x, y), src.pixel(2 - x, y)) << x << "," << y;
}

TEST(FlipPicture, BothIsAHalfTurnWithTheCentreFixed)
{
    Picture p = numbered3x3();
    flipPicture(p, p, true, true);
    const Picture src = numbered3x3();
    EXPECT_EQ(p.pixel(1, 1), src.pixel(1, 1));
    EXPECT_EQ(p.pixel(0, 1), src.pixel(2, 1));
    EXPECT_EQ(p.pixel(2, 1), src.pixel(0, 1));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            ASSERT_EQ(p.pixel(x, y), src.pixel(2 - x, 2 - y)) << x << "," << y;
}

TEST(FlipPicture, EveryShapeMirrorsCorrectly)
{
    const int sizes[][2] = {{1, 1}, {2, 2}, {4, 3}, {3, 4}, {5, 1}, {1, 6}, {8, 7}};
    unsigned seed = 10;
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        const Picture src = noisePicture(w, h, seed++);
        for (int mode = 0; mode < 4; ++mode) {
            const bool hz = mode & 1, vt = mode & 2;
            Picture copy, inPlace = src;
            flipPicture(src, copy, hz, vt);
            flipPicture(inPlace, inPlace, hz, vt);
            ASSERT_TRUE(samePicture(copy, inPlace)) << w << "x" << h << " mode " << mode;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(copy.pixel(x, y), src.pixel(hz ? w - 1 - x : x, vt ? h - 1 - y : y))
                        << w << "x" << h << " mode " << mode << " at " << x << "," << y;
        }
    }
}

TEST(FlipPicture, EmptyPictureStaysEmpty)
{
    Picture p;
    flipPicture(p, p, true, true);
    EXPECT_TRUE(p.empty());
}

TEST(FitSize, TruncatesTheExtendedPrecisionProduct)
{
    const struct {
        int w, h, bw, bh;
        Size expected;
    } rows[] = {
        {640, 480, 201, 161, {201, 150}}, {3, 7, 201, 161, {69, 161}}, {300, 200, 271, 255, {270, 180}},
        {100, 100, 50, 80, {50, 50}},     {1, 1, 10, 10, {10, 10}},    {0, 0, 10, 10, {0, 0}},
        {10, 0, 10, 10, {0, 0}},          {200, 100, 0, 50, {0, 0}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(fitSize(r.w, r.h, r.bw, r.bh), r.expected) << r.w << "x" << r.h << " into " << r.bw << "x" << r.bh;
    EXPECT_DOUBLE_EQ(fitScale(640, 480, 201, 161), 201.0 / 640.0);
    EXPECT_EQ(fitScale(0, 5, 10, 10), 0.0);
}

TEST(FitIntoBox, GivesTheFittedSizeAndStretchedContent)
{
    const Picture src = noisePicture(300, 200, 4);
    Picture out;
    fitIntoBox(src, out, 271, 255);
    Picture expected;
    stretchTo(src, expected, 270, 180);
    EXPECT_TRUE(samePicture(out, expected));
}

TEST(FitIntoBox, EmptySourceLeavesTargetUntouched)
{
    Picture target = solidPicture(4, 4, Bgr{1, 2, 3});
    fitIntoBox(Picture{}, target, 100, 100);
    EXPECT_TRUE(samePicture(target, solidPicture(4, 4, Bgr{1, 2, 3})));
}

TEST(FitIntoBox, SourceMayBeTheTarget)
{
    Picture p = noisePicture(40, 20, 5);
    Picture expected;
    fitIntoBox(p, expected, 10, 10);
    fitIntoBox(p, p, 10, 10);
    EXPECT_EQ(p.width(), 10);
    EXPECT_EQ(p.height(), 5);
    EXPECT_TRUE(samePicture(p, expected));
}

// The product rule in plain 32-bit arithmetic, for sizes where it cannot overflow.
Rect cropRect32(std::int32_t w, std::int32_t h, std::int32_t aw, std::int32_t ah)
{
    std::int32_t x0 = 0, y0 = 0;
    if (w * ah < aw * h)
        y0 = (aw * h - w * ah) / (2 * aw);
    else if (w * ah > aw * h)
        x0 = (w * ah - aw * h) / (2 * ah);
    return Rect{x0, y0, w - x0, h - y0};
}

TEST(AspectCropRect, CutsTheCentredRegion)
{
    const struct {
        int w, h, aw, ah;
        Rect expected;
    } rows[] = {
        {100, 200, 1, 1, {0, 50, 100, 150}},  {300, 100, 1, 1, {100, 0, 200, 100}},
        {100, 201, 1, 2, {0, 0, 100, 201}},   {400, 300, 4, 3, {0, 0, 400, 300}},
        {101, 100, 1, 1, {0, 0, 101, 100}},   {103, 100, 1, 1, {1, 0, 102, 100}},
        {1024, 768, 3072, 1536, {0, 128, 1024, 640}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(aspectCropRect(r.w, r.h, r.aw, r.ah), r.expected) << r.w << "x" << r.h << " to " << r.aw << ":" << r.ah;
}

TEST(AspectCropRect, MatchesThirtyTwoBitRuleWhereItDoesNotOverflow)
{
    std::mt19937 rng(6);
    for (int i = 0; i < 2000; ++i) {
        const int w = 1 + int(rng() % 4000), h = 1 + int(rng() % 4000);
        const int aw = 1 + int(rng() % 3000), ah = 1 + int(rng() % 3000);
        ASSERT_EQ(aspectCropRect(w, h, aw, ah), cropRect32(w, h, aw, ah)) << w << "x" << h << " " << aw << ":" << ah;
    }
}

TEST(AspectCropRect, HugeProductsStayInsideThePicture)
{
    // 131072 x 30000 and 20000 x 131072 overflow 32 bits.
    const Rect r = aspectCropRect(131072, 131072, 20000, 30000);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.left, 21845);
    EXPECT_EQ(r.width(), 131072 - 2 * 21845);
    const Rect t = aspectCropRect(100, 131072, 100000, 1);
    EXPECT_GE(t.top, 0);
    EXPECT_GE(t.height(), 0);
    EXPECT_EQ(t.top, (std::int64_t{100000} * 131072 - 100) / 200000);
}

TEST(CropToAspect, CopiesTheRegionPixelForPixel)
{
    const Picture src = noisePicture(100, 200, 7);
    Picture out;
    cropToAspect(src, out, 1, 1);
    ASSERT_EQ(out.width(), 100);
    ASSERT_EQ(out.height(), 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(out.pixel(x, y), src.pixel(x, y + 50)) << x << "," << y;
}

TEST(CropToAspect, CutsColumnsOfAWidePicture)
{
    const Picture src = noisePicture(300, 100, 8);
    Picture p = src;
    cropToAspect(p, p, 1, 1);
    ASSERT_EQ(p.width(), 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(p.pixel(x, y), src.pixel(x + 100, y)) << x << "," << y;
}

TEST(CropToAspect, MatchingAspectGivesAnUnchangedCopy)
{
    const Picture src = noisePicture(400, 300, 9);
    Picture out = solidPicture(2, 2, Bgr{});
    cropToAspect(src, out, 4, 3);
    EXPECT_TRUE(samePicture(out, src));
    cropToAspect(src, out, 1, 2);
    EXPECT_EQ(out.width(), 150);
    cropToAspect(noisePicture(100, 201, 1), out, 1, 2);
    EXPECT_EQ(out.height(), 201);
}

} // namespace
} // namespace tw
