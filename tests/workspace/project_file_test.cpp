#include "workspace/project_file.h"

#include "engine/engine_fixtures.h"
#include "engine/pipeline.h"
#include "imaging/bmp.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace tw {
namespace {

namespace fs = std::filesystem;

std::uint32_t u32At(const Bytes& b, std::size_t off)
{
    return std::uint32_t{b[off]} | (std::uint32_t{b[off + 1]} << 8) | (std::uint32_t{b[off + 2]} << 16) |
           (std::uint32_t{b[off + 3]} << 24);
}

std::int32_t i32At(const Bytes& b, std::size_t off)
{
    return static_cast<std::int32_t>(u32At(b, off));
}

void putI32(Bytes& b, std::size_t off, std::int32_t v)
{
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        b[off + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(u >> (8 * i));
}

void appendI32(Bytes& out, std::int32_t v)
{
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

// The table and grid blocks encoded field by field, independently of the
// bulk copies the file writer uses.
Bytes encodeTableByField(const CellPicTableStore& table)
{
    Bytes out;
    out.reserve(kTableBytes);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const CellPicEntry& e = table[i];
        for (const SignatureColor& c : e.signature.c) {
            out.push_back(c.blue);
            out.push_back(c.green);
            out.push_back(c.red);
            out.push_back(c.luma);
        }
        appendI32(out, e.usageCount);
        appendI32(out, e.reserved);
    }
    return out;
}

Bytes encodeGridByField(const MosaicGridStore& grid)
{
    Bytes out;
    out.reserve(kGridBytes);
    for (int x = 0; x < kGridSize; ++x)
        for (int y = 0; y < kGridSize; ++y) {
            const MosaicCell& c = grid.at(x, y);
            appendI32(out, c.picture);
            appendI32(out, c.redOffset);
            appendI32(out, c.greenOffset);
            appendI32(out, c.blueOffset);
            out.push_back(c.placed);
            out.push_back(c.hFlip);
            out.push_back(c.vFlip);
            out.push_back(c.pad);
        }
    return out;
}

Picture patternPicture(int w, int h, int seed)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y,
                       Bgr{static_cast<std::uint8_t>(x * 7 + seed), static_cast<std::uint8_t>(y * 13 + seed),
                           static_cast<std::uint8_t>(x * y + seed)});
    return p;
}

// A project with distinctive values everywhere, including table entries
// beyond the library and cells beyond the mosaic.
std::unique_ptr<MosaicProject> sampleProject(int seed, int mainW = 5, int mainH = 3)
{
    auto p = std::make_unique<MosaicProject>();
    tmosaicproject& s = p->settings;
    s.mainImagePathSlot = 0xDEADBEEF;  // must not reach the file
    s.cropMain = 1;
    s.mosaicWidth = 256;
    s.mosaicHeight = 128;
    s.widthInch = 3.55 + seed;
    s.heightInch = 1.77;
    s.widthCm = 9.03;
    s.heightCm = 4.51;
    s.dpi = 72;
    s.cellsX = 8;
    s.cellsY = 4;
    s.cellWidth = 32;
    s.cellHeight = 32;
    s.renderMode = RenderMode::Standard;
    s.stitchMode = StitchMode::Peyote;
    s.randomLevel = 3;
    s.colorEnhance = 55;
    s.useAllPhotos = 1;
    s.cropCell = 0;
    s.monoCell = 1;
    s.allowHFlip = 1;
    s.allowVFlip = 0;
    s.repeatRadius = 6;
    s.limitRepeat = 1;
    s.maxRepeat = 139;
    s.repeatLimitOff = 0;
    s.borderSize = 2;
    s.borderColor = 0x00A0B0C0;
    p->mainImagePath = "/pictures/main-" + std::to_string(seed) + ".jpg";
    if (mainW > 0)
        p->MainImage = patternPicture(mainW, mainH, seed);
    for (std::size_t i = 0; i < p->CellPicTable.size(); i += 97) {
        CellPicEntry& e = p->CellPicTable[i];
        for (int k = 0; k < 5; ++k)
            e.signature.c[static_cast<std::size_t>(k)] =
                SignatureColor{static_cast<std::uint8_t>(i + k), static_cast<std::uint8_t>(seed),
                               static_cast<std::uint8_t>(k * 50), static_cast<std::uint8_t>(i >> 3)};
        e.usageCount = static_cast<std::int32_t>(i) * 3 - 1000;
        e.reserved = seed;
    }
    p->CellPicTable[kTableSize - 1].usageCount = 0x12345678;
    for (int x = 0; x < kGridSize; x += 37)
        for (int y = 0; y < kGridSize; y += 41) {
            MosaicCell& c = p->MosaicGrid.at(x, y);
            c.picture = x * 1000 + y;
            c.redOffset = -x;
            c.greenOffset = y - seed;
            c.blueOffset = -300000;
            c.placed = 1;
            c.hFlip = static_cast<std::uint8_t>(x & 1);
            c.vFlip = static_cast<std::uint8_t>(y & 1);
        }
    p->MosaicGrid.at(kGridSize - 1, kGridSize - 1).picture = -77;
    return p;
}

