#include "imaging/inspect.h"

#include "imaging/resample.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace tw {
namespace {

using test::samePicture;
using test::solidPicture;

constexpr Bgr kWhite{255, 255, 255};
constexpr Bgr kBlack{0, 0, 0};

// The level canvas itself, read back through a target of the canvas size
// (the final stretch is then a plain copy).
Picture levelCanvas(const Picture& source, LevelChannel channel)
{
    Picture target;
    drawLevelPicture(source, target, channel, Size{257, 128});
    return target;
}

// Columns of the canvas that hold a black pixel strictly inside the frame.
std::vector<int> columnsWithBars(const Picture& canvas)
{
    std::vector<int> cols;
    for (int x = 1; x < 256; ++x)
        for (int y = 1; y < 127; ++y)
            if (canvas.pixel(x, y) == kBlack) {
                cols.push_back(x);
                break;
            }
    return cols;
}

TEST(DrawLevelPicture, WhiteSourceDrawsOnlyTheRightFrameColumn)
{
    const Picture canvas = levelCanvas(solidPicture(40, 30, kWhite), LevelChannel::All);
    ASSERT_EQ(canvas.width(), 257);
    ASSERT_EQ(canvas.height(), 128);
    for (int y = 0; y < 128; ++y) {
        EXPECT_EQ(canvas.pixel(0, y), kBlack) << y;
        EXPECT_EQ(canvas.pixel(256, y), kBlack) << y;
    }
    for (int x = 0; x < 257; ++x) {
        EXPECT_EQ(canvas.pixel(x, 0), kBlack) << x;
        EXPECT_EQ(canvas.pixel(x, 127), kBlack) << x;
    }
    EXPECT_TRUE(columnsWithBars(canvas).empty());
}

TEST(DrawLevelPicture, BlackSourceGreenChannelDrawsAFullBarInColumnOne)
{
    const Picture canvas = levelCanvas(solidPicture(10, 10, kBlack), LevelChannel::Green);
    for (int y = 0; y < 128; ++y)
        ASSERT_EQ(canvas.pixel(1, y), kBlack) << y;
    EXPECT_EQ(columnsWithBars(canvas), std::vector<int>{1});
}

TEST(DrawLevelPicture, ChannelSelectsTheCountedBytes)
{
    // Blue 10, green 20, red 30.
    const Picture src = solidPicture(8, 8, Bgr{10, 20, 30});
    EXPECT_EQ(columnsWithBars(levelCanvas(src, LevelChannel::Red)), std::vector<int>{31});
    EXPECT_EQ(columnsWithBars(levelCanvas(src, LevelChannel::Green)), std::vector<int>{21});
    EXPECT_EQ(columnsWithBars(levelCanvas(src, LevelChannel::Blue)), std::vector<int>{11});
    EXPECT_EQ(columnsWithBars(levelCanvas(src, LevelChannel::All)), (std::vector<int>{11, 21, 31}));
}

TEST(DrawLevelPicture, BarsAreScaledToTheLargestBin)
{
    // Three quarters value 100, one quarter value 200 (red channel); 256 x 256
    // so the sample is the picture itself.
    Picture src = solidPicture(256, 256, Bgr{0, 0, 100});
    src.fillRect(Rect{0, 0, 64, 256}, Bgr{0, 0, 200});
    const Picture canvas = levelCanvas(src, LevelChannel::Red);
    // Bin 100: 128 high (rows 0..127); bin 200: 128 / 3 = 42 high (rows 86..127).
    EXPECT_EQ(canvas.pixel(101, 1), kBlack);
    EXPECT_EQ(canvas.pixel(201, 85), kWhite);
    EXPECT_EQ(canvas.pixel(201, 86), kBlack);
}

TEST(DrawLevelPicture, WithoutABoxTheTargetKeepsItsSize)
{
    const Picture src = solidPicture(10, 10, kWhite);
    Picture target(128, 48);
    drawLevelPicture(src, target, LevelChannel::All);
    EXPECT_EQ(target.width(), 128);
    EXPECT_EQ(target.height(), 48);
    Picture expected;
    stretchTo(levelCanvas(src, LevelChannel::All), expected, 128, 48);
    EXPECT_TRUE(samePicture(target, expected));

    drawLevelPicture(src, target, LevelChannel::All, Size{129, 65});
    EXPECT_EQ(target.width(), 129);
    EXPECT_EQ(target.height(), 65);
}

TEST(DrawColorSignature, OddSizeGivesTheLargerHalvesRightAndBelow)
{
    ColorSignature s;
    s.c[TopLeft] = {1, 2, 3, 99};
    s.c[TopRight] = {4, 5, 6, 99};
    s.c[BottomLeft] = {7, 8, 9, 99};
    s.c[BottomRight] = {10, 11, 12, 99};
    s.c[Mean] = {200, 200, 200, 200};
    Picture target(65, 65);
    drawColorSignature(target, s);
    for (int y = 0; y < 65; ++y)
        for (int x = 0; x < 65; ++x) {
            const int q = (y < 32 ? 0 : 2) + (x < 32 ? 0 : 1);
            const SignatureColor& c = s.c[q];
            ASSERT_EQ(target.pixel(x, y), (Bgr{c.blue, c.green, c.red})) << x << "," << y;
        }
}

TEST(MagnifyPattern, EdgeLinesRunAlongTopAndLeftOfEveryCell)
{
    const Picture src = solidPicture(30, 20, Bgr{50, 60, 70});
    Picture target;
    magnifyPattern(src, target, 3, 2, 4, true);
    ASSERT_EQ(target.width(), 12);
    ASSERT_EQ(target.height(), 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool line = y == 0 || y == 4 || x == 0 || x == 4 || x == 8;
            ASSERT_EQ(target.pixel(x, y), (line ? kBlack : Bgr{50, 60, 70})) << x << "," << y;
        }
}

TEST(MagnifyPattern, BlocksCarryTheAveragedCellColours)
{
    // Left half red, right half green, reduced to 2 x 1 cells.
    Picture src = solidPicture(20, 10, Bgr{0, 0, 255});
    src.fillRect(Rect{10, 0, 20, 10}, Bgr{0, 255, 0});
    Picture target;
    magnifyPattern(src, target, 2, 1, 8, false);
    ASSERT_EQ(target.width(), 16);
    ASSERT_EQ(target.height(), 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(target.pixel(x, y), (x < 8 ? Bgr{0, 0, 255} : Bgr{0, 255, 0})) << x << "," << y;
}

TEST(MagnifyPattern, RejectsANonPositiveFactor)
{
    Picture target;
    EXPECT_THROW(magnifyPattern(solidPicture(4, 4, kWhite), target, 2, 2, 0, false), std::invalid_argument);
}

} // namespace
} // namespace tw
