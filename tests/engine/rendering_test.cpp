// Mosaic rendering: cell geometry of the stitch layouts, borders, colour
// shift, flips, self-mosaic cells, reports and failures; every case on the
// one-cell-at-a-time path and on the worker path.
#include "engine/cell_layout.h"
#include "engine/pipeline.h"
#include "engine/rendering.h"
#include "engine_fixtures.h"
#include "imaging/load_picture.h"
#include "imaging/transforms.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <functional>
#include <thread>

namespace tw {
namespace {

using test::RecordingObserver;
using Kind = RecordingObserver::Kind;

struct PathCase {
    const char* name;
    EngineOptions options;
};

const PathCase kPaths[] = {
    {"Reference", EngineOptions{0, true}},
    {"OneWorker", EngineOptions{1, false}},
    {"TwoWorkers", EngineOptions{2, false}},
};

const Bgr kBorder{1, 2, 3};

class RenderMosaic : public ::testing::TestWithParam<PathCase> {
protected:
    const EngineOptions& options() const { return GetParam().options; }
    std::string scratchName(const std::string& base) const { return base + "_" + GetParam().name; }

    static tmosaicproject settings(int cellsX, int cellsY, int cw, int ch)
    {
        tmosaicproject s = test::gridSettings(cellsX, cellsY, cw, ch);
        s.colorEnhance = 0;
        s.borderColor = colorRefFromBgr(kBorder);
        return s;
    }

    static void place(MosaicProject& p, int x, int y, int picture, int r = 0, int g = 0, int b = 0, bool h = false,
                      bool v = false)
    {
        MosaicCell& c = p.MosaicGrid.at(x, y);
        c = MosaicCell{};
        c.picture = picture;
        c.redOffset = r;
        c.greenOffset = g;
        c.blueOffset = b;
        c.placed = 1;
        c.hFlip = h;
        c.vFlip = v;
    }

    static void placeAll(MosaicProject& p, int picture)
    {
        for (int y = 0; y < p.settings.cellsY; ++y)
            for (int x = 0; x < p.settings.cellsX; ++x)
                place(p, x, y, picture);
    }

    CellPicLib oneFileLibrary(const std::string& base, const Picture& picture) const
    {
        auto dir = test::scratchDir(scratchName(base));
        CellPicLib lib;
        lib.append(test::writePictureFile(dir, "photo", picture));
        return lib;
    }

