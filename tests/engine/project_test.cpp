#include "engine/project.h"

#include "engine_fixtures.h"
#include "imaging/bmp.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"
#include "platform/files.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <fstream>

namespace tw {
namespace {

using test::makeProject;

std::uint32_t le32(const std::uint8_t* b, std::size_t at)
{
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

std::uint64_t le64(const std::uint8_t* b, std::size_t at)
{
    return std::uint64_t{le32(b, at)} | std::uint64_t{le32(b, at + 4)} << 32;
}

// A record where every field holds a distinct value, so a field written to
// the wrong place shows up.
tmosaicproject distinctRecord()
{
    tmosaicproject r;
    r.mainImagePathSlot = 0xDEADBEEF;
    r.cropMain = 1;
    r.pad5[0] = 0x55;
    r.pad5[2] = 0x66;
    r.mosaicWidth = 1536;
    r.mosaicHeight = -1200;
    r.widthInch = 21.333333333333332;
    r.heightInch = 16.5;
    r.widthCm = 54.18666666666667;
    r.heightCm = -0.25;
    r.dpi = 72;
    r.cellsX = 48;
    r.cellsY = 37;
    r.cellWidth = 32;
    r.cellHeight = 0x12345678;
    r.renderMode = RenderMode::Standard;
    r.stitchMode = StitchMode::Brick;
    r.randomLevel = 4;
    r.colorEnhance = 55;
    r.useAllPhotos = 1;
    r.cropCell = 0;
    r.monoCell = 1;
    r.allowHFlip = 0;
    r.allowVFlip = 1;
    r.pad89[1] = 0x77;
    r.repeatRadius = 9;
    r.limitRepeat = 1;
    r.pad97[0] = 0x88;
    r.maxRepeat = 999;
    r.repeatLimitOff = 1;
    r.pad105[2] = 0x99;
    r.borderSize = 20;
    r.borderColor = 0x00C08040;
    r.mainImageStreamSize = 123456;
    r.libraryListStreamSize = -7;
    r.unused = 0xA1B2C3D4;
    return r;
}

TEST(EncodeRecord, FieldsLandAtTheirFileOffsetsLittleEndian)
{
    std::array<std::uint8_t, kRecordSize> b{};
    b.fill(0xCC);
    encodeRecord(distinctRecord(), b.data());
    const tmosaicproject r = distinctRecord();

    struct Word { std::size_t offset; std::uint32_t value; };
    const Word words[] = {
        {0, 0},  // the path slot carries no information
        {8, 1536}, {12, std::uint32_t(-1200)}, {48, 72}, {52, 48}, {56, 37}, {60, 32}, {64, 0x12345678},
        {68, 2}, {72, 3}, {76, 4}, {80, 55}, {92, 9}, {100, 999}, {108, 20}, {112, 0x00C08040},
        {116, 123456}, {120, std::uint32_t(-7)}, {124, 0xA1B2C3D4},
    };
    for (const Word& w : words)
        EXPECT_EQ(le32(b.data(), w.offset), w.value) << "offset " << w.offset;

    struct Real { std::size_t offset; double value; };
    const Real reals[] = {{16, r.widthInch}, {24, r.heightInch}, {32, r.widthCm}, {40, r.heightCm}};
    for (const Real& d : reals)
        EXPECT_EQ(le64(b.data(), d.offset), std::bit_cast<std::uint64_t>(d.value)) << "offset " << d.offset;

    struct Flag { std::size_t offset; std::uint8_t value; };
    const Flag flags[] = {{4, 1}, {84, 1}, {85, 0}, {86, 1}, {87, 0}, {88, 1}, {96, 1}, {104, 1}};
    for (const Flag& f : flags)
        EXPECT_EQ(b[f.offset], f.value) << "offset " << f.offset;

    // Padding is written as zero whatever the record held.
    for (std::size_t pad : {5u, 6u, 7u, 89u, 90u, 91u, 97u, 98u, 99u, 105u, 106u, 107u})
        EXPECT_EQ(b[pad], 0) << "padding byte " << pad;
}

TEST(EncodeRecord, ByteOrderDoesNotDependOnTheMachine)
{
    tmosaicproject r;
    r.cellsX = 0x01020304;
    std::array<std::uint8_t, kRecordSize> b{};
    encodeRecord(r, b.data());
    EXPECT_EQ(b[52], 0x04);
    EXPECT_EQ(b[53], 0x03);
    EXPECT_EQ(b[54], 0x02);
    EXPECT_EQ(b[55], 0x01);
}

TEST(DecodeRecord, RoundTripKeepsEveryStoredField)
{
    const tmosaicproject in = distinctRecord();
    std::array<std::uint8_t, kRecordSize> b{};
    encodeRecord(in, b.data());
    const tmosaicproject out = decodeRecord(b.data());

    EXPECT_EQ(out.mainImagePathSlot, 0u);
    EXPECT_EQ(out.cropMain, in.cropMain);
    EXPECT_EQ(out.mosaicWidth, in.mosaicWidth);
    EXPECT_EQ(out.mosaicHeight, in.mosaicHeight);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(out.widthInch), std::bit_cast<std::uint64_t>(in.widthInch));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(out.heightInch), std::bit_cast<std::uint64_t>(in.heightInch));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(out.widthCm), std::bit_cast<std::uint64_t>(in.widthCm));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(out.heightCm), std::bit_cast<std::uint64_t>(in.heightCm));
    EXPECT_EQ(out.dpi, in.dpi);
    EXPECT_EQ(out.cellsX, in.cellsX);
    EXPECT_EQ(out.cellsY, in.cellsY);
    EXPECT_EQ(out.cellWidth, in.cellWidth);
    EXPECT_EQ(out.cellHeight, in.cellHeight);
    EXPECT_EQ(out.renderMode, in.renderMode);
    EXPECT_EQ(out.stitchMode, in.stitchMode);
    EXPECT_EQ(out.randomLevel, in.randomLevel);
    EXPECT_EQ(out.colorEnhance, in.colorEnhance);
    EXPECT_EQ(out.useAllPhotos, in.useAllPhotos);
    EXPECT_EQ(out.cropCell, in.cropCell);
    EXPECT_EQ(out.monoCell, in.monoCell);
    EXPECT_EQ(out.allowHFlip, in.allowHFlip);
    EXPECT_EQ(out.allowVFlip, in.allowVFlip);
    EXPECT_EQ(out.repeatRadius, in.repeatRadius);
    EXPECT_EQ(out.limitRepeat, in.limitRepeat);
    EXPECT_EQ(out.maxRepeat, in.maxRepeat);
    EXPECT_EQ(out.repeatLimitOff, in.repeatLimitOff);
    EXPECT_EQ(out.borderSize, in.borderSize);
    EXPECT_EQ(out.borderColor, in.borderColor);
    EXPECT_EQ(out.mainImageStreamSize, in.mainImageStreamSize);
    EXPECT_EQ(out.libraryListStreamSize, in.libraryListStreamSize);
    EXPECT_EQ(out.unused, in.unused);

    // Encoding the decoded record reproduces the same bytes.
    std::array<std::uint8_t, kRecordSize> again{};
    encodeRecord(out, again.data());
    EXPECT_EQ(again, b);
}

