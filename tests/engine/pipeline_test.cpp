#include "engine/pipeline.h"

#include "engine/grid.h"
#include "engine/matching.h"
#include "engine_fixtures.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <filesystem>

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