    void render(MosaicProject& p, const CellPicLib& lib, RecordingObserver* obs = nullptr) const
    {
        RecordingObserver local;
        renderMosaic(p, lib, obs ? *obs : local, options());
    }
};

// Checks every mosaic pixel against want(x, y).
::testing::AssertionResult mosaicIs(const Picture& mosaic, const std::function<Bgr(int, int)>& want)
{
    return test::samePicture(mosaic, test::patternPicture(mosaic.width(), mosaic.height(), want));
}

TEST_P(RenderMosaic, BorderOfTwoLeavesThirtyPixelPicturesAndTwoPixelStrips)
{
    const Bgr photo{50, 60, 70};
    CellPicLib lib = oneFileLibrary("rn_border", test::solidPicture(40, 40, photo));
    tmosaicproject s = settings(3, 2, 32, 32);
    s.borderSize = 2;
    auto p = test::makeProject(s);
    placeAll(*p, 0);
    render(*p, lib);
    EXPECT_TRUE(mosaicIs(p->MosaicImage, [&](int x, int y) { return x % 32 < 30 && y % 32 < 30 ? photo : kBorder; }));
}

TEST_P(RenderMosaic, NoBorderLeavesNoBorderColourExceptInUnplacedCells)
{
    const Bgr photo{50, 60, 70};
    CellPicLib lib = oneFileLibrary("rn_noborder", test::solidPicture(20, 20, photo));
    auto p = test::makeProject(settings(3, 2, 16, 16));
    placeAll(*p, 0);
    p->MosaicGrid.at(2, 1).placed = 0;
    render(*p, lib);
    EXPECT_TRUE(mosaicIs(p->MosaicImage, [&](int x, int y) { return x >= 32 && y >= 16 ? kBorder : photo; }));
}

struct ShiftCase {
    int enhance, redOffset, amount;
};

TEST_P(RenderMosaic, RedShiftFollowsOffsetAndEnhanceClampedToByteRange)
{
    const ShiftCase cases[] = {{0, -41, 0}, {100, -41, 41}, {50, 7, -3}, {50, -7, 3}, {100, 300, -255}, {5, 19, 0}};
    // Equal sizes make the scaled copy a plain copy, so each pixel shows the shift alone.
    const Picture photo = test::patternPicture(32, 32, [](int x, int y) {
        return Bgr{200, 100, static_cast<std::uint8_t>(std::min(255, x * 8 + y))};
    });
    CellPicLib lib = oneFileLibrary("rn_shift", photo);
    for (const ShiftCase& c : cases) {
        tmosaicproject s = settings(1, 1, 32, 32);
        s.colorEnhance = c.enhance;
        auto p = test::makeProject(s);
        place(*p, 0, 0, 0, c.redOffset);
        render(*p, lib);
        EXPECT_TRUE(mosaicIs(p->MosaicImage, [&](int x, int y) {
            Bgr v = photo.pixel(x, y);
            v.r = clampByte(v.r + c.amount);
            return v;
        })) << "enhance " << c.enhance << " red offset " << c.redOffset;
    }
}

TEST_P(RenderMosaic, FlipsMirrorThePictureInTheCell)
{
    const Picture photo = test::coordinatePicture(32, 32);
    CellPicLib lib = oneFileLibrary("rn_flip", photo);
    for (int flags = 0; flags < 4; ++flags) {
        const bool h = flags & 1, v = flags & 2;
        auto p = test::makeProject(settings(1, 1, 32, 32));
        place(*p, 0, 0, 0, 0, 0, 0, h, v);
        render(*p, lib);
        EXPECT_TRUE(mosaicIs(p->MosaicImage, [&](int x, int y) { return photo.pixel(h ? 31 - x : x, v ? 31 - y : y); }))
            << "h " << h << " v " << v;
    }
}

TEST_P(RenderMosaic, PeyoteOddRowIsShiftedHalfACellAndCellZeroSplitAcrossEdges)
{
    const Picture photo = test::coordinatePicture(32, 32);
    CellPicLib lib = oneFileLibrary("rn_peyote", photo);
    tmosaicproject s = settings(4, 2, 32, 32);
    s.stitchMode = StitchMode::Peyote;
    auto p = test::makeProject(s);
    placeAll(*p, 0);
    render(*p, lib);
    EXPECT_TRUE(mosaicIs(p->MosaicImage, [&](int x, int y) {
        if (y < 32)
            return photo.pixel(x % 32, y);
        if (x < 16)
            return photo.pixel(16 + x, y - 32);  // right half of cell 0 opens the row
        if (x >= 112)
            return photo.pixel(x - 112, y - 32);  // its left half closes it
        return photo.pixel((x - 16) % 32, y - 32);
    }));
}

TEST_P(RenderMosaic, PeyoteSplitCellLosesBorderOnBothHalves)
{
    const Bgr c{90, 91, 92};
    CellPicLib lib = oneFileLibrary("rn_peyote_b", test::solidPicture(32, 32, c));
    tmosaicproject s = settings(4, 2, 32, 32);
    s.stitchMode = StitchMode::Peyote;
    s.borderSize = 2;
    auto p = test::makeProject(s);
    placeAll(*p, 0);
    render(*p, lib);
    EXPECT_TRUE(mosaicIs(p->MosaicImage, [&](int x, int y) {
        if (y % 32 >= 30)
            return kBorder;
        if (y < 32)
            return x % 32 < 30 ? c : kBorder;
        if (x < 16)
            return x < 14 ? c : kBorder;  // half of 33 minus 2
        if (x >= 112)
            return x < 127 ? c : kBorder;  // 16 minus half of 2
        return (x - 16) % 32 < 30 ? c : kBorder;
    }));
}

TEST_P(RenderMosaic, BrickOddColumnIsShiftedHalfACellAndCellZeroSplitTopAndBottom)
{
    const Picture photo = test::coordinatePicture(32, 32);
    CellPicLib lib = oneFileLibrary("rn_brick", photo);
    tmosaicproject s = settings(2, 4, 32, 32);
    s.stitchMode = StitchMode::Brick;
    auto p = test::makeProject(s);
    placeAll(*p, 0);
    render(*p, lib);
    EXPECT_TRUE(mosaicIs(p->MosaicImage, [&](int x, int y) {
        if (x < 32)
            return photo.pixel(x, y % 32);
        if (y < 16)
            return photo.pixel(x - 32, 16 + y);
        if (y >= 112)
            return photo.pixel(x - 32, y - 112);
        return photo.pixel(x - 32, (y - 16) % 32);
    }));
}

TEST_P(RenderMosaic, OddCellSizesLeaveNoGapInShiftedRowsAndColumns)
{
    // Without a border every pixel belongs to a cell: the split halves of an
    // odd-sized cell 0 and the cells shifted by half a cell meet exactly.
    const Bgr c{90, 91, 92};
    CellPicLib lib = oneFileLibrary("rn_odd", test::solidPicture(20, 20, c));
    struct Row {
        StitchMode stitch;
        int cellsX, cellsY, cw, ch;
    };
    const Row rows[] = {
        {StitchMode::Peyote, 4, 3, 9, 9}, {StitchMode::Peyote, 5, 4, 7, 8}, {StitchMode::Peyote, 3, 2, 1, 5},
        {StitchMode::Brick, 3, 4, 9, 9},  {StitchMode::Brick, 4, 5, 8, 7},  {StitchMode::Brick, 2, 3, 5, 1},
    };
    for (const Row& row : rows) {
        tmosaicproject s = settings(row.cellsX, row.cellsY, row.cw, row.ch);
        s.stitchMode = row.stitch;
        auto p = test::makeProject(s);
        placeAll(*p, 0);
        render(*p, lib);
        EXPECT_TRUE(mosaicIs(p->MosaicImage, [&](int, int) { return c; }))
            << (row.stitch == StitchMode::Peyote ? "peyote " : "brick ") << row.cw << " x " << row.ch;
    }
}

TEST_P(RenderMosaic, BorderAsLargeAsTheCellDrawsNothing)
{
    CellPicLib lib = oneFileLibrary("rn_bigborder", test::solidPicture(16, 16, {200, 200, 200}));
    for (StitchMode mode : {StitchMode::Loom, StitchMode::Peyote, StitchMode::Brick})
        for (int border : {16, 17, 40}) {
            tmosaicproject s = settings(3, 3, 16, 16);
            s.stitchMode = mode;
            s.borderSize = border;
            auto p = test::makeProject(s);
            placeAll(*p, 0);
            render(*p, lib);
            EXPECT_TRUE(mosaicIs(p->MosaicImage, [](int, int) { return kBorder; }))
                << "stitch " << int(mode) << " border " << border;
        }
}

TEST_P(RenderMosaic, SelfMosaicShiftsMainPictureTowardEveryCell)
{
    tmosaicproject s = settings(2, 2, 16, 16);
    s.renderMode = RenderMode::SelfMosaic;
    s.colorEnhance = 100;
    auto p = test::makeProject(s);
    p->MainImage = test::solidPicture(48, 40, {100, 100, 100});
    place(*p, 0, 0, 0);
    place(*p, 1, 0, 0, -50, 0, 0);
    place(*p, 0, 1, 0, 0, 60, 0);
    place(*p, 1, 1, 0, 10, -200, 30);
    render(*p, CellPicLib{});
    const Bgr want[2][2] = {{{100, 100, 100}, {100, 100, 150}}, {{100, 40, 100}, {70, 255, 90}}};
    EXPECT_TRUE(mosaicIs(p->MosaicImage, [&](int x, int y) { return want[y / 16][x / 16]; }));
}

TEST_P(RenderMosaic, SelfMosaicCellShowsCentredCropOfMainPictureWhenCropCellIsOn)
{
    const Bgr centre{10, 200, 10}, side{200, 10, 10};
    for (std::uint8_t crop : {std::uint8_t{1}, std::uint8_t{0}}) {
        tmosaicproject s = settings(2, 1, 16, 16);
        s.renderMode = RenderMode::SelfMosaic;
        s.cropCell = crop;
        auto p = test::makeProject(s);
        p->MainImage = test::patternPicture(48, 16, [&](int x, int) { return x >= 16 && x < 32 ? centre : side; });
        placeAll(*p, 0);
        render(*p, CellPicLib{});
        if (crop)
            EXPECT_TRUE(mosaicIs(p->MosaicImage, [&](int, int) { return centre; }));
        else
            EXPECT_EQ(p->MosaicImage.pixel(0, 0), side);
    }
}

TEST_P(RenderMosaic, ReportsGaugeAndPumpForEveryCellIncludingUnplaced)
{
    CellPicLib lib = oneFileLibrary("rn_reports", test::solidPicture(8, 8, {5, 6, 7}));
    auto p = test::makeProject(settings(3, 2, 8, 8));
    place(*p, 1, 0, 0);
    RecordingObserver obs;
    render(*p, lib, &obs);
    std::vector<RecordingObserver::Event> want{{Kind::Label, kJobRendering, 0}};
    for (int g : {0, 16, 33, 50, 66, 83}) {
        want.push_back({Kind::Progress, {}, g});
        want.push_back({Kind::Pump, {}, 0});
    }
    want.push_back({Kind::Progress, {}, 0});
    want.push_back({Kind::Label, kJobDone, 0});
    EXPECT_EQ(obs.events, want) << obs.transcript();
    EXPECT_EQ(p->projectState, ProjectState::Mosaic);
    EXPECT_TRUE(mosaicIs(p->MosaicImage, [](int x, int y) { return x >= 8 && x < 16 && y < 8 ? Bgr{5, 6, 7} : kBorder; }));
}

// Records the cells-drawn reports a wait for a photograph makes, with the
// number of cells the gauge had reported by then.
class WorkDoneObserver final : public ProgressObserver {
public:
    struct Report {
        std::uint64_t done, total;
        int cellsReported;
    };
    std::vector<Report> reports;
    int cellsReported = 0;

