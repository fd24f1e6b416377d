// Library analysis: signatures, usage reset, gauge and pumps, failures; and
// the worker pool the faster paths run on.
#include "engine/analysis.h"
#include "engine/job_pool.h"
#include "engine/pipeline.h"
#include "engine_fixtures.h"
#include "imaging/load_picture.h"
#include "imaging/signature.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>
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
    {"FourWorkers", EngineOptions{4, false}},
};

class AnalyzeLibrary : public ::testing::TestWithParam<PathCase> {
protected:
    const EngineOptions& options() const { return GetParam().options; }
    std::string scratchName(const std::string& base) const { return base + "_" + GetParam().name; }
};

std::vector<RecordingObserver::Event> expectedEvents(std::initializer_list<int> gauges)
{
    std::vector<RecordingObserver::Event> out{{Kind::Label, kJobLibrary, 0}, {Kind::Progress, {}, 0}};
    for (int g : gauges) {
        out.push_back({Kind::Progress, {}, g});
        out.push_back({Kind::Pump, {}, 0});
    }
    return out;
}

TEST_P(AnalyzeLibrary, GaugeOfFourPhotographsStartsBelowZeroAndStaysBelowHundred)
{
    CellPicLib lib = test::makeSolidLibrary(scratchName("an_gauge"), {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}});
    auto project = test::makeProject();
    RecordingObserver obs;
    analyzeLibrary(*project, lib, obs, options());
    EXPECT_EQ(obs.events, expectedEvents({-1, 24, 49, 74})) << obs.transcript();
}

TEST_P(AnalyzeLibrary, EmptyLibraryOnlySetsLabelAndGaugeAndLeavesTable)
{
    auto project = test::makeProject();
    project->CellPicTable[0].usageCount = 17;
    const CellPicTableStore before = project->CellPicTable;
    RecordingObserver obs;
    analyzeLibrary(*project, CellPicLib{}, obs, options());
    EXPECT_EQ(obs.events, expectedEvents({})) << obs.transcript();
    EXPECT_TRUE(project->CellPicTable == before);
}

TEST_P(AnalyzeLibrary, SignatureIsTakenFromCentredCropWhenCropCellIsOn)
{
    // 300 x 100: grey side thirds, a 100 x 100 centre in four quadrant colours.
    const Bgr tl{200, 10, 10}, tr{10, 200, 10}, bl{10, 10, 200}, br{120, 130, 140};
    Picture wide = test::patternPicture(300, 100, [&](int x, int y) {
        if (x < 100 || x >= 200)
            return Bgr{90, 90, 90};
        const bool right = x >= 150, bottom = y >= 50;
        return bottom ? (right ? br : bl) : (right ? tr : tl);
    });
    auto dir = test::scratchDir(scratchName("an_crop"));
    CellPicLib lib;
    lib.append(test::writePictureFile(dir, "wide", wide));

    for (std::uint8_t crop : {std::uint8_t{1}, std::uint8_t{0}}) {
        tmosaicproject s = test::gridSettings(8, 8, 32, 32);
        s.cropCell = crop;
        auto project = test::makeProject(s);
        NullObserver obs;
        analyzeLibrary(*project, lib, obs, options());
        const ColorSignature expected = crop ? test::signatureOf(tl, tr, bl, br) : computeSignature(wide);
        EXPECT_EQ(project->CellPicTable[0].signature, expected) << "cropCell " << int(crop);
    }
}

TEST_P(AnalyzeLibrary, MonoCellSignatureDescribesTheGreyPicture)
{
    CellPicLib lib = test::makeSolidLibrary(scratchName("an_mono"), {{0, 0, 255}, {255, 255, 255}});
    tmosaicproject s = test::wizardDefaults();
    s.monoCell = 1;
    auto project = test::makeProject(s);
    NullObserver obs;
    analyzeLibrary(*project, lib, obs, options());
    EXPECT_EQ(project->CellPicTable[0].signature, test::uniformSignature({76, 76, 76}));  // pure red
    EXPECT_EQ(project->CellPicTable[1].signature, test::uniformSignature({254, 254, 254}));  // white
}

TEST_P(AnalyzeLibrary, UsageCountsOfCurrentListAreResetAndLaterEntriesKept)
{
    CellPicLib lib = test::makeSolidLibrary(scratchName("an_usage"), {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
    auto project = test::makeProject();
    for (int i = 0; i < 4; ++i) {
        project->CellPicTable[i].usageCount = 5 + i;
        project->CellPicTable[i].reserved = 99;
    }
    const CellPicEntry fourth = project->CellPicTable[3];
    NullObserver obs;
    analyzeLibrary(*project, lib, obs, options());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(project->CellPicTable[i].usageCount, 0) << i;
        EXPECT_EQ(project->CellPicTable[i].reserved, 0) << i;
        const std::uint8_t v = static_cast<std::uint8_t>(i + 1);
        EXPECT_EQ(project->CellPicTable[i].signature, test::uniformSignature({v, v, v})) << i;
    }
    EXPECT_EQ(project->CellPicTable[3].usageCount, fourth.usageCount);
    EXPECT_EQ(project->CellPicTable[3].reserved, fourth.reserved);
}

TEST_P(AnalyzeLibrary, FailingPhotographStopsWithLoaderTextAfterEarlierEntries)
{
    auto dir = test::scratchDir(scratchName("an_fail"));
    CellPicLib lib;
    lib.append(test::writePictureFile(dir, "a", test::solidPicture(8, 8, {10, 20, 30})));
    lib.append(test::writePictureFile(dir, "b", test::solidPicture(8, 8, {40, 50, 60})));
    const std::string missing = (dir / "missing.bmp").string();
    lib.append(missing);
    lib.append(test::writePictureFile(dir, "d", test::solidPicture(8, 8, {70, 80, 90})));

    std::string loaderText;
    try {
        Picture p;
        loadPicture(p, missing);
    } catch (const Error& e) {
        loaderText = e.what();
    }
    ASSERT_FALSE(loaderText.empty());

    auto project = test::makeProject();
    project->CellPicTable[2].usageCount = 3;
    project->CellPicTable[3].usageCount = 4;
    RecordingObserver obs;
    try {
        analyzeLibrary(*project, lib, obs, options());
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), loaderText);
    }
    EXPECT_EQ(obs.events, expectedEvents({-1, 24})) << obs.transcript();
    EXPECT_EQ(project->CellPicTable[1].signature, test::uniformSignature({40, 50, 60}));
    EXPECT_EQ(project->CellPicTable[2].usageCount, 3);
    EXPECT_EQ(project->CellPicTable[3].usageCount, 4);
}

