#include "engine/pipeline.h"

#include "engine/analysis.h"
#include "engine/grid.h"
#include "engine/rendering.h"
#include "engine/matching.h"
#include "engine_fixtures.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <tuple>

namespace tw {
namespace {

using test::RecordingObserver;
using K = RecordingObserver::Kind;

const std::vector<std::string> kAllStages = {kJobGrid, kJobLibrary, kJobMatching, kJobRendering, kJobDone};

// A small creation: 4 x 3 cells of 8 x 8 pixels over a gradient main picture.
std::unique_ptr<MosaicProject> smallProject(RenderMode mode = RenderMode::Standard)
{
    tmosaicproject s = test::gridSettings(4, 3, 8, 8);
    s.renderMode = mode;
    auto project = test::makeProject(s);
    project->MainImage = test::gradientPicture(40, 30, Bgr{10, 200, 40}, Bgr{250, 20, 120});
    project->viewOffsetX = 17;
    project->viewOffsetY = 23;
    return project;
}

int pumpsIn(const std::vector<RecordingObserver::Event>& events)
{
    int n = 0;
    for (const auto& e : events)
        n += e.kind == K::Pump;
    return n;
}

TEST(RunCreation, RunsTheFourStagesInOrderAndShowsTheTopLeftCorner)
{
    auto project = smallProject();
    const CellPicLib library = test::makeGradientLibrary("pipeline_order", 6);
    RecordingObserver observer;
    runCreation(*project, library, observer);

    EXPECT_EQ(observer.labels(), kAllStages) << observer.transcript();
    EXPECT_EQ(project->projectState, ProjectState::Mosaic);
    EXPECT_EQ(project->viewOffsetX, 0);
    EXPECT_EQ(project->viewOffsetY, 0);
    EXPECT_EQ(project->MosaicImage.width(), 32);
    EXPECT_EQ(project->MosaicImage.height(), 24);
    EXPECT_EQ(project->GridImage.width(), 8);
    EXPECT_EQ(test::placedCells(*project), 12);

    // The grid stage never pumps; the others pump per photograph or cell.
    EXPECT_EQ(pumpsIn(observer.stageEvents(kJobGrid)), 0);
    EXPECT_EQ(pumpsIn(observer.stageEvents(kJobLibrary)), 6);
    EXPECT_EQ(pumpsIn(observer.stageEvents(kJobRendering)), 12);
    const auto grid = observer.stageEvents(kJobGrid);
    const std::vector<RecordingObserver::Event> gridWanted = {{K::Progress, {}, 0}, {K::Progress, {}, 100}};
    EXPECT_EQ(grid, gridWanted);
    // The library stage gives every photograph fresh usage counts that the
    // matcher then turns into the cell counts.
    for (int p = 0; p < 6; ++p)
        EXPECT_EQ(project->CellPicTable[p].usageCount, test::cellsHolding(*project, p)) << "photograph " << p;
}

TEST(RunCreation, JpegLibraryWorksLikeBmp)
{
    auto project = smallProject();
    const CellPicLib library =
        test::makeSolidLibrary("pipeline_jpeg", {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {128, 128, 128}}, 16, 16,
                               test::FileKind::Jpeg);
    RecordingObserver observer;
    runCreation(*project, library, observer);
    EXPECT_EQ(observer.labels(), kAllStages);
    EXPECT_EQ(test::placedCells(*project), 12);
}

TEST(RunCreation, SelfMosaicWithAnEmptyLibraryRunsThrough)
{
    auto project = smallProject(RenderMode::SelfMosaic);
    RecordingObserver observer;
    const std::uint32_t seed = project->random.seed();
    project->settings.allowHFlip = 0;
    project->settings.allowVFlip = 0;
    runCreation(*project, CellPicLib{}, observer);
    EXPECT_EQ(observer.labels(), kAllStages) << observer.transcript();
    const std::vector<RecordingObserver::Event> onlyZero = {{K::Progress, {}, 0}};
    EXPECT_EQ(observer.stageEvents(kJobLibrary), onlyZero);
    EXPECT_EQ(observer.stageEvents(kJobMatching), onlyZero);
    EXPECT_EQ(project->random.seed(), seed);
    EXPECT_EQ(project->projectState, ProjectState::Mosaic);
    EXPECT_EQ(test::placedCells(*project), 12);
}

TEST(RunCreation, SameInputsGiveTheSameMosaic)
{
    const CellPicLib library = test::makeGradientLibrary("pipeline_determinism", 9);
    auto a = smallProject(), b = smallProject();
    a->settings.stitchMode = b->settings.stitchMode = StitchMode::Peyote;
    NullObserver observer;
    runCreation(*a, library, observer);
    runCreation(*b, library, observer);
    EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
    EXPECT_TRUE(a->MosaicGrid == b->MosaicGrid);
    EXPECT_TRUE(a->CellPicTable == b->CellPicTable);
}

TEST(RunCreation, LoadFailureInTheLibraryStageStopsTheCreation)
{
    auto project = smallProject();
    CellPicLib library = test::makeGradientLibrary("pipeline_missing", 3);
    library.append((test::scratchDir("pipeline_missing_none") / "gone.bmp").string());
    RecordingObserver observer;
    EXPECT_THROW(runCreation(*project, library, observer), Error);
    const std::vector<std::string> reached = {kJobGrid, kJobLibrary};
    EXPECT_EQ(observer.labels(), reached);
    EXPECT_EQ(project->projectState, ProjectState::Empty);
    EXPECT_EQ(project->viewOffsetX, 17);
    EXPECT_EQ(project->viewOffsetY, 23);
}

TEST(RunOpenedProject, RedrawsWithoutRepeatingTheMatching)
{
    auto project = smallProject();
    const CellPicLib library = test::makeGradientLibrary("pipeline_opened", 5);
    NullObserver quiet;
    runCreation(*project, library, quiet);
    const Picture mosaic = project->MosaicImage;
    const MosaicGridStore grid = project->MosaicGrid;
    const CellPicTableStore table = project->CellPicTable;
    const std::uint32_t seed = project->random.seed();

    project->MosaicImage.clear();
    project->GridImage.clear();
    project->projectState = ProjectState::Picture;
    project->viewOffsetX = 5;
    RecordingObserver observer;
    runOpenedProject(*project, library, observer);

    const std::vector<std::string> labels = {kJobGrid, kJobRendering, kJobDone};
    EXPECT_EQ(observer.labels(), labels) << observer.transcript();
    EXPECT_TRUE(test::samePicture(project->MosaicImage, mosaic));
    EXPECT_TRUE(project->MosaicGrid == grid);
    EXPECT_TRUE(project->CellPicTable == table);
    EXPECT_EQ(project->random.seed(), seed);
    EXPECT_EQ(project->projectState, ProjectState::Mosaic);
    EXPECT_EQ(project->viewOffsetX, 0);
}

TEST(RunOpenedProject, LoadFailureInRenderingPropagatesAndSkipsTheScrollReset)
{
    auto project = smallProject();
    const CellPicLib library = test::makeGradientLibrary("pipeline_render_fail", 4);
    NullObserver quiet;
    runCreation(*project, library, quiet);
    for (std::size_t i = 0; i < library.count(); ++i)
        std::filesystem::remove(library.entry(i));
    project->viewOffsetX = 9;
    project->projectState = ProjectState::Picture;
    RecordingObserver observer;
    EXPECT_THROW(runOpenedProject(*project, library, observer), Error);
    const std::vector<std::string> reached = {kJobGrid, kJobRendering};
    EXPECT_EQ(observer.labels(), reached);
    EXPECT_EQ(project->viewOffsetX, 9);
    EXPECT_EQ(project->projectState, ProjectState::Picture);
}

// ------------------------------------------------------------ drawn aside

// Everything a creation or an opening may replace, for before/after checks.
struct ShownState {
    tmosaicproject settings;
    Picture main, grid, mosaic;
    CellPicTableStore table;
    MosaicGridStore cells;
    std::uint32_t seed = 0;
    ProjectState state = ProjectState::Empty;
    int offsetX = 0, offsetY = 0;

