// The main view: what it shows, how the Hand tool moves it, which cell a
// Change Cell click means, and the cell edit itself.
#include "gui/gui_fixture.h"

#include "workspace/mosaic_view.h"
#include "ui/picture_box.h"

#include <QWheelEvent>

#include <functional>

namespace tw::test {
namespace {

MosaicProject* newProject()
{
    static std::unique_ptr<MosaicProject> project;
    project = std::make_unique<MosaicProject>();
    project->viewScale = 1;
    return project.get();
}

// --- Which cell a click means -------------------------------------------------

struct CellCase {
    const char* what;
    StitchMode stitch;
    int cellsX, cellsY, cellWidth, cellHeight;
    int offsetX, offsetY;
    int x, y;
    std::optional<CellPos> expected;
};

// Test names and failure reports show the case's description, not its bytes.
void PrintTo(const CellCase& c, std::ostream* os) { *os << c.what; }

class CellAtViewPosition : public ::testing::TestWithParam<CellCase> {};

TEST_P(CellAtViewPosition, GivesTheCellOrNothing)
{
    const CellCase& c = GetParam();
    MosaicProject& p = *newProject();
    p.settings.stitchMode = c.stitch;
    p.settings.cellsX = c.cellsX;
    p.settings.cellsY = c.cellsY;
    p.settings.cellWidth = c.cellWidth;
    p.settings.cellHeight = c.cellHeight;
    p.viewOffsetX = c.offsetX;
    p.viewOffsetY = c.offsetY;
    const auto cell = cellAtViewPosition(p, c.x, c.y);
    ASSERT_EQ(cell.has_value(), c.expected.has_value()) << c.what;
    if (cell) {
        EXPECT_EQ(*cell, *c.expected) << c.what << ": got " << cell->x << "," << cell->y;
    }
}

const CellCase kCellCases[] = {
    {"loom top-left", StitchMode::Loom, 20, 8, 10, 10, 0, 0, 0, 0, CellPos{0, 0}},
    {"loom last cell", StitchMode::Loom, 20, 8, 10, 10, 0, 0, 199, 79, CellPos{19, 7}},
    {"loom with offsets", StitchMode::Loom, 20, 8, 10, 10, 50, 20, 5, 5, CellPos{5, 2}},
    {"loom right of the mosaic", StitchMode::Loom, 20, 8, 10, 10, 0, 0, 200, 5, std::nullopt},
    {"loom below the mosaic", StitchMode::Loom, 20, 8, 10, 10, 0, 0, 5, 80, std::nullopt},
    {"loom left of the view", StitchMode::Loom, 20, 8, 10, 10, 0, 0, -1, 5, std::nullopt},
    {"loom above the view", StitchMode::Loom, 20, 8, 10, 10, 0, 0, 5, -3, std::nullopt},
    {"peyote x 196 row 1", StitchMode::Peyote, 20, 8, 10, 10, 0, 0, 196, 15, CellPos{0, 1}},
    {"peyote x 17 row 1", StitchMode::Peyote, 20, 8, 10, 10, 0, 0, 17, 15, CellPos{2, 1}},
    {"peyote half way is still the left cell", StitchMode::Peyote, 20, 8, 10, 10, 0, 0, 15, 15, CellPos{1, 1}},
    {"peyote past half way", StitchMode::Peyote, 20, 8, 10, 10, 0, 0, 16, 15, CellPos{2, 1}},
    {"peyote x 195 row 1", StitchMode::Peyote, 20, 8, 10, 10, 0, 0, 195, 15, CellPos{19, 1}},
    {"peyote even row unchanged", StitchMode::Peyote, 20, 8, 10, 10, 0, 0, 196, 5, CellPos{19, 0}},
    {"peyote beyond the right edge", StitchMode::Peyote, 20, 8, 10, 10, 0, 0, 203, 15, std::nullopt},
    {"brick y 196 column 1", StitchMode::Brick, 8, 20, 10, 10, 0, 0, 15, 196, CellPos{1, 0}},
    {"brick y 17 column 1", StitchMode::Brick, 8, 20, 10, 10, 0, 0, 15, 17, CellPos{1, 2}},
    {"brick even column unchanged", StitchMode::Brick, 8, 20, 10, 10, 0, 0, 5, 196, CellPos{0, 19}},
    {"brick below the bottom edge", StitchMode::Brick, 8, 20, 10, 10, 0, 0, 15, 200, std::nullopt},
    {"peyote with offsets", StitchMode::Peyote, 20, 8, 10, 10, 100, 10, 96, 5, CellPos{0, 1}},
    {"no cell size", StitchMode::Loom, 20, 8, 0, 10, 0, 0, 5, 5, std::nullopt},
    {"no cells", StitchMode::Loom, 0, 0, 10, 10, 0, 0, 5, 5, std::nullopt},
};
INSTANTIATE_TEST_SUITE_P(Table, CellAtViewPosition, ::testing::ValuesIn(kCellCases));

// --- What the view shows -----------------------------------------------------

TEST(DrawView, CopiesTheVisiblePartAndRecordsIt)
{
    MosaicProject& p = *newProject();
    const Picture source = gradientPicture(100, 80);
    struct Row {
        int offsetX, offsetY, boxW, boxH;
        Rect expected;
    };
    const Row rows[] = {
        {10, 5, 30, 20, Rect{10, 5, 40, 25}},     // inside
        {90, 70, 30, 20, Rect{90, 70, 100, 80}},  // cut by the right and bottom edges
        {0, 0, 300, 300, Rect{0, 0, 100, 80}},    // box larger than the picture
        {150, 5, 30, 20, Rect{150, 5, 150, 25}},  // offset beyond the edge: nothing
        {5, 120, 30, 20, Rect{5, 120, 35, 120}},
    };
    for (const Row& row : rows) {
        p.viewOffsetX = row.offsetX;
        p.viewOffsetY = row.offsetY;
        Picture target(3, 3);
        drawView(p, source, target, row.boxW, row.boxH);
        EXPECT_EQ(p.viewRect, row.expected) << row.offsetX << "," << row.offsetY;
        Picture expected(std::max(row.expected.width(), 0), std::max(row.expected.height(), 0));
        copyRect(source, row.expected.left, row.expected.top, expected, 0, 0, expected.width(), expected.height());
        EXPECT_EQ(target.width(), expected.width());
        if (!expected.empty())
            EXPECT_TRUE(samePicture(target, expected));
        else
            EXPECT_TRUE(target.empty());
    }
}

TEST(ScaleLabel, ShowsScaleAndOffsets)
{
    MosaicProject& p = *newProject();
    struct Row {
        int scale, x, y;
        const char* text;
    };
    const Row rows[] = {
        {1, 0, 0, "Scale :100% MainbmpPos x0 y0"},
        {1, 37, 12, "Scale :100% MainbmpPos x37 y12"},
        {2, 5, 1234, "Scale :25% MainbmpPos x5 y1234"},
        {4, 0, 0, "Scale :6% MainbmpPos x0 y0"},
        {32, 0, 0, "Scale :0% MainbmpPos x0 y0"},
    };
    for (const Row& row : rows) {
        p.viewScale = row.scale;
        p.viewOffsetX = row.x;
        p.viewOffsetY = row.y;
        EXPECT_EQ(scaleLabelText(p), row.text);
    }
}

TEST(HandDrag, ClampsAtEveryEdge)
{
    struct Row {
        const char* what;
        int width, height;        // MosaicImage
        int pressX, pressY;       // offsets at the press
        int dragX, dragY;
        int expectX, expectY;
    };
    const Row rows[] = {
        {"follows the pointer", 300, 200, 0, 0, -30, -10, 30, 10},
        {"stops at the right and bottom", 300, 200, 0, 0, -500, -400, 200, 150},
        {"stops at the left and top", 300, 200, 10, 10, 40, 40, 0, 0},
        {"same spot keeps the offsets", 300, 200, 25, 7, 0, 0, 25, 7},
        {"right edge only", 300, 200, 150, 20, -80, 5, 200, 15},
        {"smaller than the box never moves", 50, 40, 0, 0, -30, -30, 0, 0},
        {"smaller than the box, dragged the other way", 50, 40, 0, 0, 30, 30, 0, 0},
    };
    for (const Row& row : rows) {
        MosaicProject& p = *newProject();
        p.MosaicImage.resize(row.width, row.height);
        p.viewOffsetX = row.pressX;
        p.viewOffsetY = row.pressY;
        viewMouseDown(p, 60, 40);
        viewMouseUp(p, 60 + row.dragX, 40 + row.dragY);
        EXPECT_EQ(p.dragX, row.dragX);
        EXPECT_EQ(p.pressOffsetX, row.pressX);
        applyHandDrag(p, 100, 50);
        EXPECT_EQ(p.viewOffsetX, row.expectX) << row.what;
        EXPECT_EQ(p.viewOffsetY, row.expectY) << row.what;
    }
}

TEST(ViewMouse, PressAndReleaseAreRecorded)
{
    MosaicProject& p = *newProject();
    p.viewOffsetX = 11;
    p.viewOffsetY = 22;
    viewMouseDown(p, 5, 6);
    EXPECT_EQ(p.mouseDownX, 5);
    EXPECT_EQ(p.mouseDownY, 6);
    EXPECT_EQ(p.pressOffsetX, 11);
    EXPECT_EQ(p.pressOffsetY, 22);
    viewMouseUp(p, 2, 10);
    EXPECT_EQ(p.mouseUpX, 2);
    EXPECT_EQ(p.mouseUpY, 10);
    EXPECT_EQ(p.dragX, -3);
    EXPECT_EQ(p.dragY, 4);
}

// --- The view in the main window ----------------------------------------------

using MosaicView = GuiTest;

TEST_F(MosaicView, HandDragWithTheMouseScrollsAndRepaints)
{
    const QSize box = viewBox();
    ASSERT_GT(box.width(), 100);
    const Picture mosaic = gradientPicture(box.width() + 100, box.height() + 80);
    project().MosaicImage = mosaic;
    main().repaintView();
    auto* img1 = child<PictureBox>(main(), "img1");

    QTest::mousePress(img1, Qt::LeftButton, {}, QPoint(200, 150));
    EXPECT_EQ(project().viewOffsetX, 0) << "nothing moves before the release";
    QTest::mouseRelease(img1, Qt::LeftButton, {}, QPoint(170, 140));
    EXPECT_EQ(project().viewOffsetX, 30);
    EXPECT_EQ(project().viewOffsetY, 10);
    EXPECT_EQ(labelText("Label1").toStdString(), "Scale :100% MainbmpPos x30 y10");
    Picture expected(box.width(), box.height());
    copyRect(mosaic, 30, 10, expected, 0, 0, box.width(), box.height());
    EXPECT_TRUE(samePicture(img1->picture(), expected));
    EXPECT_EQ(project().viewRect, (Rect{30, 10, 30 + box.width(), 10 + box.height()}));

    // Every button acts the same; far past the bottom-right edge it stops.
    QTest::mousePress(img1, Qt::RightButton, {}, QPoint(box.width() - 1, box.height() - 1));
    QTest::mouseRelease(img1, Qt::RightButton, {}, QPoint(0, 0));
    EXPECT_EQ(project().viewOffsetX, 100);
    EXPECT_EQ(project().viewOffsetY, 80);

    // Past the top-left it stops at 0.
    press(0, 0);
    release(box.width(), box.height());
    EXPECT_EQ(project().viewOffsetX, 0);
    EXPECT_EQ(project().viewOffsetY, 0);
}

TEST_F(MosaicView, HandDragFollowsThePointerLiveAndSettlesOnTheSameOffsets)
{
    const QSize box = viewBox();
    const Picture mosaic = gradientPicture(box.width() + 100, box.height() + 80);
    project().MosaicImage = mosaic;
    main().repaintView();
    invoke(main(), "sboverviewClick");
    auto* img1 = child<PictureBox>(main(), "img1");
    auto* image1 = overview().findChild<PictureBox*>(QStringLiteral("Image1"));

    // The pointer's path, and the offsets the view shows at each point:
    // the release's clamped values at that point.
    struct Step {
        QPoint at;
        int x, y;
    };
    const Step steps[] = {
        {QPoint(190, 145), 10, 5},   {QPoint(150, 100), 50, 50},    {QPoint(1, 1), 100, 80},  // past the edge
        {QPoint(230, 170), 0, 0},    {QPoint(400, 400), 0, 0},      {QPoint(170, 140), 30, 10},
    };
    QTest::mousePress(img1, Qt::LeftButton, {}, QPoint(200, 150));
    for (const Step& step : steps) {
        QTest::mouseMove(img1, step.at);
        EXPECT_EQ(project().viewOffsetX, step.x) << step.at.x() << "," << step.at.y();
        EXPECT_EQ(project().viewOffsetY, step.y) << step.at.x() << "," << step.at.y();
        Picture expected(box.width(), box.height());
        copyRect(mosaic, step.x, step.y, expected, 0, 0, box.width(), box.height());
        ASSERT_TRUE(samePicture(img1->picture(), expected));
        EXPECT_EQ(labelText("Label1").toStdString(),
                  "Scale :100% MainbmpPos x" + std::to_string(step.x) + " y" + std::to_string(step.y));
        // The overview's frame follows, and is what a full redraw draws.
        const Picture live = image1->picture();
        overview().redrawOverview();
        ASSERT_TRUE(samePicture(live, image1->picture())) << step.at.x() << "," << step.at.y();
    }
    QTest::mouseRelease(img1, Qt::LeftButton, {}, QPoint(170, 140));
    EXPECT_EQ(project().viewOffsetX, 30);
    EXPECT_EQ(project().viewOffsetY, 10);
    EXPECT_EQ(project().dragX, -30);

    // Without a button down, moving changes nothing.
    QTest::mouseMove(img1, QPoint(5, 5));
    EXPECT_EQ(project().viewOffsetX, 30);
}

TEST_F(MosaicView, ChangeCellToolDoesNotScrollWhileDragging)
{
    project().MosaicImage = gradientPicture(2000, 1500);
    QTest::mouseClick(button("sbhand2"), Qt::LeftButton);
    auto* img1 = child<PictureBox>(main(), "img1");
    QTest::mousePress(img1, Qt::LeftButton, {}, QPoint(200, 150));
    QTest::mouseMove(img1, QPoint(100, 100));
    EXPECT_EQ(project().viewOffsetX, 0);
    QTest::mouseRelease(img1, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(project().viewOffsetX, 0);
}

TEST_F(MosaicView, WheelAndKeysScrollWithTheSameClamping)
{
    const QSize box = viewBox();
    const int maxX = 200, maxY = 150;
    project().MosaicImage = gradientPicture(box.width() + maxX, box.height() + maxY);
    main().repaintView();
    auto* img1 = child<PictureBox>(main(), "img1");
    const int notch = QApplication::wheelScrollLines() * 20;

    auto wheel = [&](QPoint angle, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(10, 10), img1->mapToGlobal(QPointF(10, 10)), QPoint(), angle, Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(img1, &event);
    };
    struct Row {
        const char* what;
        int startX, startY;
        std::function<void()> act;
        int x, y;
    };
    const Row rows[] = {
        {"wheel down", 0, 0, [&] { wheel(QPoint(0, -120), {}); }, 0, notch},
        {"wheel up", 0, 100, [&] { wheel(QPoint(0, 120), {}); }, 0, 100 - notch},
        {"wheel up past the top", 0, 10, [&] { wheel(QPoint(0, 120), {}); }, 0, 0},
        {"wheel down past the bottom", 0, maxY - 5, [&] { wheel(QPoint(0, -120), {}); }, 0, maxY},
        {"shift wheel goes across", 0, 0, [&] { wheel(QPoint(0, -120), Qt::ShiftModifier); }, notch, 0},
        {"horizontal wheel", 100, 0, [&] { wheel(QPoint(120, 0), {}); }, 100 - notch, 0},
        {"right arrow", 0, 0, [&] { QTest::keyClick(img1, Qt::Key_Right); }, 20, 0},
        {"left arrow at the edge", 0, 0, [&] { QTest::keyClick(img1, Qt::Key_Left); }, 0, 0},
        {"down arrow", 0, 0, [&] { QTest::keyClick(img1, Qt::Key_Down); }, 0, 20},
        {"up arrow", 0, 30, [&] { QTest::keyClick(img1, Qt::Key_Up); }, 0, 10},
        {"right arrow at the edge", maxX - 5, 0, [&] { QTest::keyClick(img1, Qt::Key_Right); }, maxX, 0},
        {"page down", 0, 0, [&] { QTest::keyClick(img1, Qt::Key_PageDown); }, 0, maxY},
        {"page up", 0, maxY, [&] { QTest::keyClick(img1, Qt::Key_PageUp); }, 0, 0},
    };
    for (const Row& row : rows) {
        project().viewOffsetX = row.startX;
        project().viewOffsetY = row.startY;
        row.act();
        EXPECT_EQ(project().viewOffsetX, row.x) << row.what;
        EXPECT_EQ(project().viewOffsetY, row.y) << row.what;
        EXPECT_EQ(project().viewRect.left, row.x) << row.what << ": the view was not repainted";
        EXPECT_EQ(project().viewRect.top, row.y) << row.what << ": the view was not repainted";
    }
    // A mosaic smaller than the box never moves.
    project().MosaicImage = gradientPicture(50, 40);
    project().viewOffsetX = 0;
    project().viewOffsetY = 0;
    wheel(QPoint(0, -120), {});
    QTest::keyClick(img1, Qt::Key_PageDown);
    EXPECT_EQ(project().viewOffsetY, 0);
    // The view takes the keyboard focus like any control.
    EXPECT_EQ(img1->focusPolicy(), Qt::StrongFocus);
}

TEST_F(MosaicView, PressAndReleaseAtOneSpotRepaintsWithoutMoving)
{
    project().MosaicImage = gradientPicture(900, 900);
    press(0, 0);
    release(-40, -25);
    ASSERT_EQ(project().viewOffsetX, 40);
    auto* label = child<QLabel>(main(), "Label1");
    label->setText(QStringLiteral("stale"));
    press(10, 10);
    release(10, 10);
    EXPECT_EQ(project().viewOffsetX, 40);
    EXPECT_EQ(project().viewOffsetY, 25);
    EXPECT_EQ(label->text().toStdString(), "Scale :100% MainbmpPos x40 y25");
}

TEST_F(MosaicView, GrowingTheWindowFillsTheWholeViewAgain)
{
    const Picture mosaic = gradientPicture(2000, 1500);
    project().MosaicImage = mosaic;
    press(0, 0);
    release(-5000, -5000);  // to the bottom-right corner
    const QSize box = viewBox();
    ASSERT_EQ(project().viewOffsetX, 2000 - box.width());
    ASSERT_EQ(project().viewOffsetY, 1500 - box.height());
    main().resize(main().width() + 60, main().height() + 40);
    QApplication::processEvents();

    // The offsets come in so the last column and row meet the grown box's
    // edges: no part of the view is left empty.
    const QSize grown = viewBox();
    ASSERT_EQ(grown, box + QSize(60, 40));
    EXPECT_EQ(project().viewOffsetX, 2000 - grown.width());
    EXPECT_EQ(project().viewOffsetY, 1500 - grown.height());
    EXPECT_EQ(project().viewRect, (Rect{2000 - grown.width(), 1500 - grown.height(), 2000, 1500}));
    auto* img1 = child<PictureBox>(main(), "img1");
    EXPECT_EQ(img1->size(), grown);
    Picture expected(grown.width(), grown.height());
    copyRect(mosaic, 2000 - grown.width(), 1500 - grown.height(), expected, 0, 0, grown.width(), grown.height());
    EXPECT_TRUE(samePicture(img1->picture(), expected));
    EXPECT_EQ(labelText("Label1").toStdString(), "Scale :100% MainbmpPos x" + std::to_string(2000 - grown.width()) +
                                                     " y" + std::to_string(1500 - grown.height()));
    // And on the screen, corner to corner.
    const QImage shown = img1->grab().toImage();
    for (const QPoint at : {QPoint(grown.width() - 1, grown.height() - 1), QPoint(0, 0)}) {
        const Bgr want = expected.pixel(at.x(), at.y());
        EXPECT_EQ(shown.pixel(at), qRgb(want.r, want.g, want.b)) << at.x() << "," << at.y();
    }

    // Shrinking keeps the offsets: the view still fits inside the mosaic.
    project().viewOffsetX = 100;
    project().viewOffsetY = 50;
    main().resize(main().width() - 60, main().height() - 40);
    QApplication::processEvents();
    EXPECT_EQ(project().viewOffsetX, 100);
    EXPECT_EQ(project().viewOffsetY, 50);
}

class ChangeCellTest : public GuiTest {
protected:
    void createWith(StitchMode stitch, int cellsX, int cellsY, int cellSize)
    {
        WizardOptions options;
        options.stitchMode = stitch;
        options.repeatRadius = 1;
        prepareCreation(cellsX, cellsY, cellSize, options);
        ASSERT_TRUE(main().startCreation()) << platform_.messages.front().text;
        QTest::mouseClick(button("sbhand2"), Qt::LeftButton);
        ASSERT_EQ(project().toolMode, ToolMode::ChangeCell);
    }

    // Clicks at view position (x, y) and checks that exactly cell (cx, cy)
    // was edited.
    void expectEdit(int x, int y, int cx, int cy)
    {
        const auto before = gridCells();
        const MosaicCell old = project().MosaicGrid.at(cx, cy);
        const std::uint32_t seed = project().random.seed();
        QTest::mouseClick(child<PictureBox>(main(), "img1"), Qt::LeftButton, {}, QPoint(x, y));
        ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
        EXPECT_NE(project().random.seed(), seed) << "no picture was chosen";
        const auto after = gridCells();
        const int cellsY = project().settings.cellsY;
        for (std::size_t i = 0; i < before.size(); ++i) {
            const int ix = static_cast<int>(i) / cellsY, iy = static_cast<int>(i) % cellsY;
            if (ix == cx && iy == cy)
                continue;
            EXPECT_TRUE(sameCell(before[i], after[i])) << "cell " << ix << "," << iy << " changed";
        }
        const MosaicCell& edited = project().MosaicGrid.at(cx, cy);
        EXPECT_NE(edited.picture, old.picture) << "cell " << cx << "," << cy << " kept its picture";
        EXPECT_EQ(edited.placed, 1);
    }

    void expectNothingChanges(int x, int y)
    {
        const auto before = gridCells();
        const Picture image = project().MosaicImage;
        const std::uint32_t seed = project().random.seed();
        std::vector<std::int32_t> usage;
        for (std::size_t i = 0; i < library().count(); ++i)
            usage.push_back(project().CellPicTable[i].usageCount);
        auto* label = child<QLabel>(main(), "Label1");
        label->setText(QStringLiteral("untouched"));

        press(x, y);
        release(x, y);

        EXPECT_TRUE(platform_.messages.empty());
        EXPECT_EQ(project().random.seed(), seed) << "at " << x << "," << y;
        const auto after = gridCells();
        for (std::size_t i = 0; i < before.size(); ++i)
            EXPECT_TRUE(sameCell(before[i], after[i])) << "cell index " << i << " changed";
        EXPECT_TRUE(samePicture(project().MosaicImage, image));
        for (std::size_t i = 0; i < usage.size(); ++i)
            EXPECT_EQ(project().CellPicTable[i].usageCount, usage[i]);
        EXPECT_EQ(label->text(), "untouched") << "nothing may be repainted";
    }
};

TEST_F(ChangeCellTest, PeyoteWorkedExamples)
{
    createWith(StitchMode::Peyote, 20, 8, 10);
    expectEdit(196, 15, 0, 1);
    expectEdit(17, 15, 2, 1);
}

TEST_F(ChangeCellTest, BrickOddColumnWrapsToRowZero)
{
    createWith(StitchMode::Brick, 8, 20, 10);
    expectEdit(15, 196, 1, 0);
    expectEdit(15, 17, 1, 2);
}

TEST_F(ChangeCellTest, LoomEditRedrawsOnlyThatCellAndCountsTheNewPicture)
{
    createWith(StitchMode::Loom, 8, 8, 8);
    const Picture before = project().MosaicImage;
    std::vector<std::int32_t> usage;
    for (std::size_t i = 0; i < library().count(); ++i)
        usage.push_back(project().CellPicTable[i].usageCount);
    const int oldPicture = project().MosaicGrid.at(3, 2).picture;

    expectEdit(3 * 8 + 4, 2 * 8 + 1, 3, 2);

    const int newPicture = project().MosaicGrid.at(3, 2).picture;
    EXPECT_EQ(project().CellPicTable[newPicture].usageCount, usage[newPicture] + 1);
    EXPECT_EQ(project().CellPicTable[oldPicture].usageCount, usage[oldPicture]);
    const Picture& now = project().MosaicImage;
    bool cellChanged = false;
    for (int y = 0; y < now.height(); ++y)
        for (int x = 0; x < now.width(); ++x) {
            const bool inCell = x / 8 == 3 && y / 8 == 2;
            if (inCell)
                cellChanged = cellChanged || !(now.pixel(x, y) == before.pixel(x, y));
            else
                ASSERT_EQ(now.pixel(x, y), before.pixel(x, y)) << "pixel " << x << "," << y << " outside the cell";
        }
    EXPECT_TRUE(cellChanged);
    // The view shows the new picture at once.
    EXPECT_TRUE(samePicture(child<PictureBox>(main(), "img1")->picture(), now));
}

TEST_F(ChangeCellTest, ReleaseOutsideTheGridTouchesNothing)
{
    createWith(StitchMode::Peyote, 20, 8, 10);
    const QSize box = viewBox();
    ASSERT_GT(box.width(), 210);
    ASSERT_GT(box.height(), 90);
    expectNothingChanges(203, 15);  // right of the mosaic in an odd row
    expectNothingChanges(5, 85);    // below the mosaic
    expectNothingChanges(-3, 15);   // released left of the view
}

TEST_F(ChangeCellTest, FreeCellPenDoesNothing)
{
    createWith(StitchMode::Loom, 8, 8, 8);
    project().toolMode = ToolMode::FreeCellPen;
    expectNothingChanges(10, 10);
}

TEST_F(ChangeCellTest, SelfMosaicIsNotEdited)
{
    WizardOptions options;
    options.renderMode = RenderMode::SelfMosaic;
    prepareCreation(8, 8, 8, options);
    ASSERT_TRUE(main().startCreation());
    QTest::mouseClick(button("sbhand2"), Qt::LeftButton);
    expectNothingChanges(10, 10);
}

TEST_F(ChangeCellTest, OpenedPictureSwitchesEditingOff)
{
    createWith(StitchMode::Loom, 8, 8, 8);
    saveBmp(gradientPicture(64, 64), path("plain.bmp"));
    platform_.answerFile(qpath("plain.bmp"));
    action("OpenPicture1")->trigger();
    ASSERT_EQ(project().projectState, ProjectState::Picture);
    expectNothingChanges(10, 10);
}

} // namespace
} // namespace tw::test
