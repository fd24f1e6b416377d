// The stretch made row by row against the whole-picture stretch and a walk
// over every footprint, for reductions, enlargements, mixed and equal axes,
// rows fed in batches of any size.
#include "imaging/row_reducer.h"

#include "imaging/resample.h"
#include "imaging/signature.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tw {
namespace {

Picture noisyPicture(int w, int h, unsigned seed)
{
    Picture p(w, h);
    unsigned s = seed * 747796405u + 2891336453u;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            // Runs of extremes among the noise, as in photographs with
            // blown highlights and deep shadows.
            const bool dark = (x / 9 + y / 4) % 5 == 0, light = (x / 6 + y / 11) % 7 == 0;
            const auto v = [&](int shift) { return std::uint8_t(dark ? 0 : light ? 255 : (s >> shift) & 0xFF); };
            p.setPixel(x, y, Bgr{v(8), v(16), v(24)});
        }
    return p;
}

struct Case {
    int srcW, srcH, dstW, dstH;
    int batch;  // rows handed over at a time
};

const Case kCases[] = {
    {1200, 1200, 32, 32, 16}, {1600, 1201, 30, 30, 1},  {97, 389, 32, 32, 7},   {12, 9, 30, 30, 2},
    {90, 30, 17, 40, 5},      {31, 31, 31, 31, 31},     {64, 4, 8, 16, 3},      {1, 1, 5, 5, 1},
    {7, 5, 3, 2, 4},          {101, 67, 1, 1, 67},      {300, 20, 400, 7, 9},   {5, 700, 9, 13, 100},
    {2, 600, 1, 1, 1},        {40, 41, 40, 39, 6},
};

std::string name(const Case& c)
{
    return std::to_string(c.srcW) + "x" + std::to_string(c.srcH) + " -> " + std::to_string(c.dstW) + "x" +
           std::to_string(c.dstH) + " by " + std::to_string(c.batch);
}

RowReducer reduceInBatches(const Picture& p, Size dest, bool ranges, int batch)
{
    RowReducer r(p.width(), p.height(), dest, ranges);
    for (int y = 0; y < p.height(); y += batch)
        r.addRows(p, y, std::min(batch, p.height() - y));
    return r;
}

TEST(RowReducer, GivesTheBytesOfTheWholePictureStretch)
{
    unsigned seed = 1;
    for (const Case& c : kCases) {
        const Picture p = noisyPicture(c.srcW, c.srcH, seed++);
        for (bool ranges : {false, true}) {
            const RowReducer r = reduceInBatches(p, Size{c.dstW, c.dstH}, ranges, c.batch);
            ASSERT_TRUE(r.complete()) << name(c);
            Picture want;
            stretchTo(p, want, c.dstW, c.dstH);
            EXPECT_TRUE(test::samePicture(want, r.reduced())) << name(c) << (ranges ? " with ranges" : "");
        }
    }
}

// The sums are the exact weighted sums: each rounds to its byte, and the
// sum of one byte shifted by a constant moves by that constant x total.
TEST(RowReducer, SumsAreTheExactWeightedSums)
{
    unsigned seed = 30;
    for (const Case& c : kCases) {
        const Picture p = noisyPicture(c.srcW, c.srcH, seed++);
        const RowReducer r = reduceInBatches(p, Size{c.dstW, c.dstH}, false, c.batch);
        const AxisWeights wx = axisWeights(c.srcW, c.dstW), wy = axisWeights(c.srcH, c.dstH);
        for (int j = 0; j < c.dstH; ++j)
            for (int i = 0; i < c.dstW; ++i)
                for (int ch = 0; ch < 3; ++ch) {
                    std::uint64_t sum = 0;
                    const AxisWeights::Tap &tx = wx.tap(i), &ty = wy.tap(j);
                    for (int k = 0; k < ty.count; ++k)
                        for (int m = 0; m < tx.count; ++m)
                            sum += std::uint64_t{wy.weight(ty, k)} * wx.weight(tx, m) *
                                   p.row(ty.firstSource + k)[(tx.firstSource + m) * 3 + ch];
                    const std::size_t at = (std::size_t(j) * std::size_t(c.dstW) + std::size_t(i)) * 3 + std::size_t(ch);
                    ASSERT_EQ(r.sums()[at], sum) << name(c) << " at " << i << ", " << j << " channel " << ch;
                    ASSERT_EQ(r.reduced().row(j)[i * 3 + ch], roundWeightedSum(sum, r.total())) << name(c);
                }
    }
}