CellPicLib libraryOf(std::vector<std::string> entries)
{
    CellPicLib lib;
    lib.replaceAll(std::move(entries));
    return lib;
}

bool sameRecord(const tmosaicproject& a, const tmosaicproject& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Everything a failed opening must leave alone.
::testing::AssertionResult sameProjectState(const MosaicProject& a, const CellPicLib& libA, const MosaicProject& b,
                                            const CellPicLib& libB)
{
    if (!sameRecord(a.settings, b.settings))
        return ::testing::AssertionFailure() << "settings record differs";
    if (a.mainImagePath != b.mainImagePath)
        return ::testing::AssertionFailure() << "path " << a.mainImagePath << " vs " << b.mainImagePath;
    if (auto r = test::samePicture(a.MainImage, b.MainImage); !r)
        return ::testing::AssertionFailure() << "MainImage: " << r.message();
    if (!(a.CellPicTable == b.CellPicTable))
        return ::testing::AssertionFailure() << "table differs";
    if (!(a.MosaicGrid == b.MosaicGrid))
        return ::testing::AssertionFailure() << "grid differs";
    if (libA.entries() != libB.entries())
        return ::testing::AssertionFailure() << "library differs";
    return ::testing::AssertionSuccess();
}

std::string errorOf(const Bytes& file)
{
    try {
        parseProjectFile(file);
    } catch (const Error& e) {
        return e.what();
    }
    return "<accepted>";
}

const std::vector<std::string> kLibrary = {"/lib/a.jpg", "", "/lib/b.bmp", "/lib/a.jpg"};

TEST(ProjectFileLayout, SizeAndBlockOffsetsFollowTheTwoLengths)
{
    struct Row {
        int w, h;
        std::vector<std::string> lib;
    };
    for (const Row& row : {Row{5, 3, kLibrary}, Row{1, 1, {}}, Row{64, 40, {"x"}}, Row{0, 0, kLibrary},
                           Row{0, 0, {}}}) {
        SCOPED_TRACE(std::to_string(row.w) + "x" + std::to_string(row.h) + " lib " + std::to_string(row.lib.size()));
        auto project = sampleProject(1, row.w, row.h);
        CellPicLib lib = libraryOf(row.lib);
        Bytes file = buildProjectFile(*project, lib);

        const Bytes bmp = row.w > 0 ? encodeBmp(project->MainImage) : Bytes();
        const Bytes list = encodeListText(row.lib);
        const std::size_t s1 = bmp.size(), s2 = list.size();
        ASSERT_EQ(file.size(), 13086880u + s1 + s2);
        EXPECT_EQ(project->settings.mainImageStreamSize, static_cast<std::int32_t>(s1));
        EXPECT_EQ(project->settings.libraryListStreamSize, static_cast<std::int32_t>(s2));
        EXPECT_EQ(i32At(file, 0), 128);
        EXPECT_EQ(i32At(file, 120), static_cast<std::int32_t>(s1));
        EXPECT_EQ(i32At(file, 124), static_cast<std::int32_t>(s2));
        EXPECT_TRUE(std::equal(bmp.begin(), bmp.end(), file.begin() + 132));
        EXPECT_TRUE(std::equal(list.begin(), list.end(), file.begin() + 132 + static_cast<std::ptrdiff_t>(s1)));
        const std::size_t tableAt = 132 + s1 + s2;
        const Bytes table = encodeTableByField(project->CellPicTable);
        EXPECT_TRUE(std::equal(table.begin(), table.end(), file.begin() + static_cast<std::ptrdiff_t>(tableAt)));
        const Bytes grid = encodeGridByField(project->MosaicGrid);
        EXPECT_TRUE(std::equal(grid.begin(), grid.end(), file.begin() + static_cast<std::ptrdiff_t>(tableAt + 286748)));
        // The last table entry and the last grid cell, at their computed offsets.
        EXPECT_EQ(u32At(file, tableAt + 10240 * 28 + 20), 0x12345678u);
        EXPECT_EQ(i32At(file, tableAt + 286748 + (799u * 800 + 799) * 20), -77);
    }
}

TEST(ProjectFileLayout, RecordFieldsSitAtFileOffsetFourPlusRecordOffset)
{
    auto project = sampleProject(3);
    CellPicLib lib = libraryOf(kLibrary);
    Bytes file = buildProjectFile(*project, lib);
    EXPECT_EQ(u32At(file, 4), 0u) << "the path slot is written as zero";
    EXPECT_EQ(file[8], 1);  // cropMain
    EXPECT_EQ(i32At(file, 12), 256);
    EXPECT_EQ(i32At(file, 16), 128);
    double widthInch = 0;
    std::memcpy(&widthInch, file.data() + 20, 8);
    EXPECT_EQ(widthInch, project->settings.widthInch);
    EXPECT_EQ(i32At(file, 52), 72);
    EXPECT_EQ(i32At(file, 56), 8);
    EXPECT_EQ(i32At(file, 60), 4);
    EXPECT_EQ(i32At(file, 72), 2);
    EXPECT_EQ(i32At(file, 76), 2);
    EXPECT_EQ(i32At(file, 84), 55);
    EXPECT_EQ(file[90], 1);  // monoCell
    EXPECT_EQ(file[92], 0);  // allowVFlip
    EXPECT_EQ(i32At(file, 96), 6);
    EXPECT_EQ(file[100], 1);
    EXPECT_EQ(i32At(file, 104), 139);
    EXPECT_EQ(i32At(file, 112), 2);
    EXPECT_EQ(u32At(file, 116), 0x00A0B0C0u);
}

TEST(ProjectFileLayout, SmallMosaicStillStoresWholeTableAndGrid)
{
    auto project = sampleProject(2);
    project->settings.cellsX = 8;
    project->settings.cellsY = 8;
    CellPicLib lib = libraryOf({"only.jpg"});
    Bytes file = buildProjectFile(*project, lib);
    EXPECT_EQ(file.size(), 13086880u + static_cast<std::size_t>(project->settings.mainImageStreamSize) + 10u);
}

class ProjectFileRoundTrip : public ::testing::Test {
protected:
    void SetUp() override { dir = test::scratchDir("project_file_round_trip"); }
    fs::path dir;
};

TEST_F(ProjectFileRoundTrip, OpeningRestoresRecordPictureListTableAndGrid)
{
    auto saved = sampleProject(4, 7, 5);
    CellPicLib savedLib = libraryOf(kLibrary);
    const std::string path = (dir / "mosaic.tw6").string();
    saveProjectFile(*saved, savedLib, path);

    auto opened = sampleProject(9, 2, 2);  // different state to be replaced
    CellPicLib openedLib = libraryOf({"old1", "old2"});
    std::vector<std::size_t> counts;
    openedLib.onCountChanged = [&](std::size_t n) { counts.push_back(n); };
    openProjectFile(*opened, openedLib, path);

    tmosaicproject expected = saved->settings;
    expected.mainImagePathSlot = 0;
    EXPECT_TRUE(sameRecord(opened->settings, expected));
    EXPECT_TRUE(test::samePicture(opened->MainImage, saved->MainImage));
    EXPECT_TRUE(opened->CellPicTable == saved->CellPicTable);
    EXPECT_TRUE(opened->MosaicGrid == saved->MosaicGrid);
    EXPECT_EQ(openedLib.entries(), kLibrary);
    EXPECT_EQ(counts, std::vector<std::size_t>{kLibrary.size()});
    EXPECT_EQ(opened->mainImagePath, path);
}

TEST_F(ProjectFileRoundTrip, EmptyLibraryWritesZeroLengthAndOpensEmpty)
{
    auto saved = sampleProject(5);
    CellPicLib empty;
    const std::string path = (dir / "empty-lib.tw6").string();
    saveProjectFile(*saved, empty, path);
    EXPECT_EQ(saved->settings.libraryListStreamSize, 0);
    EXPECT_EQ(fs::file_size(path), 13086880u + static_cast<std::size_t>(saved->settings.mainImageStreamSize));

    auto opened = std::make_unique<MosaicProject>();
    CellPicLib lib = libraryOf({"x"});
    openProjectFile(*opened, lib, path);
    EXPECT_EQ(lib.count(), 0u);
    EXPECT_TRUE(opened->CellPicTable == saved->CellPicTable);
    EXPECT_TRUE(opened->MosaicGrid == saved->MosaicGrid);
}

TEST_F(ProjectFileRoundTrip, EmptyMainPictureIsAnEmptyBlock)
{
    auto saved = sampleProject(6, 0, 0);
    CellPicLib lib = libraryOf(kLibrary);
    Bytes file = buildProjectFile(*saved, lib);
    EXPECT_EQ(saved->settings.mainImageStreamSize, 0);

    auto opened = sampleProject(7, 4, 4);
    CellPicLib openedLib;
    auto contents = parseProjectFile(file);
    restoreProject(*opened, openedLib, *contents);
    EXPECT_TRUE(opened->MainImage.empty());
    EXPECT_EQ(openedLib.entries(), kLibrary);
    EXPECT_TRUE(opened->MosaicGrid == saved->MosaicGrid);
}

TEST_F(ProjectFileRoundTrip, ZeroByZeroBitmapBlockAlsoOpensAsEmptyMainPicture)
{
    // Another writer may store an empty picture as a header-only bitmap.
    auto saved = sampleProject(6, 0, 0);
    CellPicLib lib = libraryOf(kLibrary);
    Bytes file = buildProjectFile(*saved, lib);
    const Bytes headerOnly = encodeBmp(Picture());
    file.insert(file.begin() + 132, headerOnly.begin(), headerOnly.end());
    putI32(file, 120, static_cast<std::int32_t>(headerOnly.size()));

    auto opened = sampleProject(7, 4, 4);
    CellPicLib openedLib;
    auto contents = parseProjectFile(file);
    restoreProject(*opened, openedLib, *contents);
    EXPECT_TRUE(opened->MainImage.empty());
    EXPECT_EQ(openedLib.entries(), kLibrary);
    EXPECT_TRUE(opened->CellPicTable == saved->CellPicTable);
}

TEST_F(ProjectFileRoundTrip, RestoreLeavesThePathAndTrailingBytesAreIgnored)
{
    auto saved = sampleProject(8);
    CellPicLib lib = libraryOf(kLibrary);
    Bytes file = buildProjectFile(*saved, lib);
    file.insert(file.end(), {1, 2, 3, 4, 5});
    auto opened = std::make_unique<MosaicProject>();
    opened->mainImagePath = "kept.bmp";
    CellPicLib openedLib;
    auto contents = parseProjectFile(file);
    restoreProject(*opened, openedLib, *contents);
    EXPECT_EQ(opened->mainImagePath, "kept.bmp");
    EXPECT_TRUE(opened->MosaicGrid == saved->MosaicGrid);
}

TEST_F(ProjectFileRoundTrip, NameIsUsedExactlyAsGiven)
{
    auto project = sampleProject(1);
    CellPicLib lib = libraryOf(kLibrary);
    const std::string path = (dir / "no-extension").string();
    saveProjectFile(*project, lib, path);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(fs::exists(path + ".tw6"));
}

TEST_F(ProjectFileRoundTrip, FailedSaveKeepsThePreviousFile)
{
    auto project = sampleProject(1);
    CellPicLib lib = libraryOf(kLibrary);
    try {
        saveProjectFile(*project, lib, (dir / "missing-folder" / "p.tw6").string());
        FAIL() << "saving into a missing folder succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file", 0), 0u) << e.what();
    }
    const std::string path = (dir / "keep.tw6").string();
    {
        std::ofstream(path, std::ios::binary) << "previous";
    }
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    bool writable = ::access(dir.c_str(), W_OK) == 0;  // root ignores permissions
    if (!writable) {
        EXPECT_THROW(saveProjectFile(*project, lib, path), Error);
    }
    fs::permissions(dir, fs::perms::owner_all);
    if (!writable) {
        EXPECT_EQ(fs::file_size(path), 8u);
    }
}