TEST(DecodeRecord, TakesPathSlotPaddingAndOddFlagBytesAsTheyStand)
{
    std::array<std::uint8_t, kRecordSize> b{};
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(i * 3 + 1);
    const tmosaicproject r = decodeRecord(b.data());
    EXPECT_EQ(r.mainImagePathSlot, le32(b.data(), 0));
    EXPECT_EQ(r.pad5[1], b[6]);
    EXPECT_EQ(r.pad89[2], b[91]);
    EXPECT_EQ(r.pad105[0], b[105]);
    EXPECT_EQ(r.useAllPhotos, b[84]);  // any nonzero value counts as set
    EXPECT_EQ(static_cast<std::int32_t>(r.renderMode), static_cast<std::int32_t>(le32(b.data(), 68)));
    EXPECT_EQ(r.unused, le32(b.data(), 124));
}

TEST(RandomSource, FirstValuesFromSeedZero)
{
    Random random;
    EXPECT_EQ(random.seed(), 0u);
    EXPECT_EQ(random(100), 0u);
    EXPECT_EQ(random.seed(), 1u);
    EXPECT_EQ(random(100), 3u);
    EXPECT_EQ(random.seed(), 134775814u);
    EXPECT_EQ(random(100), 86u);
    EXPECT_EQ(random.seed(), 3698175007u);
    EXPECT_EQ(random(2147483647), 435039309u);
    EXPECT_EQ(random(2147483647), 586093958u);
    EXPECT_EQ(random.seed(), 1172187917u);
}

TEST(RandomSource, SeedFollowsTheRecurrenceAndResultsStayBelowN)
{
    Random random;
    std::uint32_t seed = 0;
    for (int i = 0; i < 10000; ++i) {
        const std::int32_t n = 1 + i % 977;
        const std::uint32_t v = random(n);
        seed = seed * 134775813u + 1u;
        ASSERT_EQ(random.seed(), seed) << "call " << i;
        ASSERT_LT(v, static_cast<std::uint32_t>(n)) << "call " << i;
        ASSERT_EQ(v, static_cast<std::uint32_t>((std::uint64_t{static_cast<std::uint32_t>(n)} * seed) >> 32));
    }
}

TEST(RandomSource, ZeroRangeGivesZeroButStillAdvances)
{
    Random random;
    EXPECT_EQ(random(0), 0u);
    EXPECT_EQ(random(0), 0u);
    EXPECT_EQ(random.seed(), 134775814u);
}