TEST(RowReducer, RangesAreTheExtremesOfEveryFootprint)
{
    unsigned seed = 60;
    for (const Case& c : kCases) {
        const Picture p = noisyPicture(c.srcW, c.srcH, seed++);
        const RowReducer r = reduceInBatches(p, Size{c.dstW, c.dstH}, true, c.batch);
        const AxisWeights wx = axisWeights(c.srcW, c.dstW), wy = axisWeights(c.srcH, c.dstH);
        for (int j = 0; j < c.dstH; ++j)
            for (int i = 0; i < c.dstW; ++i)
                for (int ch = 0; ch < 3; ++ch) {
                    int low = 255, high = 0;
                    const AxisWeights::Tap &tx = wx.tap(i), &ty = wy.tap(j);
                    for (int k = 0; k < ty.count; ++k)
                        for (int m = 0; m < tx.count; ++m) {
                            const int v = p.row(ty.firstSource + k)[(tx.firstSource + m) * 3 + ch];
                            low = std::min(low, v);
                            high = std::max(high, v);
                        }
                    const std::size_t at = (std::size_t(j) * std::size_t(c.dstW) + std::size_t(i)) * 3 + std::size_t(ch);
                    ASSERT_EQ(r.low()[at], low) << name(c) << " at " << i << ", " << j << " channel " << ch;
                    ASSERT_EQ(r.high()[at], high) << name(c) << " at " << i << ", " << j << " channel " << ch;
                }
    }
}

// More than 257 full-weight rows per destination row: the 16-bit sums are
// folded in before they could overflow.
TEST(RowReducer, TallFootprintsOfWhiteDoNotOverflow)
{
    const Picture white = test::solidPicture(3, 2000, Bgr{255, 255, 255});
    for (int destHeight : {1, 2, 3, 7})
        for (int batch : {13, 2}) {
            const RowReducer r = reduceInBatches(white, Size{1, destHeight}, true, batch);
            for (int j = 0; j < destHeight; ++j)
                EXPECT_EQ(r.reduced().pixel(0, j), (Bgr{255, 255, 255}))
                    << destHeight << " rows by " << batch << ", row " << j;
        }
}

TEST(RowReducer, RowsBeyondTheLastAreIgnored)
{
    const Picture p = noisyPicture(20, 10, 5);
    RowReducer r(20, 10, Size{4, 4}, false);
    r.addRows(p, 0, 10);
    r.addRow(p.row(0));
    EXPECT_EQ(r.rowsAdded(), 10);
    Picture want;
    stretchTo(p, want, 4, 4);
    EXPECT_TRUE(test::samePicture(want, r.reduced()));
}

TEST(SignatureOfReduction, MatchesComputeSignatureOfTheWholePicture)
{
    unsigned seed = 90;
    for (const Case& c : kCases) {
        const Picture p = noisyPicture(c.srcW, c.srcH, seed++);
        const RowReducer r = reduceInBatches(p, Size{kSignatureSide, kSignatureSide}, false, c.batch);
        EXPECT_EQ(signatureOfReduction(r.reduced()), computeSignature(p)) << name(c);
    }
    EXPECT_THROW(signatureOfReduction(test::solidPicture(31, 32, Bgr{})), std::invalid_argument);
}

} // namespace
} // namespace tw