    void setJobLabel(const std::string&) override {}
    void setProgress(int) override { ++cellsReported; }
    void pump() override {}
    void showWorkDone(std::uint64_t done, std::uint64_t total) override
    {
        reports.push_back({done, total, cellsReported});
    }
};

TEST(RenderWorkDone, WaitingForAPhotographReportsTheCellsDrawnSoFar)
{
    // Cell (0, 0) shows a small photograph, the other five a large one whose
    // decoding the gauge has to wait for after its first cell.
    auto dir = test::scratchDir("rn_work_done");
    CellPicLib lib;
    lib.append(test::writePictureFile(dir, "small", test::solidPicture(8, 8, {5, 6, 7})));
    lib.append(test::writePictureFile(dir, "large", test::gradientPicture(3000, 2400, {0, 0, 0}, {250, 200, 150}),
                                      test::FileKind::Jpeg));
    for (const PathCase& path : kPaths) {
        tmosaicproject s = test::gridSettings(3, 2, 8, 8);
        auto p = test::makeProject(s);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                MosaicCell& c = p->MosaicGrid.at(x, y);
                c = MosaicCell{};
                c.picture = x == 0 && y == 0 ? 0 : 1;
                c.placed = 1;
            }
        WorkDoneObserver obs;
        renderMosaic(*p, lib, obs, path.options);
        if (path.options.referencePath) {
            EXPECT_TRUE(obs.reports.empty()) << "the one-by-one drawing never waits";
            continue;
        }
        ASSERT_FALSE(obs.reports.empty()) << path.name;
        std::uint64_t previous = 0;
        for (const auto& r : obs.reports) {
            EXPECT_EQ(r.total, 6u) << path.name;
            EXPECT_GE(r.done, previous) << path.name;
            EXPECT_LE(r.done, r.total) << path.name;
            EXPECT_GE(r.done, static_cast<std::uint64_t>(r.cellsReported)) << path.name << ": reported cells are drawn";
            previous = r.done;
        }
        EXPECT_GE(obs.reports.back().cellsReported, 1) << path.name << ": the wait for the large photograph";
    }
}

TEST_P(RenderMosaic, LoadFailureKeepsEarlierCellsStateAndReports)
{
    auto dir = test::scratchDir(scratchName("rn_fail"));
    CellPicLib lib;
    lib.append(test::writePictureFile(dir, "a", test::solidPicture(8, 8, {30, 40, 50})));
    const std::string missing = (dir / "gone.jpg").string();
    lib.append(missing);
    std::string loaderText;
    try {
        Picture q;
        loadPicture(q, missing);
    } catch (const Error& e) {
        loaderText = e.what();
    }
    ASSERT_FALSE(loaderText.empty());

    auto p = test::makeProject(settings(3, 1, 8, 8));
    p->projectState = ProjectState::Picture;
    place(*p, 0, 0, 0);
    place(*p, 1, 0, 1);
    place(*p, 2, 0, 0);  // drawable, but after the failure: must stay border colour
    RecordingObserver obs;
    try {
        render(*p, lib, &obs);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), loaderText);
    }
    const std::vector<RecordingObserver::Event> want{
        {Kind::Label, kJobRendering, 0}, {Kind::Progress, {}, 0}, {Kind::Pump, {}, 0}};
    EXPECT_EQ(obs.events, want) << obs.transcript();
    EXPECT_EQ(p->projectState, ProjectState::Picture);
    EXPECT_TRUE(mosaicIs(p->MosaicImage, [](int x, int) { return x < 8 ? Bgr{30, 40, 50} : kBorder; }));
}

