#include "engine/grid.h"

#include "engine/pipeline.h"
#include "engine_fixtures.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::RecordingObserver;

// A project whose main picture is exactly the grid's size, so the scaled
// copy is a plain copy and every grid pixel can be traced back.
std::unique_ptr<MosaicProject> tracedProject(int cellsX, int cellsY, StitchMode stitch)
{
    auto project = test::makeProject(test::gridSettings(cellsX, cellsY));
    project->settings.stitchMode = stitch;
    project->MainImage = test::coordinatePicture(2 * cellsX, 2 * cellsY);
    return project;
}

TEST(BuildGrid, GridImageHasTwoPixelsPerCellEachWay)
{
    struct Row { int cellsX, cellsY; };
    const Row rows[] = {{48, 48}, {8, 8}, {64, 8}, {1, 1}, {13, 7}, {800, 3}};
    for (const Row& r : rows) {
        auto project = test::makeProject(test::gridSettings(r.cellsX, r.cellsY));
        project->MainImage = test::coordinatePicture(50, 30);
        NullObserver observer;
        buildGrid(*project, observer);
        EXPECT_EQ(project->GridImage.width(), 2 * r.cellsX) << r.cellsX << " x " << r.cellsY;
        EXPECT_EQ(project->GridImage.height(), 2 * r.cellsY) << r.cellsX << " x " << r.cellsY;
    }
}

TEST(BuildGrid, ReportsLabelAndGaugeButNeverPumps)
{
    auto project = tracedProject(4, 4, StitchMode::Peyote);
    RecordingObserver observer;
    buildGrid(*project, observer);
    const std::vector<RecordingObserver::Event> expected = {
        {RecordingObserver::Kind::Label, kJobGrid, 0},
        {RecordingObserver::Kind::Progress, {}, 0},
        {RecordingObserver::Kind::Progress, {}, 100},
    };
    EXPECT_EQ(observer.events, expected) << observer.transcript();
}

TEST(BuildGrid, LoomCopiesTheMainPictureUnchanged)
{
    auto project = tracedProject(6, 5, StitchMode::Loom);
    NullObserver observer;
    buildGrid(*project, observer);
    EXPECT_TRUE(test::samePicture(project->GridImage, project->MainImage));
}

TEST(BuildGrid, OtherAspectIsStretchedWithoutCrop)
{
    // 16 x 4 picture: red in columns 0..5, green 6..9, blue 10..15; the
    // mosaic is square (2 x 2 cells of 8 x 8).
    auto project = test::makeProject(test::gridSettings(2, 2));
    project->MainImage = test::patternPicture(16, 4, [](int x, int) {
        return x < 6 ? Bgr{0, 0, 255} : x < 10 ? Bgr{0, 255, 0} : Bgr{255, 0, 0};
    });
    project->settings.cropMain = 0;
    NullObserver observer;
    buildGrid(*project, observer);
    ASSERT_EQ(project->GridImage.width(), 4);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(project->GridImage.pixel(0, y), (Bgr{0, 0, 255})) << "left column, row " << y;
        EXPECT_EQ(project->GridImage.pixel(3, y), (Bgr{255, 0, 0})) << "right column, row " << y;
    }
}

TEST(BuildGrid, CropMainTakesTheCentredPartOfTheMosaicsAspect)
{
    auto project = test::makeProject(test::gridSettings(2, 2));
    project->MainImage = test::patternPicture(16, 4, [](int x, int) {
        return x < 6 ? Bgr{0, 0, 255} : x < 10 ? Bgr{0, 255, 0} : Bgr{255, 0, 0};
    });
    project->settings.cropMain = 1;
    const Picture mainBefore = project->MainImage;
    NullObserver observer;
    buildGrid(*project, observer);
    EXPECT_TRUE(test::samePicture(project->GridImage, test::solidPicture(4, 4, Bgr{0, 255, 0})));
    // The crop is a temporary picture; MainImage itself is untouched.
    EXPECT_TRUE(test::samePicture(project->MainImage, mainBefore));
}

TEST(BuildGrid, PeyoteRotatesOddCellRowsRightByOnePixel)
{
    const int cellsX = 5, cellsY = 8;
    auto project = tracedProject(cellsX, cellsY, StitchMode::Peyote);
    const Picture before = project->MainImage;
    NullObserver observer;
    buildGrid(*project, observer);
    const Picture& g = project->GridImage;
    const int w = 2 * cellsX;
    for (int py = 0; py < 2 * cellsY; ++py) {
        const bool shifted = (py / 2) % 2 == 1;
        for (int px = 0; px < w; ++px) {
            const Bgr want = !shifted ? before.pixel(px, py) : before.pixel(px == 0 ? w - 1 : px - 1, py);
            ASSERT_EQ(g.pixel(px, py), want) << "pixel (" << px << ", " << py << ")"
                                             << (shifted ? " in a shifted row" : " in an even row");
        }
    }
}

