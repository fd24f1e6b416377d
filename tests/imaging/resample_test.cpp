#include "imaging/resample.h"
#include "imaging/transforms.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
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

Picture stretched(const Picture& src, int w, int h)
{
    Picture out;
    stretchTo(src, out, w, h);
    return out;
}

// The straightforward definition: a destination pixel's exact weighted sum
// over its source pixels, rounded once.
Bgr referencePixel(const Picture& src, const AxisWeights& xw, const AxisWeights& yw, int x, int y)
{
    const std::uint64_t total = std::uint64_t{xw.total} * yw.total;
    const auto& tx = xw.tap(x);
    const auto& ty = yw.tap(y);
    std::uint64_t sb = 0, sg = 0, sr = 0;
    for (int j = 0; j < ty.count; ++j)
        for (int i = 0; i < tx.count; ++i) {
            const std::uint64_t wgt = std::uint64_t{xw.weight(tx, i)} * yw.weight(ty, j);
            const Bgr p = src.pixel(tx.firstSource + i, ty.firstSource + j);
            sb += wgt * p.b;
            sg += wgt * p.g;
            sr += wgt * p.r;
        }
    return Bgr{roundWeightedSum(sb, total), roundWeightedSum(sg, total), roundWeightedSum(sr, total)};
}

Picture referenceStretch(const Picture& src, int w, int h)
{
    const AxisWeights xw = axisWeights(src.width(), w), yw = axisWeights(src.height(), h);
    Picture out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out.setPixel(x, y, referencePixel(src, xw, yw, x, y));
    return out;
}

struct SizePair {
    int sw, sh, dw, dh;
};

// Reductions, enlargements, mixed and equal axes, odd ratios and extremes.
const std::vector<SizePair> kSizePairs = {
    {64, 64, 32, 32}, {4000, 3, 32, 3},  {97, 61, 32, 32}, {3, 2, 2, 1},    {7, 5, 3, 2},
    {5, 5, 5, 5},     {2, 3, 9, 11},     {1, 1, 17, 13},   {13, 1, 5, 19},  {17, 40, 40, 17},
    {640, 480, 201, 150}, {31, 29, 32, 32}, {33, 35, 32, 32}, {100, 7, 99, 8}, {1, 50, 1, 3},
};

TEST(AxisWeights, ReductionWeightsAreTheExactOverlaps)
{
    for (int S : {2, 3, 5, 7, 10, 33, 100})
        for (int D = 1; D < S; ++D) {
            const AxisWeights aw = axisWeights(S, D);
            ASSERT_EQ(aw.total, static_cast<std::uint32_t>(S));
            for (int i = 0; i < D; ++i) {
                // Brute force over every source pixel, independent of the tap layout.
                std::vector<std::int64_t> expected(S, 0);
                for (int j = 0; j < S; ++j) {
                    const std::int64_t lo = std::max<std::int64_t>(std::int64_t{i} * S, std::int64_t{j} * D);
                    const std::int64_t hi = std::min<std::int64_t>(std::int64_t{i + 1} * S, std::int64_t{j + 1} * D);
                    expected[j] = std::max<std::int64_t>(0, hi - lo);
                }
                std::vector<std::int64_t> actual(S, 0);
                const auto& t = aw.tap(i);
                for (int k = 0; k < t.count; ++k)
                    actual[t.firstSource + k] = aw.weight(t, k);
                EXPECT_EQ(actual, expected) << S << " -> " << D << " at " << i;
            }
        }
}

TEST(AxisWeights, EnlargementWeightsPlaceTheDestinationCentre)
{
    for (int S : {1, 2, 3, 5, 8})
        for (int D = S + 1; D < 4 * S + 6; ++D) {
            const AxisWeights aw = axisWeights(S, D);
            ASSERT_EQ(aw.total, static_cast<std::uint32_t>(2 * D));
            for (int i = 0; i < D; ++i) {
                const auto& t = aw.tap(i);
                ASSERT_GE(t.firstSource, 0);
                ASSERT_LE(t.firstSource + t.count, S);
                std::int64_t sum = 0, moment = 0;
                for (int k = 0; k < t.count; ++k) {
                    sum += aw.weight(t, k);
                    moment += std::int64_t{aw.weight(t, k)} * (t.firstSource + k);
                }
                EXPECT_EQ(sum, 2 * D);
                // Centre position (2i+1)S/2D - 1/2, clamped to the outer centres, times 2D.
                const std::int64_t n = std::clamp<std::int64_t>(std::int64_t{2 * i + 1} * S - D, 0,
                                                                std::int64_t{2} * D * (S - 1));
                EXPECT_EQ(moment, n) << S << " -> " << D << " at " << i;
            }
        }
}

TEST(AxisWeights, PartialRangeMatchesTheFullRange)
{
    const AxisWeights full = axisWeights(37, 11), part = axisWeights(37, 11, 4, 9);
    for (int i = 4; i < 9; ++i) {
        const auto &a = full.tap(i), &b = part.tap(i);
        ASSERT_EQ(a.firstSource, b.firstSource);
        ASSERT_EQ(a.count, b.count);
        for (int k = 0; k < a.count; ++k)
            EXPECT_EQ(full.weight(a, k), part.weight(b, k));
    }
}

