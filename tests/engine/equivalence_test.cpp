// The worker paths of library analysis and rendering against the plain
// one-at-a-time paths: identical table, grid, mosaic bytes, reports and
// failures, over a table of layouts, options and thread counts.
#include "cache/analysis_store.h"
#include "engine/analysis.h"
#include "engine/cell_layout.h"
#include "engine/cell_tiles.h"
#include "engine/photo_cache.h"
#include "engine/pipeline.h"
#include "engine/rendering.h"
#include "engine_fixtures.h"
#include "imaging/decode_budget.h"
#include "imaging/load_picture.h"
#include "imaging/signature.h"
#include "imaging/transforms.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

namespace tw {
namespace {

using test::RecordingObserver;

const EngineOptions kReference{0, true};

// A small deterministic generator for test content only.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : s_(seed * 2654435761u + 12345u) {}
    std::uint32_t next()
    {
        s_ = s_ * 1664525u + 1013904223u;
        return s_ >> 8;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint32_t s_;
};

// A gradient with a pure white block, a pure black block and a noisy band,
// so that large colour shifts clamp in some destination pixels and not others.
Picture syntheticPhoto(int w, int h, std::uint32_t seed)
{
    Lcg noise(seed);
    const int tint = static_cast<int>(seed * 53 % 97);
    return test::patternPicture(w, h, [&](int x, int y) {
        if (x >= w / 5 && x < w / 5 + w / 4 + 1 && y >= h / 6 && y < h / 2)
            return Bgr{255, 255, 255};
        if (x >= w / 2 && x < w / 2 + w / 6 + 1 && y >= h / 2 && y < h / 2 + h / 5 + 1)
            return Bgr{0, 0, 0};
        if (y % 7 == 3)
            return Bgr{std::uint8_t(noise.next()), std::uint8_t(noise.next()), std::uint8_t(noise.next())};
        return Bgr{std::uint8_t(std::min(255, x * 255 / std::max(1, w - 1))),
                   std::uint8_t(std::min(255, y * 255 / std::max(1, h - 1))),
                   std::uint8_t((tint + x * 3 + y * 2) % 256)};
    });
}

// BMP and JPEG photographs of several sizes (reduced and enlarged into
// cells, wide, tall, odd), JPEG files of every kind (greyscale through the
// dithering quantiser, Adobe CMYK, progressive, other chroma subsampling)
// and two paths listed twice.
CellPicLib mixedLibrary(const std::string& scratchName, std::uint32_t firstSeed = 1)
{
    auto dir = test::scratchDir(scratchName);
    using test::FileKind;
    struct Item {
        const char* name;
        int w, h;
        FileKind kind;
    };
    const Item items[] = {{"p0", 60, 40, FileKind::Jpeg}, {"p1", 60, 40, FileKind::Bmp},  {"p2", 12, 9, FileKind::Bmp},
                          {"p3", 90, 30, FileKind::Jpeg}, {"p4", 25, 70, FileKind::Bmp},  {"p5", 33, 33, FileKind::Jpeg},
                          {"p6", 61, 41, FileKind::Bmp},  {"p7", 7, 11, FileKind::Jpeg},
                          {"p8", 70, 46, FileKind::GreyJpeg}, {"p9", 45, 64, FileKind::CmykJpeg},
                          {"p10", 83, 52, FileKind::ProgressiveJpeg}, {"p11", 66, 31, FileKind::Jpeg422},
                          {"p12", 29, 57, FileKind::Jpeg444}};
    CellPicLib lib;
    std::uint32_t seed = firstSeed;
    for (const Item& it : items)
        lib.append(test::writePictureFile(dir, it.name, syntheticPhoto(it.w, it.h, seed++), it.kind));
    lib.append(lib.entry(1));
    lib.append(lib.entry(3));
    return lib;
}

struct Scene {
    const char* name;
    RenderMode mode;
    StitchMode stitch;
    int cellsX, cellsY, cellWidth, cellHeight, border;
    bool crop, mono, flips;
    int enhance;
    unsigned threads;
};

const Scene kScenes[] = {
    {"LoomDefaults", RenderMode::Standard, StitchMode::Loom, 6, 5, 16, 16, 0, true, false, true, 50, 2},
    {"LoomReducedWithBorder", RenderMode::Standard, StitchMode::Loom, 5, 4, 24, 20, 2, true, false, true, 100, 4},
    {"LoomEnlarged", RenderMode::Standard, StitchMode::Loom, 4, 3, 72, 64, 0, true, false, true, 100, 2},
    {"LoomMixedAxes", RenderMode::Standard, StitchMode::Loom, 4, 6, 70, 8, 1, false, false, true, 100, 2},
    {"LoomNoCrop", RenderMode::Standard, StitchMode::Loom, 5, 5, 20, 28, 0, false, false, true, 50, 1},
    {"LoomMono", RenderMode::Standard, StitchMode::Loom, 5, 4, 16, 16, 0, true, true, true, 100, 2},
    {"LoomNoFlips", RenderMode::Standard, StitchMode::Loom, 5, 4, 16, 16, 0, true, false, false, 100, 2},
    {"LoomEnhanceZero", RenderMode::Standard, StitchMode::Loom, 5, 4, 16, 16, 0, true, false, true, 0, 2},
    {"PeyoteOddCounts", RenderMode::Standard, StitchMode::Peyote, 7, 5, 17, 13, 0, true, false, true, 100, 2},
    {"PeyoteBorder", RenderMode::Standard, StitchMode::Peyote, 6, 6, 16, 16, 3, true, false, true, 100, 4},
    {"BrickOddCounts", RenderMode::Standard, StitchMode::Brick, 5, 7, 13, 17, 0, true, false, true, 100, 2},
    {"BrickBorder", RenderMode::Standard, StitchMode::Brick, 6, 5, 16, 16, 2, false, true, true, 50, 1},
    {"BorderEqualsCell", RenderMode::Standard, StitchMode::Peyote, 4, 4, 16, 16, 16, true, false, true, 100, 2},
    {"BorderBeyondCell", RenderMode::Standard, StitchMode::Brick, 4, 4, 16, 16, 20, true, false, true, 100, 2},
    {"BorderOneBelowCell", RenderMode::Standard, StitchMode::Peyote, 5, 4, 16, 16, 15, true, false, true, 100, 2},
    {"SelfLoom", RenderMode::SelfMosaic, StitchMode::Loom, 6, 5, 16, 16, 0, true, false, true, 100, 2},
    {"SelfPeyoteMono", RenderMode::SelfMosaic, StitchMode::Peyote, 5, 5, 16, 12, 1, true, true, true, 100, 4},
    {"SelfBrickNoCrop", RenderMode::SelfMosaic, StitchMode::Brick, 5, 6, 12, 16, 0, false, false, true, 50, 1},
    {"OneThread", RenderMode::Standard, StitchMode::Loom, 8, 8, 12, 12, 1, true, false, true, 100, 1},
    {"FourThreads", RenderMode::Standard, StitchMode::Brick, 8, 8, 12, 12, 1, true, false, true, 100, 4},
};

tmosaicproject sceneSettings(const Scene& sc)
{
    tmosaicproject s = test::gridSettings(sc.cellsX, sc.cellsY, sc.cellWidth, sc.cellHeight);
    s.renderMode = sc.mode;
    s.stitchMode = sc.stitch;
    s.borderSize = sc.border;
    s.borderColor = 0x00336699;
    s.cropCell = sc.crop;
    s.monoCell = sc.mono;
    s.allowHFlip = sc.flips;
    s.allowVFlip = sc.flips;
    s.colorEnhance = sc.enhance;
    s.randomLevel = 3;
    s.repeatRadius = 1;
    return s;
}

// Most cells placed, any picture, offsets large enough to clamp.
void fillGrid(MosaicProject& p, int libraryCount, bool flips, std::uint32_t seed)
{
    Lcg r(seed);
    for (int x = 0; x < p.settings.cellsX; ++x)
        for (int y = 0; y < p.settings.cellsY; ++y) {
            MosaicCell& c = p.MosaicGrid.at(x, y);
            c = MosaicCell{};
            c.placed = r.below(10) != 0;
            c.picture = libraryCount > 0 ? r.below(libraryCount) : 0;
            c.redOffset = r.below(441) - 220;
            c.greenOffset = r.below(441) - 220;
            c.blueOffset = r.below(441) - 220;
            c.hFlip = flips && r.below(2);
            c.vFlip = flips && r.below(2);
        }
}

struct Outcome {
    std::string error;
    std::vector<RecordingObserver::Event> events;
    std::string transcript;
};

template <class F>
Outcome observe(F&& f)
{
    RecordingObserver obs;
    Outcome o;
    try {
        f(obs);
    } catch (const std::exception& e) {
        o.error = e.what();
        if (o.error.empty())
            o.error = "(exception without text)";
    }
    o.events = obs.events;
    o.transcript = obs.transcript();
    return o;
}

void expectSameOutcome(const Outcome& ref, const Outcome& fast)
{
    EXPECT_EQ(ref.error, fast.error);
    EXPECT_EQ(ref.events, fast.events) << "reference: " << ref.transcript << "\nworkers:   " << fast.transcript;
}

::testing::AssertionResult sameTable(const CellPicTableStore& a, const CellPicTableStore& b)
{
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a[i].signature == b[i].signature) || a[i].usageCount != b[i].usageCount ||
            a[i].reserved != b[i].reserved)
            return ::testing::AssertionFailure() << "table entry " << i << " differs";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameGrid(const MosaicGridStore& a, const MosaicGridStore& b)
{
    for (int x = 0; x < kGridSize; ++x)
        for (int y = 0; y < kGridSize; ++y) {
            const MosaicCell &p = a.at(x, y), &q = b.at(x, y);
            if (p.picture != q.picture || p.redOffset != q.redOffset || p.greenOffset != q.greenOffset ||
                p.blueOffset != q.blueOffset || p.placed != q.placed || p.hFlip != q.hFlip || p.vFlip != q.vFlip)
                return ::testing::AssertionFailure() << "cell (" << x << ", " << y << ") differs";
        }
    return ::testing::AssertionSuccess();
}

class WorkerPaths : public ::testing::TestWithParam<Scene> {
protected:
    const Scene& scene() const { return GetParam(); }
    EngineOptions fastOptions() const { return EngineOptions{scene().threads, false}; }
    static const CellPicLib& library()
    {
        static const CellPicLib lib = mixedLibrary("eq_library");
        return lib;
    }
    std::unique_ptr<MosaicProject> project() const
    {
        auto p = test::makeProject(sceneSettings(scene()));
        p->MainImage = syntheticPhoto(83, 57, 99);
        return p;
    }
};

TEST_P(WorkerPaths, RenderingGivesTheSameMosaicAndReports)
{
    auto a = project(), b = project();
    fillGrid(*a, static_cast<int>(library().count()), scene().flips, 7);
    fillGrid(*b, static_cast<int>(library().count()), scene().flips, 7);
    const Outcome ra = observe([&](auto& obs) { renderMosaic(*a, library(), obs, kReference); });
    const Outcome rb = observe([&](auto& obs) { renderMosaic(*b, library(), obs, fastOptions()); });
    EXPECT_EQ(ra.error, "");
    expectSameOutcome(ra, rb);
    EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
    EXPECT_EQ(a->projectState, b->projectState);
}

TEST_P(WorkerPaths, AnalysisGivesTheSameTableAndReports)
{
    auto a = project(), b = project();
    const Outcome ra = observe([&](auto& obs) { analyzeLibrary(*a, library(), obs, kReference); });
    const Outcome rb = observe([&](auto& obs) { analyzeLibrary(*b, library(), obs, fastOptions()); });
    EXPECT_EQ(ra.error, "");
    expectSameOutcome(ra, rb);
    EXPECT_TRUE(sameTable(a->CellPicTable, b->CellPicTable));
}

TEST_P(WorkerPaths, WholeCreationGivesTheSameProject)
{
    auto a = project(), b = project();
    const Outcome ra = observe([&](auto& obs) { runCreation(*a, library(), obs, kReference); });
    const Outcome rb = observe([&](auto& obs) { runCreation(*b, library(), obs, fastOptions()); });
    EXPECT_EQ(ra.error, "");
    expectSameOutcome(ra, rb);
    EXPECT_TRUE(test::samePicture(a->GridImage, b->GridImage));
    EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
    EXPECT_TRUE(sameGrid(a->MosaicGrid, b->MosaicGrid));
    EXPECT_TRUE(sameTable(a->CellPicTable, b->CellPicTable));
    EXPECT_EQ(a->random.seed(), b->random.seed());
    EXPECT_EQ(a->projectState, b->projectState);
}

// Budgets for the photographs the library stage hands to the rendering
// stage: every photograph, only some (kept first-fit in list order), none.
struct Budget {
    const char* name;
    std::optional<std::uint64_t> bytes;
};
const Budget kBudgets[] = {
    {"Automatic", std::nullopt}, {"Generous", std::uint64_t{64} << 20}, {"Tiny", 6000}, {"Zero", 0}};

TEST_P(WorkerPaths, WholeCreationGivesTheSameProjectWhateverThePhotographBudget)
{
    auto a = project();
    const Outcome ra = observe([&](auto& obs) { runCreation(*a, library(), obs, kReference); });
    EXPECT_EQ(ra.error, "");
    for (const Budget& budget : kBudgets) {
        SCOPED_TRACE(budget.name);
        auto b = project();
        EngineOptions options = fastOptions();
        options.photoCacheBytes = budget.bytes;
        const Outcome rb = observe([&](auto& obs) { runCreation(*b, library(), obs, options); });
        expectSameOutcome(ra, rb);
        EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
        EXPECT_TRUE(sameGrid(a->MosaicGrid, b->MosaicGrid));
        EXPECT_TRUE(sameTable(a->CellPicTable, b->CellPicTable));
        EXPECT_EQ(a->random.seed(), b->random.seed());
        EXPECT_EQ(a->projectState, b->projectState);
    }
}

TEST_P(WorkerPaths, RenderingFromTheLibraryStagesPhotographsGivesTheSameMosaic)
{
    for (const Budget& budget : kBudgets) {
        SCOPED_TRACE(budget.name);
        auto a = project(), b = project();
        fillGrid(*a, static_cast<int>(library().count()), scene().flips, 11);
        fillGrid(*b, static_cast<int>(library().count()), scene().flips, 11);
        EngineOptions options = fastOptions();
        options.photoCacheBytes = budget.bytes;
        PreparedPhotoCache cache(photoCacheBudget(options));
        NullObserver quiet;
        analyzeLibrary(*b, library(), quiet, options, &cache);
        const Outcome ra = observe([&](auto& obs) { renderMosaic(*a, library(), obs, kReference); });
        const Outcome rb = observe([&](auto& obs) { renderMosaic(*b, library(), obs, options, &cache); });
        EXPECT_EQ(ra.error, "");
        expectSameOutcome(ra, rb);
        EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
        EXPECT_EQ(cache.size(), 0u) << "every photograph is let go once its cells are drawn";
        EXPECT_EQ(cache.usedBytes(), 0u);
    }
}

// Creations drawing on the analysis cache, first filling it and then
// finding every photograph there, give the reference project.
TEST_P(WorkerPaths, CachedCreationsGiveTheSameProject)
{
    auto a = project();
    const Outcome ra = observe([&](auto& obs) { runCreation(*a, library(), obs, kReference); });
    EXPECT_EQ(ra.error, "");
    std::vector<std::string> warnings;
    auto store = AnalysisStore::open(test::scratchDir("store").string(),
                                     [&](const std::string& w) { warnings.push_back(w); });
    ASSERT_TRUE(store);
    const std::uint64_t n = library().count();
    struct Pass {
        const char* name;
        std::uint64_t found, missed;  // counts after the pass
    };
    for (const Pass& pass : {Pass{"filling", 0, n}, Pass{"found", n, n}}) {
        SCOPED_TRACE(pass.name);
        auto b = project();
        EngineOptions options = fastOptions();
        options.analysisStore = store.get();
        const Outcome rb = observe([&](auto& obs) { runCreation(*b, library(), obs, options); });
        expectSameOutcome(ra, rb);
        EXPECT_TRUE(test::samePicture(a->GridImage, b->GridImage));
        EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
        EXPECT_TRUE(sameGrid(a->MosaicGrid, b->MosaicGrid));
        EXPECT_TRUE(sameTable(a->CellPicTable, b->CellPicTable));
        EXPECT_EQ(a->random.seed(), b->random.seed());
        EXPECT_EQ(a->projectState, b->projectState);
        EXPECT_EQ(store->counts().found, pass.found);
        EXPECT_EQ(store->counts().missed, pass.missed);
    }
    EXPECT_EQ(warnings, std::vector<std::string>{});
}

// Settings that only steer the matching (and the colour enhancement the
// stored drawing data covers at every amount) find every photograph in a
// cache filled with the scene's own settings, and still give the reference
// project of the changed settings.
struct MatchingChange {
    const char* name;
    void (*apply)(tmosaicproject&);
};
const MatchingChange kMatchingChanges[] = {
    {"NoRandomness", [](tmosaicproject& s) { s.randomLevel = 0; }},
    {"MoreRandomness", [](tmosaicproject& s) { s.randomLevel = 9; }},
    {"WiderRadius", [](tmosaicproject& s) { s.repeatRadius = 4; }},
    {"RepeatLimit", [](tmosaicproject& s) { s.limitRepeat = 1, s.maxRepeat = 2; }},
    {"RepeatLimitOff", [](tmosaicproject& s) { s.repeatLimitOff = 1; }},
    {"UseAll", [](tmosaicproject& s) { s.useAllPhotos = 1; }},
    {"FlipsToggled", [](tmosaicproject& s) { s.allowHFlip = !s.allowHFlip, s.allowVFlip = !s.allowVFlip; }},
    {"EnhanceZero", [](tmosaicproject& s) { s.colorEnhance = 0; }},
    {"EnhanceOdd", [](tmosaicproject& s) { s.colorEnhance = 37; }},
    {"EnhanceFull", [](tmosaicproject& s) { s.colorEnhance = 100; }},
};

TEST_P(WorkerPaths, CachedCreationsWithOtherMatchingSettingsFindEveryPhotographAndGiveTheSameProject)
{
    auto store = AnalysisStore::open(test::scratchDir("store").string(), nullptr);
    ASSERT_TRUE(store);
    {
        auto filling = project();
        EngineOptions options = fastOptions();
        options.analysisStore = store.get();
        NullObserver quiet;
        runCreation(*filling, library(), quiet, options);
    }
    const std::uint64_t missed = store->counts().missed;
    for (const MatchingChange& change : kMatchingChanges) {
        SCOPED_TRACE(change.name);
        auto a = project(), b = project();
        change.apply(a->settings);
        change.apply(b->settings);
        const Outcome ra = observe([&](auto& obs) { runCreation(*a, library(), obs, kReference); });
        EngineOptions options = fastOptions();
        options.analysisStore = store.get();
        const Outcome rb = observe([&](auto& obs) { runCreation(*b, library(), obs, options); });
        EXPECT_EQ(ra.error, "");
        expectSameOutcome(ra, rb);
        EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
        EXPECT_TRUE(sameGrid(a->MosaicGrid, b->MosaicGrid));
        EXPECT_TRUE(sameTable(a->CellPicTable, b->CellPicTable));
        EXPECT_EQ(store->counts().missed, missed) << "a photograph was analysed again";
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, WorkerPaths, ::testing::ValuesIn(kScenes),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- decode budget

// The most memory one photograph of the library needs to be decoded the
// plain way.
std::uint64_t largestDecodeNeed(const CellPicLib& lib)
{
    std::uint64_t most = 0;
    for (const std::string& path : lib.entries()) {
        DecodeBudget probe(std::uint64_t{1} << 30);
        Picture p;
        loadPicture(p, path, probe);
        most = std::max(most, probe.peakReserved());
    }
    return most;
}

// Workers that must wait for each other's memory give the same project as
// the reference path, and never hold more than the budget together.
TEST(DecodeBudgetPaths, CreationWithinABudgetForOnePhotographGivesTheSameProject)
{
    const CellPicLib lib = mixedLibrary("eq_decode_budget");
    const std::uint64_t one = largestDecodeNeed(lib);
    for (const Scene& sc : {kScenes[0], kScenes[8], kScenes[11]}) {
        for (std::uint64_t capacity : {one, one + one / 2, 4 * one}) {
            SCOPED_TRACE(std::string(sc.name) + " capacity " + std::to_string(capacity));
            auto a = test::makeProject(sceneSettings(sc)), b = test::makeProject(sceneSettings(sc));
            a->MainImage = b->MainImage = syntheticPhoto(83, 57, 99);
            DecodeBudget referenceBudget(capacity), workersBudget(capacity);
            EngineOptions reference = kReference, workers{4, false};
            reference.decodeBudget = &referenceBudget;
            workers.decodeBudget = &workersBudget;
            const Outcome ra = observe([&](auto& obs) { runCreation(*a, lib, obs, reference); });
            const Outcome rb = observe([&](auto& obs) { runCreation(*b, lib, obs, workers); });
            EXPECT_EQ(ra.error, "");
            expectSameOutcome(ra, rb);
            EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
            EXPECT_TRUE(sameTable(a->CellPicTable, b->CellPicTable));
            EXPECT_TRUE(sameGrid(a->MosaicGrid, b->MosaicGrid));
            EXPECT_LE(workersBudget.peakReserved(), capacity);
            EXPECT_EQ(workersBudget.reserved(), 0u);
        }
    }
}

// A budget smaller than any photograph: both paths stop at the first
// photograph with the budget's refusal, naming it.
TEST(DecodeBudgetPaths, BudgetTooSmallForAnyPhotographStopsBothPathsAtTheFirst)
{
    const CellPicLib lib = mixedLibrary("eq_decode_budget_small");
    auto a = test::makeProject(sceneSettings(kScenes[0])), b = test::makeProject(sceneSettings(kScenes[0]));
    DecodeBudget referenceBudget(1000), workersBudget(1000);
    EngineOptions reference = kReference, workers{2, false};
    reference.decodeBudget = &referenceBudget;
    workers.decodeBudget = &workersBudget;
    std::string files[2];
    const Outcome ra = observe([&](auto& obs) {
        try {
            analyzeLibrary(*a, lib, obs, reference);
        } catch (const Error& e) {
            files[0] = e.file();
            throw;
        }
    });
    const Outcome rb = observe([&](auto& obs) {
        try {
            analyzeLibrary(*b, lib, obs, workers);
        } catch (const Error& e) {
            files[1] = e.file();
            throw;
        }
    });
    EXPECT_EQ(ra.error.rfind("Reading the picture file needs", 0), 0u) << ra.error;
    expectSameOutcome(ra, rb);
    EXPECT_EQ(files[0], lib.entry(0));
    EXPECT_EQ(files[1], lib.entry(0));
}

// ---------------------------------------------------------------- failures

// The mixed library with a missing file at 4, a file that is not a picture
// at 6 and a JPEG cut off in the middle (which loads) at 9.
CellPicLib failingLibrary()
{
    auto dir = test::scratchDir("eq_failing");
    CellPicLib good = mixedLibrary("eq_failing_good");
    std::vector<std::string> paths = good.entries();
    paths[4] = (dir / "missing.bmp").string();
    const std::string corrupt = (dir / "corrupt.bmp").string();
    std::ofstream(corrupt, std::ios::binary) << "BM but nothing that follows makes a bitmap";
    paths[6] = corrupt;
    {
        std::ifstream in(good.entry(0), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string cut = (dir / "cut.jpg").string();
        std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
        paths.push_back(cut);
    }
    CellPicLib lib;
    lib.replaceAll(paths);
    return lib;
}

struct FailureCase {
    const char* name;
    unsigned threads;
    std::uint32_t gridSeed;
};

class WorkerFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(WorkerFailures, RenderingStopsAtTheSameCellWithTheSameError)
{
    const CellPicLib lib = failingLibrary();
    const Scene& sc = kScenes[0];
    auto a = test::makeProject(sceneSettings(sc)), b = test::makeProject(sceneSettings(sc));
    a->projectState = b->projectState = ProjectState::Picture;
    fillGrid(*a, static_cast<int>(lib.count()), true, GetParam().gridSeed);
    fillGrid(*b, static_cast<int>(lib.count()), true, GetParam().gridSeed);
    const Outcome ra = observe([&](auto& obs) { renderMosaic(*a, lib, obs, kReference); });
    const Outcome rb = observe([&](auto& obs) { renderMosaic(*b, lib, obs, EngineOptions{GetParam().threads, false}); });
    EXPECT_NE(ra.error, "");
    expectSameOutcome(ra, rb);
    EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
    EXPECT_EQ(b->projectState, ProjectState::Picture);
}

TEST_P(WorkerFailures, AnalysisStopsAtTheSamePhotographWithTheSameError)
{
    const CellPicLib lib = failingLibrary();
    auto a = test::makeProject(), b = test::makeProject();
    const Outcome ra = observe([&](auto& obs) { analyzeLibrary(*a, lib, obs, kReference); });
    const Outcome rb = observe([&](auto& obs) { analyzeLibrary(*b, lib, obs, EngineOptions{GetParam().threads, false}); });
    EXPECT_NE(ra.error, "");
    expectSameOutcome(ra, rb);
    EXPECT_TRUE(sameTable(a->CellPicTable, b->CellPicTable));
}

TEST_P(WorkerFailures, CreationStopsInTheSameStageWithTheSameState)
{
    const CellPicLib lib = failingLibrary();
    auto a = test::makeProject(sceneSettings(kScenes[0])), b = test::makeProject(sceneSettings(kScenes[0]));
    a->MainImage = b->MainImage = syntheticPhoto(83, 57, 99);
    const Outcome ra = observe([&](auto& obs) { runCreation(*a, lib, obs, kReference); });
    const Outcome rb = observe([&](auto& obs) { runCreation(*b, lib, obs, EngineOptions{GetParam().threads, false}); });
    EXPECT_NE(ra.error, "");
    expectSameOutcome(ra, rb);
    EXPECT_TRUE(sameTable(a->CellPicTable, b->CellPicTable));
    EXPECT_TRUE(sameGrid(a->MosaicGrid, b->MosaicGrid));
    EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
}

const FailureCase kFailures[] = {
    {"OneThreadGrid7", 1, 7}, {"TwoThreadsGrid7", 2, 7}, {"TwoThreadsGrid8", 2, 8}, {"FourThreadsGrid9", 4, 9}};

INSTANTIATE_TEST_SUITE_P(Libraries, WorkerFailures, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- prepared photographs

// What the library stage keeps of each photograph of a loom creation: the
// size of its compact drawing data, built here the plain way.
std::vector<std::uint64_t> compactSizes(const CellPicLib& lib, const tmosaicproject& settings)
{
    std::vector<std::uint64_t> sizes;
    for (const std::string& path : lib.entries()) {
        Picture photo;
        loadPicture(photo, path);
        prepareCellPicture(photo, settings);
        const ReducedPicture reduced(photo, wholeCellSize(settings));
        const CompactTile tile(reduced, amountRanges(computeSignature(photo), settings.colorEnhance),
                               std::uint64_t{64} << 20);
        sizes.push_back(tile.byteSize());
    }
    return sizes;
}

// A budget that holds the first photograph and the smallest of the others
// but not every one.
std::uint64_t tinyBudget(const std::vector<std::uint64_t>& sizes)
{
    return sizes[0] + *std::min_element(sizes.begin() + 1, sizes.end());
}

// With one worker the photographs are offered in list order; each is kept
// while it fits what is left.
TEST(PreparedPhotographs, TinyBudgetKeepsThePhotographsThatStillFitAndNotOthers)
{
    const CellPicLib lib = mixedLibrary("eq_tiny");
    auto p = test::makeProject(sceneSettings(kScenes[0]));
    const std::vector<std::uint64_t> sizes = compactSizes(lib, p->settings);
    const std::uint64_t budget = tinyBudget(sizes);
    PreparedPhotoCache cache(budget);
    NullObserver quiet;
    analyzeLibrary(*p, lib, quiet, EngineOptions{1, false}, &cache);
    std::vector<char> held, expected;
    std::uint64_t used = 0;
    for (std::size_t i = 0; i < lib.count(); ++i) {
        held.push_back(cache.holds(PreparedPhotoKey::of(i, lib.entry(i), p->settings)));
        const bool fits = sizes[i] <= budget - used;
        expected.push_back(fits);
        used += fits ? sizes[i] : 0;
    }
    EXPECT_EQ(held, expected);
    EXPECT_EQ(cache.usedBytes(), used);
    EXPECT_GE(std::count(held.begin(), held.end(), 1), 2);
    EXPECT_GE(std::count(held.begin(), held.end(), 0), 1);
}

TEST(PreparedPhotographs, ReferencePathAndSelfMosaicKeepNothing)
{
    const CellPicLib lib = mixedLibrary("eq_keep_nothing");
    auto p = test::makeProject(sceneSettings(kScenes[0]));
    PreparedPhotoCache cache(std::uint64_t{64} << 20);
    NullObserver quiet;
    analyzeLibrary(*p, lib, quiet, kReference, &cache);
    EXPECT_EQ(cache.size(), 0u) << "the reference path decodes one photograph at a time and keeps none";

    analyzeLibrary(*p, lib, quiet, EngineOptions{2, false}, &cache);
    ASSERT_EQ(cache.size(), lib.count());
    p->settings.renderMode = RenderMode::SelfMosaic;
    p->MainImage = syntheticPhoto(40, 30, 5);
    fillGrid(*p, static_cast<int>(lib.count()), true, 3);
    renderMosaic(*p, lib, quiet, EngineOptions{2, false}, &cache);
    EXPECT_EQ(cache.size(), 0u) << "a self-mosaic shows no library photograph";
}

// Settings or paths that differ between the stage that kept the photographs
// and the stage that draws them: nothing kept may be drawn.
struct Mismatch {
    const char* name;
    void (*change)(tmosaicproject&);
    bool otherLibrary;
};

const Mismatch kMismatches[] = {
    {"CropSwitchedOff", [](tmosaicproject& s) { s.cropCell = 0; }, false},
    {"MonoSwitchedOn", [](tmosaicproject& s) { s.monoCell = 1; }, false},
    {"WiderCells",
     [](tmosaicproject& s) {
         s.cellWidth = 24;
         s.mosaicWidth = s.cellsX * s.cellWidth;
     },
     false},
    {"TallerCells",
     [](tmosaicproject& s) {
         s.cellHeight = 9;
         s.mosaicHeight = s.cellsY * s.cellHeight;
     },
     false},
    {"OtherPhotographsAtTheSamePositions", [](tmosaicproject&) {}, true},
};

class PreparedMismatch : public ::testing::TestWithParam<Mismatch> {};

TEST_P(PreparedMismatch, RenderingDecodesAgainInsteadOfDrawingAPhotographPreparedForSomethingElse)
{
    const std::string name = GetParam().name;
    const CellPicLib kept = mixedLibrary("eq_mm_kept_" + name, 1);
    const CellPicLib drawn = GetParam().otherLibrary ? mixedLibrary("eq_mm_other_" + name, 50) : kept;
    tmosaicproject settings = sceneSettings(kScenes[0]);
    auto analysed = test::makeProject(settings);
    PreparedPhotoCache cache(std::uint64_t{64} << 20);
    NullObserver quiet;
    analyzeLibrary(*analysed, kept, quiet, EngineOptions{2, false}, &cache);
    ASSERT_EQ(cache.size(), kept.count());

    GetParam().change(settings);
    auto a = test::makeProject(settings), b = test::makeProject(settings);
    fillGrid(*a, static_cast<int>(drawn.count()), true, 21);
    fillGrid(*b, static_cast<int>(drawn.count()), true, 21);
    const Outcome ra = observe([&](auto& obs) { renderMosaic(*a, drawn, obs, kReference); });
    const Outcome rb = observe([&](auto& obs) { renderMosaic(*b, drawn, obs, EngineOptions{2, false}, &cache); });
    EXPECT_EQ(ra.error, "");
    expectSameOutcome(ra, rb);
    EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
    EXPECT_EQ(cache.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Changes, PreparedMismatch, ::testing::ValuesIn(kMismatches),
                         [](const auto& info) { return std::string(info.param.name); });

// Removes the library's files at the first pump of the matching stage, that
// is after the library stage has read them all and before rendering starts.
struct FilesGoneAfterAnalysis {
    explicit FilesGoneAfterAnalysis(RecordingObserver& obs, const CellPicLib& lib)
    {
        obs.onPump = [this, &obs, &lib] {
            const std::vector<std::string> labels = obs.labels();
            if (removed || labels.empty() || labels.back() != kJobMatching)
                return;
            for (const std::string& path : lib.entries())
                std::filesystem::remove(path);
            removed = true;
        };
    }
    bool removed = false;
};

TEST(PreparedPhotographs, CreationReadsEveryPhotographOnceWhenAllAreKept)
{
    for (const Budget& budget : kBudgets) {
        SCOPED_TRACE(budget.name);
        const CellPicLib lib = mixedLibrary(std::string("eq_once_") + budget.name);
        tmosaicproject settings = sceneSettings(kScenes[0]);
        auto a = test::makeProject(settings), b = test::makeProject(settings);
        a->MainImage = b->MainImage = syntheticPhoto(83, 57, 99);
        const Outcome ra = observe([&](auto& obs) { runCreation(*a, lib, obs, kReference); });
        ASSERT_EQ(ra.error, "");

        EngineOptions options{2, false};
        options.photoCacheBytes = budget.bytes;
        RecordingObserver obs;
        FilesGoneAfterAnalysis gone(obs, lib);
        std::string error;
        try {
            runCreation(*b, lib, obs, options);
        } catch (const Error& e) {
            error = e.what();
        }
        ASSERT_TRUE(gone.removed);
        const bool allKept = std::string(budget.name) == "Automatic" || std::string(budget.name) == "Generous";
        if (allKept) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(ra.events, obs.events);
            EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
        } else {
            EXPECT_EQ(error.rfind("Cannot open file", 0), 0u) << error;
            EXPECT_NE(b->projectState, ProjectState::Mosaic);
        }
    }
}

// Cells over pure black and pure white get the extreme amounts of their
// photographs (both ends of every channel's range); the kept data draws
// them all, colour and grey, without a single photograph left to read.
TEST(PreparedPhotographs, CompactDataDrawsCellsWithTheExtremeAmountsWithoutThePhotographs)
{
    for (bool mono : {false, true}) {
        SCOPED_TRACE(mono ? "mono" : "colour");
        const CellPicLib lib = mixedLibrary(std::string("eq_extreme_") + (mono ? "mono" : "colour"));
        tmosaicproject settings = sceneSettings(kScenes[0]);
        settings.colorEnhance = 100;
        settings.monoCell = mono;
        auto a = test::makeProject(settings), b = test::makeProject(settings);
        a->MainImage = b->MainImage = test::patternPicture(96, 80, [](int x, int y) {
            const bool dark = (x / 16 + y / 16) % 2 == 0;
            return dark ? Bgr{0, 0, 0} : Bgr{255, 255, 255};
        });
        const Outcome ra = observe([&](auto& obs) { runCreation(*a, lib, obs, kReference); });
        ASSERT_EQ(ra.error, "");

        EngineOptions options{2, false};
        options.photoCacheBytes = std::uint64_t{64} << 20;
        RecordingObserver obs;
        FilesGoneAfterAnalysis gone(obs, lib);
        runCreation(*b, lib, obs, options);
        ASSERT_TRUE(gone.removed);
        EXPECT_EQ(ra.events, obs.events);
        EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));

        bool lowEnd = false, highEnd = false;
        for (int y = 0; y < settings.cellsY; ++y)
            for (int x = 0; x < settings.cellsX; ++x) {
                const MosaicCell& cell = b->MosaicGrid.at(x, y);
                ASSERT_TRUE(cell.placed);
                const ChannelRanges r = amountRanges(
                    b->CellPicTable[static_cast<std::size_t>(cell.picture)].signature, settings.colorEnhance);
                const ShiftAmounts am = shiftAmounts(cell, settings.colorEnhance);
                const int amount[3] = {am.blue, am.green, am.red};
                for (std::size_t c = 0; c < 3; ++c) {
                    ASSERT_GE(amount[c], r[c].low);
                    ASSERT_LE(amount[c], r[c].high);
                    lowEnd = lowEnd || (amount[c] == r[c].low && r[c].low < 0);
                    highEnd = highEnd || (amount[c] == r[c].high && r[c].high > 0);
                }
            }
        EXPECT_TRUE(lowEnd && highEnd) << "the scene reaches both ends";
    }
}

TEST(PreparedPhotographs, PhotographNotKeptStillFailsAtItsFirstCellWithItsOwnError)
{
    for (std::uint32_t gridSeed : {5u, 6u, 7u}) {
        SCOPED_TRACE(gridSeed);
        const CellPicLib lib = mixedLibrary("eq_partial_" + std::to_string(gridSeed));
        const tmosaicproject settings = sceneSettings(kScenes[0]);
        auto a = test::makeProject(settings), b = test::makeProject(settings);
        a->projectState = b->projectState = ProjectState::Picture;
        fillGrid(*a, static_cast<int>(lib.count()), true, gridSeed);
        fillGrid(*b, static_cast<int>(lib.count()), true, gridSeed);
        PreparedPhotoCache cache(tinyBudget(compactSizes(lib, settings)));
        NullObserver quiet;
        analyzeLibrary(*b, lib, quiet, EngineOptions{2, false}, &cache);
        // The files of the photographs not kept disappear.
        std::set<std::string> keptPaths;
        for (std::size_t i = 0; i < lib.count(); ++i)
            if (cache.holds(PreparedPhotoKey::of(i, lib.entry(i), settings)))
                keptPaths.insert(lib.entry(i));
        ASSERT_FALSE(keptPaths.empty());
        for (const std::string& path : lib.entries())
            if (!keptPaths.count(path))
                std::filesystem::remove(path);

        const Outcome ra = observe([&](auto& obs) { renderMosaic(*a, lib, obs, kReference); });
        const Outcome rb = observe([&](auto& obs) { renderMosaic(*b, lib, obs, EngineOptions{2, false}, &cache); });
        EXPECT_EQ(ra.error.rfind("Cannot open file", 0), 0u) << ra.error;
        expectSameOutcome(ra, rb);
        EXPECT_TRUE(test::samePicture(a->MosaicImage, b->MosaicImage));
        EXPECT_EQ(b->projectState, ProjectState::Picture);
    }
}

// ---------------------------------------------------------------- tiles

struct TileCase {
    int srcW, srcH, dstW, dstH;
};

// The per-picture reduction against the plain shift, mirror and stretch of
// the whole picture, for every amount that clamps somewhere or nowhere.
TEST(ReducedPicture, MatchesPlainShiftMirrorAndStretchForEveryAmount)
{
    const TileCase sizes[] = {{60, 40, 30, 30}, {12, 9, 30, 30}, {90, 30, 17, 40}, {31, 31, 31, 31},
                              {64, 4, 8, 16},   {1, 1, 5, 5},     {7, 5, 3, 2},     {101, 67, 1, 1}};
    const ShiftAmounts amounts[] = {{0, 0, 0},       {255, 255, 255}, {-255, -255, -255}, {41, -3, 0},
                                    {-100, 100, 7},  {200, -200, 50}, {3, -41, 120},      {1, -1, 254}};
    std::uint32_t seed = 1;
    for (const TileCase& c : sizes) {
        const Picture photo = syntheticPhoto(c.srcW, c.srcH, seed++);
        const ReducedPicture reduced(photo, Size{c.dstW, c.dstH});
        ASSERT_TRUE(reduced.usable());
        ASSERT_TRUE(reduced.mirrorsHorizontally());
        ASSERT_TRUE(reduced.mirrorsVertically());
        CellCopies copies;
        copies.count = 1;
        copies.copy[0] = CellCopy{Rect{0, 0, c.srcW, c.srcH}, Rect{5, -3, 5 + c.dstW, -3 + c.dstH}};
        for (const ShiftAmounts& a : amounts)
            for (int flags = 0; flags < 4; ++flags) {
                const bool h = flags & 1, v = flags & 2;
                const CellTile want = renderTileDirect(photo, copies, a, h, v);
                const CellTile got = renderTile(photo, &reduced, copies, a, h, v);
                ASSERT_EQ(got.count, 1);
                EXPECT_EQ(got.piece[0].left, 5);
                EXPECT_EQ(got.piece[0].top, -3);
                EXPECT_TRUE(test::samePicture(want.piece[0].pixels, got.piece[0].pixels))
                    << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH << " amounts " << a.red << ","
                    << a.green << "," << a.blue << " h " << h << " v " << v;
            }
    }
}

// The smallest and largest byte each destination byte reads, against a
// walk over every tap of its footprint.
TEST(ReducedPicture, SourceRangeIsTheExtremesOverEveryTapOfTheFootprint)
{
    const TileCase sizes[] = {{60, 40, 30, 30}, {12, 9, 30, 30}, {90, 30, 17, 40}, {1200, 37, 32, 32},
                              {64, 4, 8, 16},   {1, 1, 5, 5},     {7, 5, 3, 2},     {101, 67, 1, 1}};
    std::uint32_t seed = 40;
    for (const TileCase& c : sizes) {
        const Picture photo = syntheticPhoto(c.srcW, c.srcH, seed++);
        const ReducedPicture reduced(photo, Size{c.dstW, c.dstH});
        ASSERT_TRUE(reduced.usable());
        const AxisWeights wx = axisWeights(c.srcW, c.dstW), wy = axisWeights(c.srcH, c.dstH);
        for (int dy = 0; dy < c.dstH; ++dy)
            for (int dx = 0; dx < c.dstW; ++dx)
                for (int ch = 0; ch < 3; ++ch) {
                    const AxisWeights::Tap &tx = wx.tap(dx), &ty = wy.tap(dy);
                    int low = 255, high = 0;
                    for (int y = ty.firstSource; y < ty.firstSource + ty.count; ++y)
                        for (int x = tx.firstSource; x < tx.firstSource + tx.count; ++x) {
                            const int v = photo.row(y)[x * 3 + ch];
                            low = std::min(low, v);
                            high = std::max(high, v);
                        }
                    const ReducedPicture::ByteRange r = reduced.sourceRange(dx, dy, ch);
                    ASSERT_EQ(r.low, low) << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH << " at "
                                          << dx << ", " << dy << " channel " << ch;
                    ASSERT_EQ(r.high, high) << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH
                                            << " at " << dx << ", " << dy << " channel " << ch;
                }
    }
}

// Every amount of each channel's range (so every amount that clamps at
// either end), each flip, against the plain shift, mirror and stretch.
TEST(CompactTile, MatchesPlainShiftMirrorAndStretchForEveryAmountInItsRanges)
{
    struct Case {
        TileCase size;
        bool mono;
        ChannelRanges ranges;
        bool smooth = false;  // no rows of noise: many source columns hold no value that clamps
    };
    const ChannelRanges everything{AmountRange{-255, 255}, AmountRange{-255, 255}, AmountRange{-255, 255}};
    const ChannelRanges narrow{AmountRange{-40, 17}, AmountRange{-3, 90}, AmountRange{-128, -20}};
    // Half the way to either end, as the usual enhancement gives: some
    // source columns hold values that clamp, others none.
    const ChannelRanges usual{AmountRange{-64, 63}, AmountRange{-100, 30}, AmountRange{-20, 110}};
    const Case cases[] = {
        {{160, 120, 13, 11}, false, usual, true}, {{97, 83, 10, 7}, false, usual, true},  // edges of every weight
        {{333, 41, 6, 40}, true, usual, true},     {{97, 83, 10, 7}, false, narrow, true},
        {{60, 40, 30, 30}, false, everything}, {{12, 9, 30, 30}, false, everything},  // reduce, enlarge
        {{90, 30, 17, 40}, false, everything}, {{31, 31, 31, 31}, false, everything},  // mixed, equal
        {{64, 4, 8, 16}, true, everything},    {{1, 1, 5, 5}, false, narrow},
        {{7, 5, 3, 2}, true, narrow},          {{101, 67, 1, 1}, false, everything},
        {{160, 120, 13, 11}, true, narrow},    {{160, 120, 13, 11}, false, narrow},
        // Footprints 64 bytes and more across, and rows too long for one
        // batch of picked values.
        {{333, 41, 6, 3}, false, usual},       {{1300, 90, 2, 3}, false, narrow},
        {{4100, 20, 1, 2}, false, usual, true},
    };
    std::uint32_t seed = 70;
    for (const Case& c : cases) {
        Picture photo = syntheticPhoto(c.size.srcW, c.size.srcH, seed++);
        if (c.smooth)
            photo = test::patternPicture(c.size.srcW, c.size.srcH, [&](int x, int y) {
                if (x % 29 < 3 && y % 13 < 4)
                    return Bgr{250, 3, 128};
                return Bgr{std::uint8_t(x * 255 / c.size.srcW), std::uint8_t(40 + y * 170 / c.size.srcH),
                           std::uint8_t((x + y) % 256)};
            });
        if (c.mono)
            toGreyScale(photo, photo);
        const ReducedPicture reduced(photo, Size{c.size.dstW, c.size.dstH});
        const CompactTile compact(reduced, c.ranges, std::uint64_t{1} << 30, CompactTile::Gather::EveryValue);
        ASSERT_TRUE(compact.complete());
        // Picking out only the zones' values makes the same object.
        if (CompactTile::gatherAvailable(CompactTile::Gather::ZoneValues))
            ASSERT_EQ(CompactTile(reduced, c.ranges, std::uint64_t{1} << 30, CompactTile::Gather::ZoneValues).parts(),
                      compact.parts())
                << c.size.srcW << "x" << c.size.srcH << " -> " << c.size.dstW << "x" << c.size.dstH;
        else
            EXPECT_THROW(CompactTile(reduced, c.ranges, std::uint64_t{1} << 30, CompactTile::Gather::ZoneValues),
                         std::invalid_argument);
        EXPECT_EQ(compact.sourceWidth(), c.size.srcW);
        EXPECT_EQ(compact.sourceHeight(), c.size.srcH);
        CellCopies copies;
        copies.count = 1;
        copies.copy[0] =
            CellCopy{Rect{0, 0, c.size.srcW, c.size.srcH}, Rect{5, -3, 5 + c.size.dstW, -3 + c.size.dstH}};
        // Each channel walks its whole range, each starting elsewhere in it.
        const int spans[3] = {c.ranges[0].high - c.ranges[0].low + 1, c.ranges[1].high - c.ranges[1].low + 1,
                              c.ranges[2].high - c.ranges[2].low + 1};
        const int steps = std::max({spans[0], spans[1], spans[2]});
        for (int step = 0; step < steps; ++step) {
            const ShiftAmounts a{c.ranges[2].low + (step + 2 * spans[2] / 3) % spans[2],
                                 c.ranges[1].low + (step + spans[1] / 3) % spans[1], c.ranges[0].low + step % spans[0]};
            const int flags = step % 4;
            const bool h = flags & 1, v = flags & 2;
            ASSERT_TRUE(compact.draws(copies, a, h, v));
            const CellTile want = renderTileDirect(photo, copies, a, h, v);
            const CellTile got = compact.tile(copies, a, h, v);
            ASSERT_EQ(got.count, 1);
            EXPECT_EQ(got.piece[0].left, 5);
            EXPECT_EQ(got.piece[0].top, -3);
            ASSERT_TRUE(test::samePicture(want.piece[0].pixels, got.piece[0].pixels))
                << c.size.srcW << "x" << c.size.srcH << " -> " << c.size.dstW << "x" << c.size.dstH << " mono "
                << c.mono << " amounts " << a.red << "," << a.green << "," << a.blue << " h " << h << " v " << v;
        }
    }
}

// The one-pass path's compact data: made from a region inside a larger
// decoder buffer (rows further apart than the region is wide) and the
// reduction its rows fed while decoded, against the plain shift, mirror and
// stretch of the region as a picture of its own.
TEST(CompactTile, FromARegionOfALargerBufferMatchesThePlainWay)
{
    const ChannelRanges everything{AmountRange{-255, 255}, AmountRange{-255, 255}, AmountRange{-255, 255}};
    const struct {
        int bufferW, bufferH, left, top, w, h, dstW, dstH;
    } cases[] = {{120, 60, 16, 0, 60, 60, 32, 32}, {90, 100, 0, 13, 90, 70, 17, 9}, {47, 31, 5, 3, 11, 7, 30, 20}};
    std::uint32_t seed = 200;
    for (const auto& c : cases) {
        const Picture buffer = syntheticPhoto(c.bufferW, c.bufferH, seed++);
        const PictureView region(buffer.row(c.top) + std::size_t(c.left) * 3, buffer.stride(), c.w, c.h);
        Picture own(c.w, c.h);
        copyRect(buffer, c.left, c.top, own, 0, 0, c.w, c.h);
        RowReducer rows(c.w, c.h, Size{c.dstW, c.dstH}, true);
        for (int y = 0; y < c.h; y += 5)
            rows.addRows(region, y, std::min(5, c.h - y));
        const ReducedPicture reduced(region, std::move(rows));
        ASSERT_TRUE(reduced.usable());
        const CompactTile compact(reduced, everything, std::uint64_t{1} << 30);
        ASSERT_TRUE(compact.complete());
        CellCopies copies;
        copies.count = 1;
        copies.copy[0] = CellCopy{Rect{0, 0, c.w, c.h}, Rect{0, 0, c.dstW, c.dstH}};
        for (int a = -255; a <= 255; a += 15) {
            const ShiftAmounts amounts{a, -a / 2, a / 3};
            const bool h = a % 2 != 0, v = a % 3 == 0;
            const CellTile want = renderTileDirect(own, copies, amounts, h, v);
            ASSERT_TRUE(test::samePicture(want.piece[0].pixels, compact.tile(copies, amounts, h, v).piece[0].pixels))
                << c.w << "x" << c.h << " at " << c.left << "," << c.top << " amount " << a;
        }
    }
}

// The library stage's result for a photograph stored and made again: the
// same parts, the same tiles for every amount; parts that cannot come
// from a complete object are refused.
TEST(CompactTile, PartsMakeTheSameObjectAgainAndDamagedPartsAreRefused)
{
    const Picture photo = syntheticPhoto(90, 61, 12);
    const ReducedPicture reduced(photo, Size{20, 14});
    const ChannelRanges ranges{AmountRange{-90, 40}, AmountRange{-20, 120}, AmountRange{-255, 255}};
    const CompactTile original(reduced, ranges, std::uint64_t{1} << 30);
    ASSERT_TRUE(original.complete());
    const CompactTile again(original.parts());
    EXPECT_TRUE(again.parts() == original.parts());
    EXPECT_EQ(again.byteSize(), original.byteSize());
    CellCopies copies;
    copies.count = 1;
    copies.copy[0] = CellCopy{Rect{0, 0, 90, 61}, Rect{0, 0, 20, 14}};
    for (int a = -10; a <= 40; a += 3) {
        const ShiftAmounts amounts{a * 6, a * 2, a};  // red, green, blue: inside the ranges
        ASSERT_TRUE(again.draws(copies, amounts, true, false));
        EXPECT_TRUE(test::samePicture(original.tile(copies, amounts, true, false).piece[0].pixels,
                                      again.tile(copies, amounts, true, false).piece[0].pixels));
    }
    const struct {
        const char* fault;
        void (*damage)(CompactTile::Parts&);
    } damaged[] = {
        {"no width", [](CompactTile::Parts& p) { p.dest.width = 0; }},
        {"no source", [](CompactTile::Parts& p) { p.sourceHeight = 0; }},
        {"range upside down", [](CompactTile::Parts& p) { p.ranges[1] = AmountRange{5, -5}; }},
        {"range beyond 255", [](CompactTile::Parts& p) { p.ranges[2].high = 256; }},
        {"base short", [](CompactTile::Parts& p) { p.base.pop_back(); }},
        {"counts short", [](CompactTile::Parts& p) { p.above.pop_back(); }},
        {"row starts short", [](CompactTile::Parts& p) { p.rowStart.pop_back(); }},
        {"row start moved", [](CompactTile::Parts& p) { ++p.rowStart[3]; }},
        {"result missing", [](CompactTile::Parts& p) { p.results.pop_back(); }},
        {"count beyond range", [](CompactTile::Parts& p) { p.below[0] = 200; }},
    };
    for (const auto& d : damaged) {
        CompactTile::Parts parts = original.parts();
        d.damage(parts);
        EXPECT_THROW(CompactTile{std::move(parts)}, std::invalid_argument) << d.fault;
    }
}

// An amount outside the ranges has no stored result, and a split or
// differently sized copy is not what the data describes: those cells go
// back to the picture.
TEST(CompactTile, RefusesAmountsOutsideItsRangesAndOtherCopies)
{
    const Picture photo = syntheticPhoto(60, 40, 3);
    const ReducedPicture reduced(photo, Size{20, 10});
    const ChannelRanges ranges{AmountRange{-10, 10}, AmountRange{0, 50}, AmountRange{-60, -5}};
    const CompactTile compact(reduced, ranges, std::uint64_t{1} << 30);
    CellCopies whole;
    whole.count = 1;
    whole.copy[0] = CellCopy{Rect{0, 0, 60, 40}, Rect{0, 0, 20, 10}};
    EXPECT_TRUE(compact.draws(whole, ShiftAmounts{-60, 0, -10}, true, true));
    EXPECT_TRUE(compact.draws(whole, ShiftAmounts{-5, 50, 10}, false, false));
    const ShiftAmounts outside[] = {{-61, 0, 0}, {-4, 0, 0}, {-10, -1, 0}, {-10, 51, 0}, {-10, 0, -11}, {-10, 0, 11}};
    for (const ShiftAmounts& a : outside)
        EXPECT_FALSE(compact.draws(whole, a, false, false)) << a.red << "," << a.green << "," << a.blue;
    CellCopies other = whole;
    other.copy[0].dest = Rect{0, 0, 21, 10};
    EXPECT_FALSE(compact.draws(other, ShiftAmounts{-10, 0, 0}, false, false));
    other = whole;
    other.copy[0].source = Rect{0, 0, 30, 40};
    EXPECT_FALSE(compact.draws(other, ShiftAmounts{-10, 0, 0}, false, false));
    other = whole;
    other.split = true;
    EXPECT_FALSE(compact.draws(other, ShiftAmounts{-10, 0, 0}, false, false));
    other.split = false;
    other.count = 2;
    other.copy[1] = other.copy[0];
    EXPECT_FALSE(compact.draws(other, ShiftAmounts{-10, 0, 0}, false, false));
}

// Building stops at the limit rather than growing without bound; what was
// built is let go and nothing can be drawn from it.
TEST(CompactTile, BuildingPastTheLimitLeavesAnEmptyIncompleteObject)
{
    const Picture photo = syntheticPhoto(60, 40, 9);
    const ReducedPicture reduced(photo, Size{20, 10});
    const ChannelRanges everything{AmountRange{-255, 255}, AmountRange{-255, 255}, AmountRange{-255, 255}};
    const CompactTile full(reduced, everything, std::uint64_t{1} << 30);
    ASSERT_TRUE(full.complete());
    const CompactTile exact(reduced, everything, full.byteSize());
    EXPECT_TRUE(exact.complete());
    const CompactTile cut(reduced, everything, full.byteSize() - 1);
    EXPECT_FALSE(cut.complete());
    EXPECT_EQ(cut.byteSize(), 0u);
    CellCopies whole;
    whole.count = 1;
    whole.copy[0] = CellCopy{Rect{0, 0, 60, 40}, Rect{0, 0, 20, 10}};
    EXPECT_FALSE(cut.draws(whole, ShiftAmounts{}, false, false));
}

TEST(CellTile, DrawingClipsPiecesToTheMosaic)
{
    CellTile tile;
    tile.count = 1;
    tile.piece[0].left = -2;
    tile.piece[0].top = 3;
    tile.piece[0].pixels = test::coordinatePicture(6, 4);
    Picture mosaic = test::solidPicture(5, 5, {1, 1, 1});
    drawTile(tile, mosaic);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool inside = x < 4 && y >= 3;
            const Bgr want = inside ? tile.piece[0].pixels.pixel(x + 2, y - 3) : Bgr{1, 1, 1};
            EXPECT_EQ(mosaic.pixel(x, y), want) << x << ", " << y;
        }
}

} // namespace
} // namespace tw