TEST_P(AnalyzeLibrary, CorruptPhotographFailsWithReaderError)
{
    auto dir = test::scratchDir(scratchName("an_corrupt"));
    const std::string bad = (dir / "bad.jpg").string();
    std::ofstream(bad, std::ios::binary) << "this is not a picture at all";
    CellPicLib lib;
    lib.append(test::writePictureFile(dir, "a", test::solidPicture(8, 8, {10, 20, 30}), test::FileKind::Jpeg));
    lib.append(bad);
    auto project = test::makeProject();
    RecordingObserver obs;
    EXPECT_THROW(analyzeLibrary(*project, lib, obs, options()), Error);
    EXPECT_EQ(obs.events, expectedEvents({-1})) << obs.transcript();
}

TEST_P(AnalyzeLibrary, LibraryLargerThanTableIsRefusedBeforeAnyReport)
{
    CellPicLib lib = test::pathOnlyLibrary(kTableSize + 1);
    auto project = test::makeProject();
    RecordingObserver obs;
    EXPECT_THROW(analyzeLibrary(*project, lib, obs, options()), Error);
    EXPECT_TRUE(obs.events.empty()) << obs.transcript();
}

INSTANTIATE_TEST_SUITE_P(Paths, AnalyzeLibrary, ::testing::ValuesIn(kPaths),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- JobPool

TEST(JobPool, EveryJobRunsOnceAndResultsAreVisibleAfterWait)
{
    for (unsigned threads : {1u, 2u, 5u}) {
        std::vector<int> results(100, 0);
        std::atomic<int> runs{0};
        JobPool pool(results.size(), threads, 0, [&](std::size_t i) {
            results[i] = static_cast<int>(i * i);
            ++runs;
        });
        for (std::size_t i = 0; i < results.size(); ++i) {
            pool.wait(i);
            EXPECT_EQ(results[i], static_cast<int>(i * i)) << "threads " << threads;
        }
        EXPECT_EQ(runs.load(), 100);
    }
}

TEST(JobPool, ThrownErrorReachesTheWaiterUnchanged)
{
    JobPool pool(5, 2, 0, [](std::size_t i) {
        if (i == 3)
            throw Error("Bitmap image is not valid");
    });
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NO_THROW(pool.wait(i));
    try {
        pool.wait(3);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
    EXPECT_NO_THROW(pool.wait(4));
}

TEST(JobPool, LookAheadBoundsHowFarWorkersRunAhead)
{
    std::atomic<std::size_t> highest{0};
    std::atomic<std::size_t> releasedUpTo{0};
    std::atomic<bool> overrun{false};
    const std::size_t lookAhead = 3;
    JobPool pool(40, 4, lookAhead, [&](std::size_t i) {
        if (i >= releasedUpTo.load() + lookAhead)
            overrun = true;
        std::size_t h = highest.load();
        while (i > h && !highest.compare_exchange_weak(h, i)) {
        }
    });
    for (std::size_t i = 0; i < 40; ++i) {
        pool.wait(i);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        releasedUpTo = i + 1;
        pool.release(i);
    }
    EXPECT_FALSE(overrun.load());
}

TEST(JobPool, WaitingBeyondTheWindowDoesNotHang)
{
    JobPool pool(10, 2, 1, [](std::size_t) {});
    pool.wait(7);  // nothing released: the window must widen itself
    pool.wait(9);
    SUCCEED();
}

TEST(JobPool, DestroyingWithPendingJobsStopsClaimingAndJoins)
{
    std::atomic<int> runs{0};
    {
        JobPool pool(1000, 2, 2, [&](std::size_t) { ++runs; });
        pool.wait(0);
    }
    EXPECT_LE(runs.load(), 4);
}

TEST(JobPool, WaitReportsMeanwhileUntilTheJobEndsAndKeepsItsError)
{
    // Job 0 ends only once the waiter has been told it is still running, so
    // the report before blocking is certain; job 1's error still arrives.
    std::atomic<int> told{0};
    JobPool pool(2, 1, 0, [&](std::size_t i) {
        while (told.load() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (i == 1)
            throw Error("Bitmap image is not valid");
    });
    pool.wait(0, std::chrono::milliseconds(1), [&] { ++told; });
    EXPECT_GE(told.load(), 1);
    const int before = told.load();
    try {
        pool.wait(1, std::chrono::milliseconds(1), [&] { ++told; });
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
    pool.wait(0, std::chrono::milliseconds(1), [&] { ++told; });
    EXPECT_GE(told.load(), before) << "a finished job is waited for without reports";
}

TEST(JobPool, ZeroThreadsMeansOnePerCore)
{
    EXPECT_GE(resolveThreadCount(0), 1u);
    EXPECT_EQ(resolveThreadCount(3), 3u);
}

} // namespace
} // namespace tw