TEST(AxisWeights, RejectsLengthsOutOfRange)
{
    EXPECT_THROW(axisWeights(0, 5), std::invalid_argument);
    EXPECT_THROW(axisWeights(5, 0), std::invalid_argument);
    EXPECT_THROW(axisWeights(kMaxStretchLength + 1, 5), std::invalid_argument);
    EXPECT_THROW(axisWeights(5, 4, 2, 5), std::invalid_argument);
    EXPECT_THROW(axisWeights(5, 4, -1, 2), std::invalid_argument);
}

TEST(StretchRect, UniformPictureStaysExactlyUniform)
{
    const std::vector<Bgr> colours = {{0, 0, 0}, {255, 255, 255}, {1, 128, 254}, {77, 3, 200}};
    for (const SizePair& s : kSizePairs)
        for (const Bgr& c : colours) {
            const Picture out = stretched(solidPicture(s.sw, s.sh, c), s.dw, s.dh);
            EXPECT_TRUE(samePicture(out, solidPicture(s.dw, s.dh, c)))
                << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh;
        }
}

TEST(StretchRect, FastPathEqualsTheStraightforwardFormula)
{
    unsigned seed = 1;
    for (const SizePair& s : kSizePairs) {
        const Picture src = noisePicture(s.sw, s.sh, seed++);
        EXPECT_TRUE(samePicture(stretched(src, s.dw, s.dh), referenceStretch(src, s.dw, s.dh)))
            << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh;
    }
}

TEST(StretchRect, HalvingGivesTheRoundedAverageOfEachBlock)
{
    const Picture src = noisePicture(8, 6, 42);
    const Picture out = stretched(src, 4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            int sum[3] = {0, 0, 0};
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const Bgr p = src.pixel(2 * x + dx, 2 * y + dy);
                    sum[0] += p.b;
                    sum[1] += p.g;
                    sum[2] += p.r;
                }
            const Bgr got = out.pixel(x, y);
            EXPECT_EQ(got.b, (sum[0] + 2) / 4) << x << "," << y;
            EXPECT_EQ(got.g, (sum[1] + 2) / 4) << x << "," << y;
            EXPECT_EQ(got.r, (sum[2] + 2) / 4) << x << "," << y;
        }
}

TEST(StretchRect, ThirdingGivesTheRoundedAverageOfEachBlock)
{
    const Picture src = noisePicture(9, 6, 7);
    const Picture out = stretched(src, 3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            int sum = 0;
            for (int dy = 0; dy < 3; ++dy)
                for (int dx = 0; dx < 3; ++dx)
                    sum += src.pixel(3 * x + dx, 3 * y + dy).g;
            EXPECT_EQ(out.pixel(x, y).g, (sum + 4) / 9) << x << "," << y;
        }
}

TEST(StretchRect, HalfPixelsRoundUp)
{
    Picture src(2, 1);
    src.setPixel(0, 0, Bgr{0, 10, 1});
    src.setPixel(1, 0, Bgr{1, 11, 2});
    const Picture out = stretched(src, 1, 1);
    EXPECT_EQ(out.pixel(0, 0), (Bgr{1, 11, 2})); // 0.5, 10.5, 1.5 round up
}

TEST(StretchRect, FractionalCoverageWeighsPartialPixels)
{
    // 3 -> 2: the middle source pixel is split between both destination pixels.
    Picture src(3, 1);
    src.setPixel(0, 0, Bgr{30, 0, 255});
    src.setPixel(1, 0, Bgr{60, 100, 0});
    src.setPixel(2, 0, Bgr{90, 200, 255});
    const Picture out = stretched(src, 2, 1);
    EXPECT_EQ(out.pixel(0, 0), (Bgr{40, 33, 170}));   // (2a + b) / 3, rounded
    EXPECT_EQ(out.pixel(1, 0), (Bgr{80, 167, 170}));  // (b + 2c) / 3, rounded
}

TEST(StretchRect, EnlargingInterpolatesBetweenCentres)
{
    Picture src(2, 1);
    src.setPixel(0, 0, Bgr{0, 0, 0});
    src.setPixel(1, 0, Bgr{200, 100, 40});
    const Picture out = stretched(src, 4, 1);
    EXPECT_EQ(out.pixel(0, 0), (Bgr{0, 0, 0}));
    EXPECT_EQ(out.pixel(1, 0), (Bgr{50, 25, 10}));
    EXPECT_EQ(out.pixel(2, 0), (Bgr{150, 75, 30}));
    EXPECT_EQ(out.pixel(3, 0), (Bgr{200, 100, 40}));
}

TEST(StretchRect, EqualSizeIsAPlainCopy)
{
    const Picture src = noisePicture(23, 17, 3);
    EXPECT_TRUE(samePicture(stretched(src, 23, 17), src));
}