// A saved file and the state it must never disturb when a damaged copy of
// it is opened.
class DamagedProjectFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto source = sampleProject(11, 9, 6);
        CellPicLib sourceLib = libraryOf(kLibrary);
        good = buildProjectFile(*source, sourceLib);
        s1 = static_cast<std::size_t>(source->settings.mainImageStreamSize);
        s2 = static_cast<std::size_t>(source->settings.libraryListStreamSize);
        target = sampleProject(22, 3, 3);
        targetLib = libraryOf({"current/one.jpg", "current/two.jpg"});
        reference = sampleProject(22, 3, 3);
        referenceLib = libraryOf({"current/one.jpg", "current/two.jpg"});
    }

    // Opens the damaged image the way the program does and checks the
    // message and that nothing changed.
    void expectRefused(const Bytes& file, const std::string& message, const std::string& what)
    {
        SCOPED_TRACE(what);
        const fs::path path = test::scratchDir("damaged_project") / "damaged.tw6";
        {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        }
        try {
            openProjectFile(*target, targetLib, path.string());
            ADD_FAILURE() << "damaged file was opened";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
        EXPECT_TRUE(sameProjectState(*target, targetLib, *reference, referenceLib));
    }

    Bytes good;
    std::size_t s1 = 0, s2 = 0;
    std::unique_ptr<MosaicProject> target, reference;
    CellPicLib targetLib, referenceLib;
};