TEST(ProjectStores, ComparisonSeesAOneByteDifferenceAnywhere)
{
    auto a = makeProject(), b = makeProject();
    EXPECT_TRUE(a->MosaicGrid == b->MosaicGrid);
    EXPECT_TRUE(a->CellPicTable == b->CellPicTable);

    b->MosaicGrid.at(799, 799).pad = 1;  // last cell, padding byte
    EXPECT_FALSE(a->MosaicGrid == b->MosaicGrid);
    b->MosaicGrid.at(799, 799).pad = 0;
    b->MosaicGrid.at(3, 5).vFlip = 1;
    EXPECT_FALSE(a->MosaicGrid == b->MosaicGrid);

    b->CellPicTable[kTableSize - 1].reserved = 1;
    EXPECT_FALSE(a->CellPicTable == b->CellPicTable);
    b->CellPicTable[kTableSize - 1].reserved = 0;
    b->CellPicTable[0].signature.c[Mean].luma = 9;
    EXPECT_FALSE(a->CellPicTable == b->CellPicTable);
}

TEST(ProjectState, NothingIsPlacedBeforeAnyCreation)
{
    MosaicProject project;
    EXPECT_EQ(project.projectState, ProjectState::Empty);
    for (std::size_t i = 0; i < project.MosaicGrid.size(); ++i)
        ASSERT_EQ(project.MosaicGrid.data()[i].placed, 0) << "cell " << i;
    EXPECT_EQ(project.MosaicGrid.size(), std::size_t{kGridSize} * kGridSize);
    EXPECT_EQ(project.CellPicTable.size(), std::size_t{kTableSize});
    // Column-major layout: cell (x, y) is element x * 800 + y.
    EXPECT_EQ(&project.MosaicGrid.at(2, 5), project.MosaicGrid.data() + 2 * 800 + 5);
}

class InitEngineTest : public ::testing::Test {
protected:
    void TearDown() override { setProgramFolderForTesting(""); }
};

TEST_F(InitEngineTest, SetsViewFieldsEmptiesPicturesAndReadsTheDefaultList)
{
    const auto dir = test::scratchDir("engine_init");
    {
        std::ofstream list(dir / kDefaultListName, std::ios::binary);
        list << "C:\\pics\\a.bmp\r\n/home/u/b.jpg\r\n";
    }
    setProgramFolderForTesting(dir.string());

    auto project = makeProject();
    project->viewScale = 8;
    project->viewOffsetX = 40;
    project->viewOffsetY = 50;
    project->toolMode = ToolMode::ChangeCell;
    project->MainImage = test::solidPicture(4, 4, Bgr{1, 2, 3});
    project->MosaicImage = test::solidPicture(4, 4, Bgr{1, 2, 3});
    CellPicLib library;
    initEngine(*project, library);

    EXPECT_EQ(project->viewScale, 1);
    EXPECT_EQ(project->viewOffsetX, 0);
    EXPECT_EQ(project->viewOffsetY, 0);
    EXPECT_EQ(project->toolMode, ToolMode::Hand);
    EXPECT_TRUE(project->MainImage.empty());
    EXPECT_TRUE(project->GridImage.empty());
    EXPECT_TRUE(project->MosaicImage.empty());
    EXPECT_TRUE(project->CellScratch.empty());
    ASSERT_EQ(library.count(), 2u);
    EXPECT_EQ(library.entry(0), "C:\\pics\\a.bmp");
    EXPECT_EQ(library.entry(1), "/home/u/b.jpg");
}

TEST(LoadMainImage, ReadsThePictureNamedByThePath)
{
    const auto dir = test::scratchDir("engine_load_main");
    const Picture picture = test::coordinatePicture(7, 5);
    auto project = makeProject();
    project->mainImagePath = test::writePictureFile(dir, "main", picture);
    loadMainImage(*project);
    EXPECT_TRUE(test::samePicture(project->MainImage, picture));
}

TEST(LoadMainImage, MissingFileThrowsAndKeepsThePreviousPicture)
{
    const auto dir = test::scratchDir("engine_load_main_missing");
    auto project = makeProject();
    const Picture before = test::coordinatePicture(3, 2);
    project->MainImage = before;
    project->mainImagePath = (dir / "absent.bmp").string();
    EXPECT_THROW(loadMainImage(*project), Error);
    EXPECT_TRUE(test::samePicture(project->MainImage, before));
}

TEST(CheckGridDimensions, RefusesCellCountsOutsideTheGrid)
{
    struct Row { int cellsX, cellsY; bool ok; const char* fragment; };
    const Row rows[] = {
        {0, 0, true, ""},       {8, 8, true, ""},         {64, 64, true, ""},
        {800, 800, true, ""},   {801, 8, false, "801"},   {8, 801, false, "cellsY"},
        {-1, 8, false, "cellsX"}, {8, -2147483647 - 1, false, "-2147483648"},
    };
    for (const Row& r : rows) {
        tmosaicproject s = test::gridSettings(8, 8);
        s.cellsX = r.cellsX;
        s.cellsY = r.cellsY;
        if (r.ok) {
            EXPECT_NO_THROW(checkGridDimensions(s)) << r.cellsX << " x " << r.cellsY;
        } else {
            try {
                checkGridDimensions(s);
                ADD_FAILURE() << "accepted " << r.cellsX << " x " << r.cellsY;
            } catch (const Error& e) {
                EXPECT_NE(std::string(e.what()).find(r.fragment), std::string::npos) << e.what();
            }
        }
    }
}

} // namespace
} // namespace tw
