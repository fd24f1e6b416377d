#include "setup/stitch_pictures.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

bool ink(const Picture& p, int x, int y) { return p.pixel(x, y) == Bgr{0, 0, 0}; }

TEST(StitchPictures, EveryDrawingIsAWhiteSquareWithBlackLinesOnly)
{
    for (StitchMode mode : {StitchMode::Loom, StitchMode::Peyote, StitchMode::Brick}) {
        Picture p(3, 3);
        drawStitchPicture(mode, p);
        ASSERT_EQ(p.width(), kStitchPictureSide);
        ASSERT_EQ(p.height(), kStitchPictureSide);
        for (int y = 0; y < p.height(); ++y)
            for (int x = 0; x < p.width(); ++x) {
                const Bgr c = p.pixel(x, y);
                ASSERT_TRUE(c == (Bgr{0, 0, 0}) || c == (Bgr{255, 255, 255}))
                    << "mode " << int(mode) << " pixel (" << x << ", " << y << ")";
            }
        // Closed on all four sides.
        for (int i = 0; i < kStitchPictureSide; ++i) {
            EXPECT_TRUE(ink(p, i, 0) && ink(p, i, 56) && ink(p, 0, i) && ink(p, 56, i))
                << "mode " << int(mode) << " border at " << i;
        }
    }
}

TEST(StitchPictures, LinesFallWhereEachLayoutPutsItsCellEdges)
{
    struct Row {
        const char* fault;
        StitchMode mode;
        int x, y;
        bool ink;
    };
    const Row rows[] = {
        {"loom: vertical line between cells", StitchMode::Loom, 14, 20, true},
        {"loom: horizontal line between cells", StitchMode::Loom, 20, 28, true},
        {"loom: cell inside is blank", StitchMode::Loom, 7, 21, false},
        {"loom: no half-cell line", StitchMode::Loom, 21, 7, false},
        {"peyote: first row has edges at whole cells", StitchMode::Peyote, 14, 7, true},
        {"peyote: first row blank at half cells", StitchMode::Peyote, 7, 7, false},
        {"peyote: second row shifted by half a cell", StitchMode::Peyote, 21, 21, true},
        {"peyote: second row blank at whole cells", StitchMode::Peyote, 14, 21, false},
        {"peyote: rows still separated", StitchMode::Peyote, 3, 14, true},
        {"peyote: fourth row shifted again", StitchMode::Peyote, 35, 49, true},
        {"brick: first column has edges at whole cells", StitchMode::Brick, 7, 14, true},
        {"brick: first column blank at half cells", StitchMode::Brick, 7, 7, false},
        {"brick: second column shifted down by half a cell", StitchMode::Brick, 21, 21, true},
        {"brick: second column blank at whole cells", StitchMode::Brick, 21, 14, false},
        {"brick: columns still separated", StitchMode::Brick, 14, 3, true},
    };
    for (const Row& row : rows) {
        Picture p;
        drawStitchPicture(row.mode, p);
        EXPECT_EQ(ink(p, row.x, row.y), row.ink) << row.fault;
    }
}

TEST(StitchPictures, BrickIsPeyoteTurnedOnItsSide)
{
    Picture peyote, brick;
    drawStitchPicture(StitchMode::Peyote, peyote);
    drawStitchPicture(StitchMode::Brick, brick);
    for (int y = 0; y < kStitchPictureSide; ++y)
        for (int x = 0; x < kStitchPictureSide; ++x)
            ASSERT_EQ(ink(brick, x, y), ink(peyote, y, x)) << "pixel (" << x << ", " << y << ")";
}

} // namespace
} // namespace tw