TEST(BuildGrid, BrickRotatesOddCellColumnsDownByOnePixel)
{
    const int cellsX = 8, cellsY = 5;
    auto project = tracedProject(cellsX, cellsY, StitchMode::Brick);
    const Picture before = project->MainImage;
    NullObserver observer;
    buildGrid(*project, observer);
    const Picture& g = project->GridImage;
    const int h = 2 * cellsY;
    for (int px = 0; px < 2 * cellsX; ++px) {
        const bool shifted = (px / 2) % 2 == 1;
        for (int py = 0; py < h; ++py) {
            const Bgr want = !shifted ? before.pixel(px, py) : before.pixel(px, py == 0 ? h - 1 : py - 1);
            ASSERT_EQ(g.pixel(px, py), want) << "pixel (" << px << ", " << py << ")"
                                             << (shifted ? " in a shifted column" : " in an even column");
        }
    }
}

TEST(BuildGrid, SingleRowOrColumnHasNothingToShift)
{
    for (StitchMode stitch : {StitchMode::Peyote, StitchMode::Brick}) {
        auto project = tracedProject(1, 1, stitch);
        NullObserver observer;
        buildGrid(*project, observer);
        EXPECT_TRUE(test::samePicture(project->GridImage, project->MainImage));
    }
}

TEST(BuildGrid, EmptyMainPictureGivesABlackGrid)
{
    auto project = test::makeProject(test::gridSettings(3, 2));
    project->GridImage = test::solidPicture(9, 9, Bgr{9, 9, 9});
    project->settings.cropMain = 1;
    NullObserver observer;
    buildGrid(*project, observer);
    EXPECT_TRUE(test::samePicture(project->GridImage, test::solidPicture(6, 4, Bgr{0, 0, 0})));
}

TEST(BuildGrid, ZeroCellsGiveAnEmptyGrid)
{
    auto project = test::makeProject(test::gridSettings(0, 0));
    project->MainImage = test::coordinatePicture(5, 5);
    project->settings.cropMain = 1;  // mosaic 0 x 0: nothing to take an aspect from
    NullObserver observer;
    buildGrid(*project, observer);
    EXPECT_TRUE(project->GridImage.empty());
}

TEST(BuildGrid, CellCountBeyondTheGridIsRefusedBeforeAnyChange)
{
    auto project = test::makeProject(test::gridSettings(8, 8));
    project->settings.cellsY = 5000;
    project->MainImage = test::coordinatePicture(5, 5);
    const Picture before = test::solidPicture(3, 3, Bgr{1, 2, 3});
    project->GridImage = before;
    RecordingObserver observer;
    EXPECT_THROW(buildGrid(*project, observer), Error);
    EXPECT_TRUE(test::samePicture(project->GridImage, before));
    EXPECT_TRUE(observer.events.empty()) << observer.transcript();
}

TEST(ReadCellSample, TakesTheFourPixelsInQuadrantOrder)
{
    auto project = test::makeProject(test::gridSettings(3, 2));
    test::makeGridImage(*project, [](int, int) { return Bgr{0, 0, 0}; });
    const Bgr tl{1, 2, 3}, tr{4, 5, 6}, bl{7, 8, 9}, br{10, 11, 12};
    test::setCellPixels(*project, 2, 1, tl, tr, bl, br);
    const CellSample s = readCellSample(*project, 2, 1);
    EXPECT_EQ(s.c[TopLeft], (SignatureColor{1, 2, 3, 0}));
    EXPECT_EQ(s.c[TopRight], (SignatureColor{4, 5, 6, 0}));
    EXPECT_EQ(s.c[BottomLeft], (SignatureColor{7, 8, 9, 0}));
    EXPECT_EQ(s.c[BottomRight], (SignatureColor{10, 11, 12, 0}));
    EXPECT_EQ(s.c[Mean], (SignatureColor{5, 6, 7, 0}));  // 22>>2, 26>>2, 30>>2
}

TEST(ReadCellSample, MeanIsTheFloorOfTheAverage)
{
    struct Row { std::uint8_t a, b, c, d, mean; };
    const Row rows[] = {
        {1, 2, 2, 2, 1}, {0, 0, 0, 3, 0}, {255, 255, 255, 255, 255}, {255, 255, 255, 254, 254},
        {0, 0, 0, 0, 0},  {3, 3, 3, 2, 2}, {100, 101, 102, 103, 101},
    };
    for (const Row& r : rows) {
        auto project = test::makeProject(test::gridSettings(1, 1));
        test::makeGridImage(*project, [](int, int) { return Bgr{}; });
        test::setCellPixels(*project, 0, 0, Bgr{r.a, r.a, r.a}, Bgr{r.b, 0, 0}, Bgr{r.c, 0, 0}, Bgr{r.d, 0, 0});
        const CellSample s = readCellSample(*project, 0, 0);
        EXPECT_EQ(s.c[Mean].blue, r.mean) << int(r.a) << "," << int(r.b) << "," << int(r.c) << "," << int(r.d);
        EXPECT_EQ(s.c[Mean].green, r.a >> 2);
    }
}

TEST(ReadCellSample, CellOutsideTheGridPictureReadsAsBlack)
{
    auto project = test::makeProject(test::gridSettings(2, 2));
    test::makeGridImage(*project, [](int, int) { return Bgr{200, 200, 200}; });
    const CellSample none{};
    EXPECT_EQ(readCellSample(*project, 2, 0), none);
    EXPECT_EQ(readCellSample(*project, 0, 2), none);
    EXPECT_EQ(readCellSample(*project, -1, 0), none);
    EXPECT_EQ(readCellSample(*project, 0, 1 << 30), none);
    EXPECT_NE(readCellSample(*project, 1, 1), none);
}

} // namespace
} // namespace tw
