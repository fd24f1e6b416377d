// Creations with the analysis cache in the ways it can go wrong: a changed
// photograph that looks unchanged, a damaged database, a folder that cannot
// hold one; and a repeat creation that decodes nothing.
#include "cache/analysis_store.h"
#include "engine/pipeline.h"
#include "engine_fixtures.h"
#include "imaging/decode_budget.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace tw {
namespace {

namespace fs = std::filesystem;

const EngineOptions kReference{0, true};

tmosaicproject loomSettings(std::int32_t enhance = 100)
{
    tmosaicproject s = test::gridSettings(6, 5, 16, 16);
    s.cropCell = 1;
    s.colorEnhance = enhance;
    s.randomLevel = 2;
    return s;
}

// Colour and grey photographs as JPEG and BMP, each of its own colour run.
CellPicLib smallLibrary(const fs::path& dir)
{
    CellPicLib lib;
    const test::FileKind kinds[] = {test::FileKind::Jpeg, test::FileKind::Bmp, test::FileKind::GreyJpeg,
                                    test::FileKind::CmykJpeg, test::FileKind::Bmp, test::FileKind::Jpeg};
    for (int i = 0; i < 6; ++i) {
        const Bgr from{std::uint8_t(40 * i), std::uint8_t(250 - 30 * i), std::uint8_t(90 + 20 * i)};
        const Bgr to{std::uint8_t(255 - 25 * i), std::uint8_t(10 * i), std::uint8_t(200 - 15 * i)};
        lib.append(test::writePictureFile(dir, "p" + std::to_string(i), test::gradientPicture(40, 30, from, to),
                                          kinds[i]));
    }
    return lib;
}

struct Made {
    std::unique_ptr<MosaicProject> project;
    std::string error;
};

Made create(const CellPicLib& lib, const EngineOptions& options, std::int32_t enhance = 100)
{
    Made made{test::makeProject(loomSettings(enhance)), {}};
    made.project->MainImage = test::gradientPicture(60, 50, Bgr{20, 200, 90}, Bgr{230, 40, 160});
    NullObserver quiet;
    try {
        runCreation(*made.project, lib, quiet, options);
    } catch (const std::exception& e) {
        made.error = e.what();
    }
    return made;
}

EngineOptions withStore(AnalysisStore* store)
{
    EngineOptions options{2, false};
    options.analysisStore = store;
    return options;
}

// The size of the library's largest file: a decode budget of that much
// reads any of them but is far too small to decode one.
std::uint64_t largestFileOf(const CellPicLib& lib)
{
    std::uint64_t largest = 0;
    for (const std::string& path : lib.entries())
        largest = std::max<std::uint64_t>(largest, fs::file_size(path));
    return largest;
}

void expectSameMosaic(const Made& reference, const Made& made)
{
    EXPECT_EQ(made.error, reference.error);
    EXPECT_TRUE(test::samePicture(reference.project->MosaicImage, made.project->MosaicImage));
}

// A photograph rewritten with other content of the same size and given its
// old modification time back (a restored backup, a coarse clock) is
// analysed again, not drawn from the old content's entry.
TEST(AnalysisCache, FileChangedWithSameSizeAndTimeIsAnalysedAgain)
{
    const fs::path dir = test::scratchDir("library");
    const CellPicLib lib = smallLibrary(dir);
    auto store = AnalysisStore::open(test::scratchDir("store").string(), nullptr);
    ASSERT_TRUE(store);
    create(lib, withStore(store.get()));

    const std::string changed = lib.entry(1);  // a BMP: same size whatever its pixels
    struct stat before {};
    ASSERT_EQ(::stat(changed.c_str(), &before), 0);
    const fs::path other = test::writePictureFile(test::scratchDir("other"), "p1",
                                                  test::solidPicture(40, 30, Bgr{255, 0, 255}), test::FileKind::Bmp);
    fs::copy_file(other, changed, fs::copy_options::overwrite_existing);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, changed.c_str(), times, 0), 0);
    struct stat after {};
    ASSERT_EQ(::stat(changed.c_str(), &after), 0);
    ASSERT_EQ(after.st_size, before.st_size);
    ASSERT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    const Made reference = create(lib, kReference);
    const std::uint64_t missedBefore = store->counts().missed;
    const Made cached = create(lib, withStore(store.get()));
    expectSameMosaic(reference, cached);
    EXPECT_EQ(store->counts().missed - missedBefore, 1u) << "only the changed photograph is analysed again";
}

// The repeat creation of a loom finds every photograph and draws every
// cell from the stored data: a decode budget that holds only the largest
// file's bytes, far less than decoding any photograph needs, suffices.
TEST(AnalysisCache, RepeatCreationReadsTheFilesButDecodesNone)
{
    const fs::path dir = test::scratchDir("library");
    const CellPicLib lib = smallLibrary(dir);
    auto store = AnalysisStore::open(test::scratchDir("store").string(), nullptr);
    ASSERT_TRUE(store);
    const Made reference = create(lib, kReference);
    create(lib, withStore(store.get()));

    const std::uint64_t largestFile = largestFileOf(lib);
    for (const bool cached : {false, true}) {
        SCOPED_TRACE(cached ? "cached" : "without the cache");
        DecodeBudget budget(largestFile);
        EngineOptions options = withStore(cached ? store.get() : nullptr);
        options.decodeBudget = &budget;
        const Made made = create(lib, options);
        if (cached)
            expectSameMosaic(reference, made);
        else
            EXPECT_NE(made.error, "") << "the budget is too small to decode a photograph";
    }
}