    static ShownState of(const MosaicProject& p)
    {
        return ShownState{p.settings,     p.MainImage,     p.GridImage,   p.MosaicImage, p.CellPicTable,
                          p.MosaicGrid,   p.random.seed(), p.projectState, p.viewOffsetX, p.viewOffsetY};
    }
};

::testing::AssertionResult unchanged(const ShownState& before, const MosaicProject& p)
{
    if (std::memcmp(&before.settings, &p.settings, sizeof before.settings) != 0)
        return ::testing::AssertionFailure() << "settings changed";
    for (auto [name, a, b] : {std::tuple{"MainImage", &before.main, &p.MainImage},
                              std::tuple{"GridImage", &before.grid, &p.GridImage},
                              std::tuple{"MosaicImage", &before.mosaic, &p.MosaicImage}}) {
        if (auto same = test::samePicture(*a, *b); !same)
            return ::testing::AssertionFailure() << name << ": " << same.message();
    }
    if (!(before.table == p.CellPicTable))
        return ::testing::AssertionFailure() << "table changed";
    if (!(before.cells == p.MosaicGrid))
        return ::testing::AssertionFailure() << "grid changed";
    if (before.seed != p.random.seed())
        return ::testing::AssertionFailure() << "random sequence moved";
    if (before.state != p.projectState || before.offsetX != p.viewOffsetX || before.offsetY != p.viewOffsetY)
        return ::testing::AssertionFailure() << "state or offsets changed";
    return ::testing::AssertionSuccess();
}

TEST(DrawnAside, FailingCreationLeavesTheShownProjectAsItWas)
{
    struct Row {
        const char* what;
        bool duringMatching;  // photographs vanish then (rendering fails), else before (library stage fails)
        EngineOptions options;
    };
    const Row rows[] = {
        {"library stage, reference path", false, EngineOptions{0, true}},
        {"library stage, workers", false, EngineOptions{2, false}},
        {"rendering stage, reference path", true, EngineOptions{0, true}},
        {"rendering stage, workers keeping nothing", true, EngineOptions{2, false, 0}},
    };
    for (const Row& row : rows) {
        auto project = smallProject();
        CellPicLib library = test::makeGradientLibrary("aside_creation", 5);
        NullObserver quiet;
        runCreation(*project, library, quiet, row.options);
        project->viewOffsetX = 7;
        // A second creation with other settings, and the photographs gone.
        project->settings = test::gridSettings(6, 5, 8, 8);
        auto removeAll = [&] {
            for (std::size_t i = 0; i < library.count(); ++i)
                std::filesystem::remove(library.entry(i));
        };
        RecordingObserver observer;
        if (row.duringMatching)
            observer.onPump = [&] {
                if (observer.labels().back() == kJobMatching)
                    removeAll();
            };
        else
            removeAll();
        const ShownState before = ShownState::of(*project);
        EXPECT_THROW(runCreation(*project, library, observer, row.options), Error) << row.what;
        const std::vector<std::string> reached = observer.labels();
        EXPECT_EQ(reached.back(), row.duringMatching ? kJobRendering : kJobLibrary) << row.what;
        EXPECT_TRUE(unchanged(before, *project)) << row.what;
    }
}

TEST(DrawnAside, FailingRenderingAfterAnOpeningLeavesThePicturesAsTheyWere)
{
    for (const EngineOptions& options : {EngineOptions{0, true}, EngineOptions{2, false}}) {
        auto project = smallProject();
        const CellPicLib library = test::makeGradientLibrary("aside_opened", 4);
        NullObserver quiet;
        runCreation(*project, library, quiet, options);
        project->viewOffsetX = 3;
        std::filesystem::remove(library.entry(static_cast<std::size_t>(project->MosaicGrid.at(0, 0).picture)));
        const ShownState before = ShownState::of(*project);
        EXPECT_THROW(runOpenedProject(*project, library, quiet, options), Error);
        EXPECT_TRUE(unchanged(before, *project)) << "threads " << options.threads;
    }
}

TEST(DrawnAside, ViewSeesThePreviousMosaicWhileTheStagesRun)
{
    auto project = smallProject();
    const CellPicLib library = test::makeGradientLibrary("aside_view", 6);
    NullObserver quiet;
    runCreation(*project, library, quiet);
    const Picture first = project->MosaicImage;
    const MosaicGridStore firstGrid = project->MosaicGrid;
    project->settings = test::gridSettings(5, 4, 8, 8);

    // Window handlers run inside the pumps; they must find the shown
    // project whole, never a half-drawn mosaic.
    RecordingObserver observer;
    int checked = 0;
    observer.onPump = [&] {
        ++checked;
        ASSERT_TRUE(test::samePicture(project->MosaicImage, first));
        ASSERT_TRUE(project->MosaicGrid == firstGrid);
    };
    runCreation(*project, library, observer);
    EXPECT_GT(checked, 0);
    EXPECT_EQ(project->MosaicImage.width(), 40);
    EXPECT_FALSE(test::samePicture(project->MosaicImage, first));
}

TEST(DrawnAside, AsideGivesTheSameProjectAsAPlainRunOnTheProject)
{
    // The stages run on a work project; what is swapped in is what the same
    // stages give when run on the project itself.
    const CellPicLib library = test::makeGradientLibrary("aside_same", 7);
    for (StitchMode stitch : {StitchMode::Loom, StitchMode::Peyote, StitchMode::Brick}) {
        auto viaPipeline = smallProject(), direct = smallProject();
        viaPipeline->settings.stitchMode = direct->settings.stitchMode = stitch;
        viaPipeline->settings.limitRepeat = direct->settings.limitRepeat = 1;
        viaPipeline->settings.maxRepeat = direct->settings.maxRepeat = 1;
        NullObserver quiet;
        runCreation(*viaPipeline, library, quiet, EngineOptions{0, true});
        buildGrid(*direct, quiet);
        analyzeLibrary(*direct, library, quiet, EngineOptions{0, true});
        matchCells(*direct, library, quiet);
        renderMosaic(*direct, library, quiet, EngineOptions{0, true});
        EXPECT_TRUE(test::samePicture(viaPipeline->MosaicImage, direct->MosaicImage)) << int(stitch);
        EXPECT_TRUE(test::samePicture(viaPipeline->GridImage, direct->GridImage)) << int(stitch);
        EXPECT_TRUE(test::samePicture(viaPipeline->CellScratch, direct->CellScratch)) << int(stitch);
        EXPECT_TRUE(viaPipeline->MosaicGrid == direct->MosaicGrid) << int(stitch);
        EXPECT_TRUE(viaPipeline->CellPicTable == direct->CellPicTable) << int(stitch);
        EXPECT_EQ(viaPipeline->settings.maxRepeat, direct->settings.maxRepeat) << int(stitch);
        EXPECT_EQ(viaPipeline->random.seed(), direct->random.seed()) << int(stitch);
        EXPECT_TRUE(test::samePicture(viaPipeline->MainImage, direct->MainImage)) << int(stitch);
    }
}

TEST(RunOpenedProject, LibraryBeyondTheTableIsNotRefused)
{
    // Opening repeats no matching: the cells name photographs of the list,
    // however long the list is.
    auto project = smallProject();
    CellPicLib library = test::makeGradientLibrary("opened_long_list", 4);
    NullObserver quiet;
    runCreation(*project, library, quiet);
    const Picture mosaic = project->MosaicImage;
    for (std::size_t i = library.count(); i < 10300; ++i)
        library.append("/nonexistent/extra" + std::to_string(i) + ".bmp");
    project->MosaicImage.clear();
    EXPECT_NO_THROW(runOpenedProject(*project, library, quiet));
    EXPECT_TRUE(test::samePicture(project->MosaicImage, mosaic));
}

TEST(CommitWork, SwapsEveryResultAndNothingElse)
{
    auto project = smallProject(), work = smallProject();
    project->toolMode = ToolMode::ChangeCell;
    project->viewScale = 1;
    project->viewRect = Rect{1, 2, 3, 4};
    work->settings.cellsX = 99;
    work->mainImagePath = "work.tw6";
    work->MainImage = test::solidPicture(3, 3, Bgr{1, 1, 1});
    work->GridImage = test::solidPicture(4, 4, Bgr{2, 2, 2});
    work->MosaicImage = test::solidPicture(5, 5, Bgr{3, 3, 3});
    work->CellScratch = test::solidPicture(6, 6, Bgr{4, 4, 4});
    work->CellPicTable[7].usageCount = 70;
    work->MosaicGrid.at(8, 9).picture = 89;
    work->random(100);
    work->projectState = ProjectState::Mosaic;
    work->viewOffsetX = 0;
    work->viewOffsetY = 0;
    work->viewScale = 16;
    work->toolMode = ToolMode::Hand;
    work->viewRect = Rect{9, 9, 9, 9};
    const std::uint32_t workSeed = work->random.seed();

    commitWork(*project, *work);
    EXPECT_EQ(project->settings.cellsX, 99);
    EXPECT_EQ(project->mainImagePath, "work.tw6");
    EXPECT_EQ(project->MainImage.width(), 3);
    EXPECT_EQ(project->GridImage.width(), 4);
    EXPECT_EQ(project->MosaicImage.width(), 5);
    EXPECT_EQ(project->CellScratch.width(), 6);
    EXPECT_EQ(project->CellPicTable[7].usageCount, 70);
    EXPECT_EQ(project->MosaicGrid.at(8, 9).picture, 89);
    EXPECT_EQ(project->random.seed(), workSeed);
    EXPECT_EQ(project->projectState, ProjectState::Mosaic);
    EXPECT_EQ(project->viewOffsetX, 0);
    EXPECT_EQ(project->viewOffsetY, 0);
    // The view's own fields are the window's, not the work's.
    EXPECT_EQ(project->viewScale, 1);
    EXPECT_EQ(project->toolMode, ToolMode::ChangeCell);
    EXPECT_EQ(project->viewRect, (Rect{1, 2, 3, 4}));
    // The previous contents went to the work.
    EXPECT_EQ(work->viewOffsetX, 17);
    EXPECT_EQ(work->MainImage.width(), 40);
}

// ------------------------------------------------------------ refusals

struct BadSettings {
    const char* what;
    void (*spoil)(tmosaicproject&);
    const char* fragment;  // a part of the message that names the field
};

const BadSettings kBadSettings[] = {
    {"too many cells across", [](tmosaicproject& s) { s.cellsX = 801; s.mosaicWidth = 801 * s.cellWidth; }, "cellsX"},
    {"negative cells down", [](tmosaicproject& s) { s.cellsY = -4; s.mosaicHeight = -4 * s.cellHeight; }, "cellsY"},
    {"zero cell width", [](tmosaicproject& s) { s.cellWidth = 0; s.mosaicWidth = 0; }, "cellWidth"},
    {"negative cell height", [](tmosaicproject& s) { s.cellHeight = -8; s.mosaicHeight = -24; }, "cellHeight"},
    {"mosaic width disagrees", [](tmosaicproject& s) { s.mosaicWidth += 1; }, "mosaicWidth"},
    {"mosaic height disagrees", [](tmosaicproject& s) { s.mosaicHeight = 0; }, "mosaicHeight"},
    {"mosaic beyond a picture", [](tmosaicproject& s) { s.cellsX = 800; s.cellWidth = 200; s.mosaicWidth = 160000; },
     "160000"},
    {"cell size overflowing 32 bits",
     [](tmosaicproject& s) { s.cellsY = 800; s.cellHeight = 2147483647; s.mosaicHeight = -800; }, "mosaicHeight"},
};

TEST(CheckSettings, RefusesRecordsThatCannotDescribeAMosaic)
{
    for (const BadSettings& bad : kBadSettings) {
        tmosaicproject s = test::gridSettings(4, 3, 8, 8);
        bad.spoil(s);
        try {
            checkSettings(s);
            ADD_FAILURE() << "accepted: " << bad.what;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(bad.fragment), std::string::npos) << bad.what << ": " << e.what();
        }
    }
}

TEST(CheckSettings, AcceptsEveryWizardCorner)
{
    for (int cells : {8, 64})
        for (int cw : {8, 48})
            for (int ch : {8, 48}) {
                EXPECT_NO_THROW(checkSettings(test::gridSettings(cells, 72 - cells, cw, ch)))
                    << cells << " cells, " << cw << " x " << ch;
            }
    EXPECT_NO_THROW(checkSettings(test::wizardDefaults()));
    // The largest grid of the largest cells a picture can hold, on a machine
    // with memory enough for it.
    const MemoryStatus plenty{std::uint64_t{1} << 40, std::uint64_t{1} << 40};
    EXPECT_NO_THROW(checkSettings(test::gridSettings(800, 800, 163, 163), plenty));
    // No cells: there is no mosaic to draw, whatever the cell size.
    tmosaicproject none = test::gridSettings(0, 0, 0, 0);
    EXPECT_NO_THROW(checkSettings(none));
}

TEST(CheckSettings, MosaicLargerThanAvailableMemoryIsRefusedWithBothFigures)
{
    // 1000 x 1000 pixels take 3,000,000 bytes.
    const tmosaicproject s = test::gridSettings(100, 100, 10, 10);
    EXPECT_NO_THROW(checkSettings(s, MemoryStatus{8u << 20, 3000000}));
    try {
        checkSettings(s, MemoryStatus{8u << 20, 2999999});
        FAIL() << "a mosaic beyond the available memory was accepted";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "A mosaic of 1000 x 1000 pixels needs 3 MB of memory, but only 2 MB are available");
    }
    // An unknown memory status (zeros) does not refuse anything.
    EXPECT_NO_THROW(checkSettings(s, MemoryStatus{}));
    // The mosaic still shown is no credit: the new one is allocated beside
    // it, and the refusal says how much the shown one keeps.
    EXPECT_NO_THROW(checkSettings(s, MemoryStatus{8u << 20, 3000000}, 5000000));
    try {
        checkSettings(s, MemoryStatus{8u << 20, 2999999}, 5000000);
        FAIL() << "a held mosaic was taken as memory for the new one";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "A mosaic of 1000 x 1000 pixels needs 3 MB of memory, but only 2 MB are "
                                         "available (the mosaic shown keeps 5 MB until the new one replaces it)");
    }
}