TEST_F(DamagedProjectFile, TruncationAnywhereIsAStreamReadError)
{
    const std::size_t table = 132 + s1 + s2;
    const std::size_t grid = table + 286748;
    const std::vector<std::size_t> cuts = {
        0, 1, 3, 4, 5, 100, 131,                                 // length word and record
        132, 133, 132 + s1 / 2, 132 + s1 - 1,                    // main picture block
        132 + s1, 132 + s1 + 1, table - 1,                       // library list block
        table, table + 28, table + 143374, grid - 1,             // signature table
        grid, grid + 20, grid + 6400000, good.size() - 20, good.size() - 1};  // cell grid
    for (std::size_t cut : cuts) {
        ASSERT_LT(cut, good.size());
        Bytes file(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        expectRefused(file, "Stream read error", "cut at " + std::to_string(cut));
    }
}

TEST_F(DamagedProjectFile, WrongRecordLengthIsRefusedWithItsValue)
{
    for (std::int32_t v : {0, 127, 129, -128, 256, std::numeric_limits<std::int32_t>::min()}) {
        Bytes file = good;
        putI32(file, 0, v);
        expectRefused(file, "Not a Tilewright project file (record length " + std::to_string(v) + ")",
                      "record length " + std::to_string(v));
    }
}

TEST_F(DamagedProjectFile, BadBlockLengthsAreStreamReadErrors)
{
    struct Row {
        const char* what;
        std::int64_t s1, s2;
    };
    const auto fitS1 = static_cast<std::int64_t>(good.size() - 13086880 - s2);
    const std::vector<Row> rows = {
        {"S1 negative", -1, static_cast<std::int64_t>(s2)},
        {"S2 negative", static_cast<std::int64_t>(s1), -1},
        {"S1 most negative", std::numeric_limits<std::int32_t>::min(), static_cast<std::int64_t>(s2)},
        {"S1 huge", std::numeric_limits<std::int32_t>::max(), static_cast<std::int64_t>(s2)},
        {"S2 huge", static_cast<std::int64_t>(s1), std::numeric_limits<std::int32_t>::max()},
        {"both huge", std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max()},
        {"S1 one past the data", fitS1 + 1, static_cast<std::int64_t>(s2)},
        {"S2 one past the data", static_cast<std::int64_t>(s1), static_cast<std::int64_t>(s2) + 1},
    };
    for (const Row& row : rows) {
        Bytes file = good;
        putI32(file, 120, static_cast<std::int32_t>(row.s1));
        putI32(file, 124, static_cast<std::int32_t>(row.s2));
        expectRefused(file, "Stream read error", row.what);
    }
}

TEST_F(DamagedProjectFile, BrokenMainPictureIsNotAValidBitmap)
{
    struct Row {
        const char* what;
        std::size_t offset;
        std::uint8_t value;
    };
    for (Row row : {Row{"magic", 132, 'X'}, Row{"bit count", 132 + 28, 7}, Row{"header size", 132 + 14, 3}}) {
        Bytes file = good;
        file[row.offset] = row.value;
        expectRefused(file, "Bitmap image is not valid", row.what);
    }
    // A block length shorter than the picture cuts its pixels off.
    Bytes shortBlock = good;
    putI32(shortBlock, 120, static_cast<std::int32_t>(s1 - 10));
    expectRefused(shortBlock, "Bitmap image is not valid", "S1 shorter than the picture");
    Bytes tiny = good;
    putI32(tiny, 120, 2);
    expectRefused(tiny, "Bitmap image is not valid", "S1 of two bytes");
}

TEST_F(DamagedProjectFile, RecordThatCannotDescribeAMosaicIsRefused)
{
    struct Row {
        const char* what;
        std::size_t offset;  // file offset of the field
        std::int32_t value;
    };
    for (Row row : {Row{"cellsX beyond the grid", 56, 801}, Row{"cellsY negative", 60, -1},
                    Row{"cell width zero", 64, 0}, Row{"mosaic width not cells x size", 12, 999999},
                    Row{"800 cells across without the matching width", 56, 800}}) {
        SCOPED_TRACE(row.what);
        Bytes file = good;
        putI32(file, row.offset, row.value);
        std::string message = errorOf(file);
        EXPECT_NE(message, "<accepted>");
        EXPECT_NE(message, "Stream read error");
        const fs::path path = test::scratchDir("hostile_record") / "hostile.tw6";
        {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        }
        EXPECT_THROW(openProjectFile(*target, targetLib, path.string()), Error);
        EXPECT_TRUE(sameProjectState(*target, targetLib, *reference, referenceLib));
    }
}

TEST_F(DamagedProjectFile, MissingFileChangesNothing)
{
    EXPECT_THROW(openProjectFile(*target, targetLib, "/nonexistent/folder/x.tw6"), Error);
    EXPECT_TRUE(sameProjectState(*target, targetLib, *reference, referenceLib));
}

TEST_F(ProjectFileRoundTrip, PathSlotReadsZeroWhateverTheFileHolds)
{
    auto saved = sampleProject(3);
    CellPicLib lib = libraryOf(kLibrary);
    Bytes file = buildProjectFile(*saved, lib);
    for (std::int32_t slot : {0x12345678, -1, 1}) {
        putI32(file, 4, slot);
        auto contents = parseProjectFile(file);
        auto opened = sampleProject(9);
        opened->settings.mainImagePathSlot = 0xDEADBEEF;
        CellPicLib openedLib;
        restoreProject(*opened, openedLib, *contents);
        EXPECT_EQ(opened->settings.mainImagePathSlot, 0u) << "slot " << slot;
    }
}

TEST_F(DamagedProjectFile, IntactFileOpensAfterAllThat)
{
    // The fixture's good image really is accepted, so the refusals above are
    // caused by the damage alone.
    EXPECT_EQ(errorOf(good), "<accepted>");
}


// --- Opening as the Load command does it ---------------------------------------

// A created mosaic saved to a file, with real library photographs.
class OpenProject : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = test::makeGradientLibrary("open_project_lib", 6);
        source = test::makeProject(test::gridSettings(6, 4, 8, 8));
        source->MainImage = test::gradientPicture(48, 32, Bgr{10, 200, 40}, Bgr{250, 20, 120});
        NullObserver quiet;
        runCreation(*source, library, quiet);
        path = (test::scratchDir("open_project") / "saved.tw6").string();
        saveProjectFile(*source, library, path);

        // What is shown when the file is opened: another creation.
        shown = test::makeProject(test::gridSettings(3, 3, 8, 8));
        shown->MainImage = test::gradientPicture(24, 24, Bgr{0, 0, 0}, Bgr{255, 255, 255});
        shownLibrary = test::makeGradientLibrary("open_project_shown", 2);
        runCreation(*shown, shownLibrary, quiet);
        shown->viewOffsetX = 5;
        counts.clear();
        shownLibrary.onCountChanged = [this](std::size_t n) { counts.push_back(n); };
    }

    CellPicLib library, shownLibrary;
    std::unique_ptr<MosaicProject> source, shown;
    std::string path;
    std::vector<std::size_t> counts;
};