TEST_P(RenderMosaic, LibraryIndexOutsideTheLibraryIsAnErrorAtThatCell)
{
    CellPicLib lib = oneFileLibrary("rn_index", test::solidPicture(8, 8, {30, 40, 50}));
    for (int bad : {1, 5, -1, INT_MAX}) {
        auto p = test::makeProject(settings(2, 1, 8, 8));
        place(*p, 0, 0, 0);
        place(*p, 1, 0, bad);
        RecordingObserver obs;
        try {
            render(*p, lib, &obs);
            FAIL() << "no error for index " << bad;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Library picture " + std::to_string(bad) + " is not in the library (it holds 1 pictures)");
        }
        EXPECT_EQ(obs.pumpCount(), 1) << bad;
        EXPECT_TRUE(mosaicIs(p->MosaicImage, [](int x, int) { return x < 8 ? Bgr{30, 40, 50} : kBorder; }));
    }
}

struct GeometryCase {
    const char* name;
    std::function<void(tmosaicproject&)> change;
};

TEST_P(RenderMosaic, UndrawableRecordIsRefusedBeforeAnythingChanges)
{
    const GeometryCase cases[] = {
        {"cellsX", [](tmosaicproject& s) { s.cellsX = kGridSize + 1; }},
        {"cellsY", [](tmosaicproject& s) { s.cellsY = -1; }},
        {"cellWidth", [](tmosaicproject& s) { s.cellWidth = kMaxCellSide + 1; }},
        {"cellHeight", [](tmosaicproject& s) { s.cellHeight = INT_MIN; }},
        {"borderSize", [](tmosaicproject& s) { s.borderSize = -1; }},
        {"mosaicWidth", [](tmosaicproject& s) { s.mosaicWidth = -8; }},
        {"mosaicHeight", [](tmosaicproject& s) { s.mosaicHeight = Picture::kMaxDimension + 1; }},
    };
    for (const GeometryCase& c : cases) {
        tmosaicproject s = settings(2, 2, 8, 8);
        c.change(s);
        auto p = test::makeProject(s);
        p->MosaicImage = test::solidPicture(4, 4, {9, 9, 9});
        const Picture before = p->MosaicImage;
        RecordingObserver obs;
        EXPECT_THROW(render(*p, CellPicLib{}, &obs), Error) << c.name;
        EXPECT_TRUE(obs.events.empty()) << c.name;
        EXPECT_TRUE(test::samePicture(p->MosaicImage, before)) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, RenderMosaic, ::testing::ValuesIn(kPaths),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- renderCell

TEST(RenderCell, RedrawsOneCellOverTheMosaicAndKeepsItsPictureInScratch)
{
    auto dir = test::scratchDir("rc_one");
    CellPicLib lib;
    lib.append(test::writePictureFile(dir, "a", test::solidPicture(8, 8, {30, 40, 50})));
    lib.append(test::writePictureFile(dir, "b", test::solidPicture(12, 12, {60, 70, 80})));
    tmosaicproject s = test::gridSettings(2, 1, 8, 8);
    s.colorEnhance = 100;
    auto p = test::makeProject(s);
    p->MosaicImage = test::solidPicture(16, 8, {0, 0, 0});
    MosaicCell& c = p->MosaicGrid.at(1, 0);
    c.picture = 1;
    c.placed = 1;
    c.redOffset = 20;  // amount -20
    renderCell(*p, lib, 1, 0);
    EXPECT_TRUE(mosaicIs(p->MosaicImage, [](int x, int) { return x < 8 ? Bgr{0, 0, 0} : Bgr{60, 70, 60}; }));
    EXPECT_TRUE(test::samePicture(p->CellScratch, test::solidPicture(12, 12, {60, 70, 60})));
}

TEST(RenderCell, UnplacedOrOutsideCellDrawsNothing)
{
    auto p = test::makeProject(test::gridSettings(2, 2, 8, 8));
    p->MosaicImage = test::solidPicture(16, 16, {7, 7, 7});
    const Picture before = p->MosaicImage;
    CellPicLib lib;
    renderCell(*p, lib, 0, 0);
    renderCell(*p, lib, 2, 0);
    renderCell(*p, lib, -1, 1);
    renderCell(*p, lib, 0, kGridSize);
    EXPECT_TRUE(test::samePicture(p->MosaicImage, before));
}

// ---------------------------------------------------------------- layout

TEST(ShiftAmount, TruncatesTowardZeroAndStaysWithinAByteStep)
{
    struct Row {
        std::int32_t offset, enhance;
        int amount;
    };
    const Row rows[] = {{7, 50, -3},          {-7, 50, 3},      {-41, 100, 41},   {0, 100, 0},
                        {100, 0, 0},          {1, 99, 0},       {-1, 100, 1},     {255, 100, -255},
                        {INT_MIN, 100, 255},  {INT_MAX, 100, -255}, {3, INT_MAX, -255}};
    for (const Row& r : rows)
        EXPECT_EQ(shiftAmount(r.offset, r.enhance), r.amount) << r.offset << " x " << r.enhance;
}

// The amounts a photograph's cells can receive: the ends are the samples
// 0 and 255, whatever the sign of the enhancement, limited to a byte step.
TEST(AmountRanges, EndsAreTheAmountsOfTheDarkestAndBrightestCellSample)
{
    struct Row {
        std::uint8_t mean;
        std::int32_t enhance;
        AmountRange range;
    };
    const Row rows[] = {{0, 100, {0, 255}},     {255, 100, {-255, 0}},    {128, 100, {-128, 127}},
                        {128, 50, {-64, 63}},   {127, 50, {-63, 64}},     {37, 0, {0, 0}},
                        {10, -100, {-245, 10}}, {128, 300, {-255, 255}}, {200, 1, {-2, 0}},
                        {3, 99, {-2, 249}}};
    for (const Row& r : rows) {
        ColorSignature sig;
        sig.c[Mean] = SignatureColor{r.mean, std::uint8_t(255 - r.mean), r.mean, 0};
        const ChannelRanges ranges = amountRanges(sig, r.enhance);
        EXPECT_EQ(ranges[0], r.range) << int{r.mean} << " x " << r.enhance;
        EXPECT_EQ(ranges[2], r.range) << int{r.mean} << " x " << r.enhance;
        // Every sample's amount lies inside, and both ends are reached.
        bool low = false, high = false;
        for (int sample = 0; sample < 256; ++sample) {
            const int a = shiftAmount(int{r.mean} - sample, r.enhance);
            EXPECT_GE(a, ranges[0].low);
            EXPECT_LE(a, ranges[0].high);
            low = low || a == ranges[0].low;
            high = high || a == ranges[0].high;
            const int g = shiftAmount(255 - int{r.mean} - sample, r.enhance);
            EXPECT_GE(g, ranges[1].low);
            EXPECT_LE(g, ranges[1].high);
        }
        EXPECT_TRUE(low && high) << int{r.mean} << " x " << r.enhance;
    }
}

TEST(CellCopies, SplitCellsUseBothPictureHalvesOfOddWidths)
{
    tmosaicproject s = test::gridSettings(5, 4, 32, 32);
    s.stitchMode = StitchMode::Peyote;
    s.borderSize = 3;
    const CellCopies c = cellCopies(s, 0, 1, 31, 20);
    ASSERT_EQ(c.count, 2);
    EXPECT_TRUE(c.split);
    EXPECT_EQ(c.copy[0].source, (Rect{15, 0, 31, 20}));   // from half of W, W - half of W wide
    EXPECT_EQ(c.copy[0].dest, (Rect{0, 32, 13, 61}));     // half of 33 minus 3
    EXPECT_EQ(c.copy[1].source, (Rect{0, 0, 16, 20}));
    EXPECT_EQ(c.copy[1].dest, (Rect{144, 32, 159, 61}));  // 5 x 32 - 16, width 16 - 1

    s.stitchMode = StitchMode::Brick;
    const CellCopies b = cellCopies(s, 3, 0, 20, 31);
    ASSERT_EQ(b.count, 2);
    EXPECT_EQ(b.copy[0].source, (Rect{0, 15, 20, 31}));
    EXPECT_EQ(b.copy[0].dest, (Rect{96, 0, 125, 13}));
    EXPECT_EQ(b.copy[1].source, (Rect{0, 0, 20, 16}));
    EXPECT_EQ(b.copy[1].dest, (Rect{96, 112, 125, 127}));  // 4 x 32 - 16

    const CellCopies inner = cellCopies(s, 3, 2, 20, 31);
    ASSERT_EQ(inner.count, 1);
    EXPECT_FALSE(inner.split);
    EXPECT_EQ(inner.copy[0].dest, (Rect{96, 48, 125, 77}));
}

} // namespace
} // namespace tw