// Stored drawing data holds the amounts of the enhancements asked for so
// far. A higher one draws the same mosaic, builds the data again for both
// and stores it, so from then on neither decodes a photograph.
TEST(AnalysisCache, HigherEnhancementWidensTheStoredDataOnce)
{
    const fs::path dir = test::scratchDir("library");
    const CellPicLib lib = smallLibrary(dir);
    auto store = AnalysisStore::open(test::scratchDir("store").string(), nullptr);
    ASSERT_TRUE(store);
    create(lib, withStore(store.get()), 30);
    const std::uint64_t entries = store->summary().entries;

    const Made wider = create(lib, withStore(store.get()), 100);
    expectSameMosaic(create(lib, kReference, 100), wider);
    EXPECT_EQ(store->summary().entries, entries) << "each photograph's entry is replaced, not added to";

    const std::uint64_t largestFile = largestFileOf(lib);
    for (const int enhance : {100, 30, 65}) {
        SCOPED_TRACE(enhance);
        DecodeBudget budget(largestFile);  // too small to decode any photograph
        EngineOptions options = withStore(store.get());
        options.decodeBudget = &budget;
        expectSameMosaic(create(lib, kReference, enhance), create(lib, options, enhance));
    }
}

// An opened project (its table and grid as a creation left them) is drawn
// from the stored data: with a decode budget too small for any photograph
// while the data holds the project's enhancement, by decoding the cells
// beyond it otherwise; the mosaic is the reference one either way.
TEST(AnalysisCache, OpenedProjectIsDrawnFromTheStoredData)
{
    const fs::path dir = test::scratchDir("library");
    const CellPicLib lib = smallLibrary(dir);
    auto store = AnalysisStore::open(test::scratchDir("store").string(), nullptr);
    ASSERT_TRUE(store);
    create(lib, withStore(store.get()), 60);
    const std::uint64_t largestFile = largestFileOf(lib);

    struct Case {
        std::int32_t enhance;
        bool cached;
        bool smallBudget;
        bool draws;  // whether the opening succeeds
    };
    const Case cases[] = {
        {60, true, true, true},    {40, true, true, true},  // amounts within the stored ones
        {60, false, true, false},                            // no store: the photographs must be decoded
        {100, true, false, true},  {100, true, true, false}, // beyond them: decoded where needed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.enhance) + (c.cached ? " cached" : " uncached") +
                     (c.smallBudget ? " small budget" : ""));
        Made opened = create(lib, kReference, c.enhance);
        ASSERT_EQ(opened.error, "");
        const Picture reference = opened.project->MosaicImage;
        opened.project->MosaicImage.clear();
        DecodeBudget budget(c.smallBudget ? largestFile : std::uint64_t{1} << 30);
        EngineOptions options = withStore(c.cached ? store.get() : nullptr);
        options.decodeBudget = &budget;
        NullObserver quiet;
        if (!c.draws) {
            EXPECT_ANY_THROW(runOpenedProject(*opened.project, lib, quiet, options));
            continue;
        }
        runOpenedProject(*opened.project, lib, quiet, options);
        EXPECT_TRUE(test::samePicture(reference, opened.project->MosaicImage));
    }
}

// A database that is not one (garbage, cut short, another program's) is
// made anew with a warning; the creation goes on and fills it.
TEST(AnalysisCache, DamagedDatabaseIsMadeAnewAndTheCreationGoesOn)
{
    const fs::path dir = test::scratchDir("library");
    const CellPicLib lib = smallLibrary(dir);
    const Made reference = create(lib, kReference);
    struct Row {
        const char* why;
        std::string bytes;
    };
    const Row rows[] = {
        {"garbage", std::string(5000, '\x5a')},
        {"an SQLite header and nothing after it", std::string("SQLite format 3\0", 16) + std::string(84, '\0')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const fs::path folder = test::scratchDir("store");
        std::ofstream(folder / AnalysisStore::kDatabaseName, std::ios::binary) << row.bytes;
        std::vector<std::string> warnings;
        auto store = AnalysisStore::open(folder.string(), [&](const std::string& w) { warnings.push_back(w); });
        ASSERT_TRUE(store);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("it is made anew"), std::string::npos) << warnings[0];
        expectSameMosaic(reference, create(lib, withStore(store.get())));
        EXPECT_EQ(store->summary().entries, lib.count());
    }
}

// A cache folder that cannot be made or written: no store (with a warning)
// and a creation that succeeds without one.
TEST(AnalysisCache, FolderThatCannotHoldTheDatabaseLeavesTheCreationUncached)
{
    const fs::path dir = test::scratchDir("library");
    const CellPicLib lib = smallLibrary(dir);
    const Made reference = create(lib, kReference);

    const fs::path blocked = test::scratchDir("blocked");
    std::ofstream(blocked / "file") << "a file where the folder should be";
    struct Row {
        const char* why;
        std::string folder;
    };
    std::vector<Row> rows = {
        {"a file stands where the folder goes", (blocked / "file" / "tilewright").string()},
        {"a file system that cannot be written", "/proc/self/tilewright"},
    };
    // Permissions bind every user but root.
    const fs::path readOnly = test::scratchDir("read_only");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0)
        rows.push_back({"a folder without write permission", (readOnly / "tilewright").string()});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        std::vector<std::string> warnings;
        auto store = AnalysisStore::open(row.folder, [&](const std::string& w) { warnings.push_back(w); });
        EXPECT_FALSE(store);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("creations go on without it"), std::string::npos) << warnings[0];
        expectSameMosaic(reference, create(lib, withStore(store.get())));
    }
    fs::permissions(readOnly, fs::perms::owner_all);
}

} // namespace
} // namespace tw