TEST_F(OpenProject, ReadingMovesTheGaugeThenTheStagesDrawAndEverythingIsSwappedIn)
{
    test::RecordingObserver observer;
    openProject(*shown, shownLibrary, path, observer);

    const std::vector<std::string> labels = {kJobOpening, kJobGrid, kJobRendering, kJobDone};
    EXPECT_EQ(observer.labels(), labels) << observer.transcript();
    // Reading: the gauge climbs to 100 with a pump after each step.
    const auto reading = observer.stageEvents(kJobOpening);
    std::vector<int> values;
    int pumps = 0;
    for (const auto& e : reading) {
        if (e.kind == test::RecordingObserver::Kind::Progress)
            values.push_back(e.value);
        pumps += e.kind == test::RecordingObserver::Kind::Pump;
    }
    ASSERT_GE(values.size(), 10u) << observer.transcript();
    EXPECT_EQ(values.front(), 0);
    EXPECT_EQ(values.back(), 100);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(pumps, static_cast<int>(values.size()) - 1);

    EXPECT_TRUE(test::samePicture(shown->MosaicImage, source->MosaicImage));
    EXPECT_TRUE(test::samePicture(shown->MainImage, source->MainImage));
    EXPECT_TRUE(shown->MosaicGrid == source->MosaicGrid);
    EXPECT_TRUE(shown->CellPicTable == source->CellPicTable);
    EXPECT_EQ(shown->settings.cellsX, 6);
    EXPECT_EQ(shownLibrary.entries(), library.entries());
    EXPECT_EQ(counts, std::vector<std::size_t>{library.count()});
    EXPECT_EQ(shown->mainImagePath, path);
    EXPECT_EQ(shown->projectState, ProjectState::Mosaic);
    EXPECT_EQ(shown->viewOffsetX, 0);
}