namespace tw {
namespace {

// The preparation shared by analysis and drawing against the picture
// transforms it stands for: crop to the cell aspect, then grey.
struct PrepareCase {
    int w, h, cellWidth, cellHeight;
    bool crop, mono;
};

TEST(PrepareCellPicture, EqualsCropToAspectThenGreyForEveryShapeAndOption)
{
    const PrepareCase cases[] = {
        {300, 100, 32, 32, true, false}, {100, 300, 32, 32, true, false}, {12, 9, 16, 16, true, true},
        {61, 41, 16, 16, true, false},   {33, 33, 16, 16, true, false},   {90, 30, 70, 8, true, false},
        {25, 70, 24, 20, true, true},    {25, 70, 24, 20, false, true},   {25, 70, 24, 20, false, false},
        {1, 1, 32, 32, true, false},     {7, 11, 0, 32, true, false},     {1600, 1200, 32, 32, true, true},
    };
    for (const PrepareCase& c : cases) {
        tmosaicproject s = test::gridSettings(4, 4, std::max(c.cellWidth, 1), std::max(c.cellHeight, 1));
        s.cellWidth = c.cellWidth;
        s.cellHeight = c.cellHeight;
        s.cropCell = c.crop;
        s.monoCell = c.mono;
        const Picture photo = test::coordinatePicture(c.w, c.h);
        Picture want = photo;
        if (c.crop)
            cropToAspect(want, want, c.cellWidth, c.cellHeight);
        if (c.mono)
            toGreyScale(want, want);
        Picture got = photo;
        prepareCellPicture(got, s);
        EXPECT_TRUE(test::samePicture(want, got))
            << c.w << "x" << c.h << " cells " << c.cellWidth << "x" << c.cellHeight << " crop " << c.crop << " mono "
            << c.mono;
    }
}


// ---------------------------------------------------------------- workers drawing ahead

// A library of a few distinct photographs and, at position 1, a file that
// is missing.
CellPicLib libraryWithAGap(const std::string& scratch)
{
    auto dir = test::scratchDir(scratch);
    CellPicLib lib;
    lib.append(test::writePictureFile(dir, "a", test::coordinatePicture(40, 30)));
    lib.append((dir / "gone.bmp").string());
    lib.append(test::writePictureFile(dir, "c", test::solidPicture(20, 20, {200, 10, 90})));
    return lib;
}

struct AheadCase {
    const char* name;
    StitchMode stitch;
    int border;
};
const AheadCase kAheadCases[] = {
    {"Loom", StitchMode::Loom, 0},       {"LoomBorder", StitchMode::Loom, 3},
    {"Peyote", StitchMode::Peyote, 0},   {"PeyoteBorder", StitchMode::Peyote, 5},
    {"Brick", StitchMode::Brick, 0},     {"BrickBorder", StitchMode::Brick, 4},
};

class DrawingAhead : public ::testing::TestWithParam<AheadCase> {};

// Workers draw the cells of the photographs they hold wherever those cells
// are; when a later photograph then fails, every cell after the failing one
// (split cells at the edges included) must be back in the border colour.
TEST_P(DrawingAhead, FailureLeavesExactlyTheCellsBeforeTheFailingOne)
{
    const CellPicLib lib = libraryWithAGap(std::string("rn_ahead_") + GetParam().name);
    auto make = [&] {
        tmosaicproject s = test::gridSettings(9, 7, 12, 10);
        s.stitchMode = GetParam().stitch;
        s.borderSize = GetParam().border;
        s.borderColor = colorRefFromBgr(kBorder);
        s.colorEnhance = 100;
        auto p = test::makeProject(s);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x) {
                MosaicCell& c = p->MosaicGrid.at(x, y);
                c = MosaicCell{};
                c.placed = 1;
                c.picture = (x + y) % 3 == 0 ? 2 : 0;
                c.redOffset = x * 9 - 30;
                c.hFlip = x % 2;
            }
        p->MosaicGrid.at(4, 3).picture = 1;  // the missing file, in the middle
        return p;
    };
    auto reference = make();
    RecordingObserver refObs;
    EXPECT_THROW(renderMosaic(*reference, lib, refObs, EngineOptions{0, true}), Error);
    for (unsigned threads : {1u, 2u, 4u}) {
        auto p = make();
        RecordingObserver obs;
        EXPECT_THROW(renderMosaic(*p, lib, obs, EngineOptions{threads, false}), Error);
        EXPECT_EQ(obs.events, refObs.events) << threads << " threads";
        EXPECT_TRUE(test::samePicture(p->MosaicImage, reference->MosaicImage)) << threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, DrawingAhead, ::testing::ValuesIn(kAheadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Window handlers run inside the pump and may read the mosaic: no worker
// may draw meanwhile.
TEST(DrawingAhead, MosaicStandsStillWhileThePumpRuns)
{
    // Photographs slow enough to decode that the workers are still drawing
    // while this thread pumps for the first cells.
    auto dir = test::scratchDir("rn_still");
    CellPicLib lib;
    for (int i = 0; i < 16; ++i)
        lib.append(test::writePictureFile(dir, "p" + std::to_string(i), test::coordinatePicture(800 + i, 600),
                                          test::FileKind::Jpeg));
    tmosaicproject s = test::gridSettings(24, 18, 16, 16);
    auto p = test::makeProject(s);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 24; ++x) {
            MosaicCell& c = p->MosaicGrid.at(x, y);
            c = MosaicCell{};
            c.placed = 1;
            c.picture = (x * 5 + y * 3) % 16;
        }
    RecordingObserver obs;
    int pumps = 0, changed = 0;
    obs.onPump = [&] {
        if (++pumps > 50)
            return;
        const Picture before = p->MosaicImage;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        if (!(before == p->MosaicImage))
            ++changed;
    };
    renderMosaic(*p, lib, obs, EngineOptions{2, false});
    EXPECT_EQ(changed, 0) << "pumps during which the mosaic changed";
}

} // namespace
} // namespace tw