TEST(RunCreation, BadSettingsAreRefusedBeforeAnythingChanges)
{
    const CellPicLib library = test::pathOnlyLibrary(3);
    for (const BadSettings& bad : kBadSettings) {
        auto project = smallProject();
        bad.spoil(project->settings);
        const Picture grid = test::solidPicture(2, 2, Bgr{1, 2, 3});
        project->GridImage = grid;
        project->MosaicGrid.at(1, 1).placed = 1;
        const std::uint32_t seed = project->random.seed();
        RecordingObserver observer;
        EXPECT_THROW(runCreation(*project, library, observer), Error) << bad.what;
        EXPECT_THROW(runOpenedProject(*project, library, observer), Error) << bad.what;
        EXPECT_TRUE(observer.events.empty()) << bad.what << ": " << observer.transcript();
        EXPECT_TRUE(test::samePicture(project->GridImage, grid)) << bad.what;
        EXPECT_EQ(project->MosaicGrid.at(1, 1).placed, 1) << bad.what;
        EXPECT_EQ(project->random.seed(), seed) << bad.what;
        EXPECT_EQ(project->viewOffsetX, 17) << bad.what;
    }
}

TEST(RunCreation, LibraryBeyondTheTableIsRefusedWithBothNumbers)
{
    auto project = smallProject();
    RecordingObserver observer;
    try {
        runCreation(*project, test::pathOnlyLibrary(10300), observer);
        ADD_FAILURE() << "accepted 10300 photographs";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "The image library holds 10300 pictures, but a mosaic can use at most 10241");
    }
    EXPECT_TRUE(observer.events.empty());
    EXPECT_TRUE(project->GridImage.empty());
    EXPECT_NO_THROW(checkLibraryCapacity(test::pathOnlyLibrary(10241)));
}

} // namespace
} // namespace tw