TEST(StretchRect, MirroringCommutesWithTheStretch)
{
    unsigned seed = 100;
    for (const SizePair& s : kSizePairs) {
        const Picture src = noisePicture(s.sw, s.sh, seed++);
        for (int mode = 1; mode <= 3; ++mode) {
            const bool h = mode & 1, v = mode & 2;
            Picture flippedFirst, flippedAfter;
            flipPicture(src, flippedFirst, h, v);
            flippedFirst = stretched(flippedFirst, s.dw, s.dh);
            flipPicture(stretched(src, s.dw, s.dh), flippedAfter, h, v);
            EXPECT_TRUE(samePicture(flippedFirst, flippedAfter))
                << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh << " flip mode " << mode;
        }
    }
}

TEST(StretchRect, ClippedDestinationEqualsTheInsideOfTheWholeResult)
{
    const Picture src = noisePicture(50, 40, 9);
    const std::vector<Rect> rects = {
        {-5, -3, 15, 30}, {10, 12, 33, 27}, {-40, 5, 5, 9}, {18, 18, 60, 61}, {-100, -100, 120, 120}};
    for (const Rect& r : rects) {
        Picture whole = stretched(src, r.width(), r.height());
        Picture dst = solidPicture(20, 20, Bgr{1, 2, 3});
        stretchRect(src, Rect{0, 0, 50, 40}, dst, r);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                const Bgr expected = inside ? whole.pixel(x - r.left, y - r.top) : Bgr{1, 2, 3};
                ASSERT_EQ(dst.pixel(x, y), expected) << "rect " << r.left << "," << r.top << " at " << x << "," << y;
            }
    }
}

TEST(StretchRect, HugeDestinationMostlyOutsideOnlyWritesTheInside)
{
    const Picture src = noisePicture(30, 30, 5);
    Picture dst(8, 8);
    stretchRect(src, Rect{0, 0, 30, 30}, dst, Rect{-60000, -59000, 60000, 61000});
    const AxisWeights xw = axisWeights(30, 120000, 60000, 60008);
    const AxisWeights yw = axisWeights(30, 120000, 59000, 59008);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(dst.pixel(x, y), referencePixel(src, xw, yw, 60000 + x, 59000 + y)) << x << "," << y;
}

TEST(StretchRect, SourcePartEqualsStretchingACroppedCopy)
{
    const Picture src = noisePicture(40, 30, 11);
    Picture part(17, 13);
    copyRect(src, 5, 7, part, 0, 0, 17, 13);
    Picture a(9, 6), b(9, 6);
    stretchRect(src, Rect{5, 7, 22, 20}, a, Rect{0, 0, 9, 6});
    stretchRect(part, Rect{0, 0, 17, 13}, b, Rect{0, 0, 9, 6});
    EXPECT_TRUE(samePicture(a, b));
}

TEST(StretchRect, SamePictureAsSourceAndDestination)
{
    Picture p = noisePicture(20, 20, 12);
    Picture expected = p;
    Picture part(10, 10);
    stretchRect(p, Rect{0, 0, 20, 20}, part, Rect{0, 0, 10, 10});
    copyRect(part, 0, 0, expected, 5, 5, 10, 10);
    stretchRect(p, Rect{0, 0, 20, 20}, p, Rect{5, 5, 15, 15});
    EXPECT_TRUE(samePicture(p, expected));
}

TEST(StretchRect, EmptyRectanglesDoNothing)
{
    const Picture src = noisePicture(10, 10, 1);
    Picture dst = solidPicture(5, 5, Bgr{9, 9, 9});
    stretchRect(src, Rect{3, 3, 3, 8}, dst, Rect{0, 0, 5, 5});
    stretchRect(src, Rect{0, 0, 10, 10}, dst, Rect{4, 4, 2, 9});
    EXPECT_TRUE(samePicture(dst, solidPicture(5, 5, Bgr{9, 9, 9})));
}

TEST(StretchRect, RejectsSourceOutsideThePicture)
{
    const Picture src(10, 10);
    Picture dst(5, 5);
    EXPECT_THROW(stretchRect(src, Rect{-1, 0, 5, 5}, dst, Rect{0, 0, 5, 5}), std::invalid_argument);
    EXPECT_THROW(stretchRect(src, Rect{0, 0, 11, 5}, dst, Rect{0, 0, 5, 5}), std::invalid_argument);
    EXPECT_THROW(stretchRect(src, Rect{0, 0, 5, 5}, dst, Rect{0, 0, kMaxStretchLength + 1, 5}),
                 std::invalid_argument);
}

TEST(StretchTo, EmptySourceGivesABlackPicture)
{
    Picture target = solidPicture(3, 3, Bgr{5, 5, 5});
    stretchTo(Picture{}, target, 4, 2);
    EXPECT_TRUE(samePicture(target, Picture(4, 2)));
}

TEST(StretchTo, SourceMayBeTheTarget)
{
    Picture p = noisePicture(30, 20, 77);
    const Picture expected = stretched(p, 7, 9);
    stretchTo(p, p, 7, 9);
    EXPECT_TRUE(samePicture(p, expected));
}

} // namespace
} // namespace tw