TEST_F(OpenProject, FailureAnywhereLeavesProjectAndLibraryAsTheyWere)
{
    struct Row {
        const char* what;
        std::function<void()> spoil;
        const char* message;  // start of the error text
    };
    const Row rows[] = {
        {"a library photograph moved away", [&] { fs::remove(library.entry(2)); }, "Cannot open file"},
        {"the file cut short", [&] { fs::resize_file(path, 13000000); }, "Stream read error"},
        {"a record that cannot describe a mosaic",
         [&] {
             Bytes file = readWholeFile(path);
             putI32(file, 4 + 52, 900);  // cellsX beyond the grid
             writeFileAtomic(path, file);
         },
         "Cells across"},
    };
    for (const Row& row : rows) {
        SetUp();
        auto reference = test::makeProject(shown->settings);
        reference->mainImagePath = shown->mainImagePath;
        reference->MainImage = shown->MainImage;
        reference->CellPicTable = shown->CellPicTable;
        reference->MosaicGrid = shown->MosaicGrid;
        const Picture mosaic = shown->MosaicImage, grid = shown->GridImage;
        CellPicLib referenceLibrary = libraryOf(shownLibrary.entries());
        row.spoil();
        NullObserver quiet;
        try {
            openProject(*shown, shownLibrary, path, quiet);
            ADD_FAILURE() << row.what << ": opened";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(row.message, 0), 0u) << row.what << ": " << e.what();
        }
        EXPECT_TRUE(sameProjectState(*shown, shownLibrary, *reference, referenceLibrary)) << row.what;
        EXPECT_TRUE(test::samePicture(shown->MosaicImage, mosaic)) << row.what;
        EXPECT_TRUE(test::samePicture(shown->GridImage, grid)) << row.what;
        EXPECT_EQ(shown->viewOffsetX, 5) << row.what;
        EXPECT_TRUE(counts.empty()) << row.what << ": the library was replaced";
    }
}

TEST_F(OpenProject, LibraryLongerThanTheTableOpens)
{
    // Opening repeats no matching, so a list longer than the signature table
    // is no reason to refuse the file.
    CellPicLib longList = libraryOf(library.entries());
    for (std::size_t i = longList.count(); i < 10300; ++i)
        longList.append("/nonexistent/extra" + std::to_string(i) + ".jpg");
    saveProjectFile(*source, longList, path);
    NullObserver quiet;
    openProject(*shown, shownLibrary, path, quiet);
    EXPECT_EQ(shownLibrary.count(), 10300u);
    EXPECT_TRUE(test::samePicture(shown->MosaicImage, source->MosaicImage));
}

} // namespace
} // namespace tw
