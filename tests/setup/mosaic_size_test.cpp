#include "setup/mosaic_size.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace tw {
namespace {

// MosaicProject holds 13 MB of table and grid; keep it off the stack.
std::unique_ptr<MosaicProject> freshProject()
{
    return std::make_unique<MosaicProject>();
}

SizeFields fields(int cellsX, int cellsY, int cellW, int cellH, int dpi, bool crop = false)
{
    SizeFields f;
    f.cellsX = cellsX;
    f.cellsY = cellsY;
    f.cellWidth = cellW;
    f.cellHeight = cellH;
    f.dpi = dpi;
    f.cropMain = crop;
    return f;
}

MemoryStatus memoryOf(std::uint64_t total, std::uint64_t avail = 0)
{
    return MemoryStatus{total, avail};
}

struct GeneralCase {
    double value;
    const char* text;
};
// Test names and reports show the expected text instead of the case's bytes.
void PrintTo(const GeneralCase& c, std::ostream* os) { *os << c.text; }

class GeneralFormat : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(GeneralFormat, ShortestTextWithoutTrailingZeros)
{
    EXPECT_EQ(formatGeneral(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, GeneralFormat,
                         ::testing::Values(GeneralCase{2133 * 0.01, "21.33"}, GeneralCase{2130 * 0.01, "21.3"},
                                           GeneralCase{2100 * 0.01, "21"}, GeneralCase{5 * 0.01, "0.05"},
                                           GeneralCase{13 * 0.01, "0.13"}, GeneralCase{1024 * 0.01, "10.24"},
                                           GeneralCase{2600 * 0.01, "26"}, GeneralCase{5418 * 0.01, "54.18"},
                                           GeneralCase{0.0, "0"}, GeneralCase{-0.0, "0"},
                                           GeneralCase{-222 * 0.01, "-2.22"}, GeneralCase{0.1 + 0.2, "0.3"},
                                           GeneralCase{123456789012345.0, "123456789012345"},
                                           GeneralCase{1e20, "1E20"}, GeneralCase{0.00002, "0.00002"},
                                           GeneralCase{1.5e-6, "1.5E-6"}, GeneralCase{1.0 / 3.0, "0.333333333333333"}));

struct FixedCase {
    double value;
    const char* text;
};
void PrintTo(const FixedCase& c, std::ostream* os) { *os << c.text; }

class FixedFormat : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedFormat, TwoDecimalsRoundedHalfAwayFromZero)
{
    EXPECT_EQ(formatFixed2(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, FixedFormat,
                         ::testing::Values(FixedCase{6.75, "6.75"}, FixedCase{0.01171875, "0.01"},
                                           FixedCase{512.0, "512.00"}, FixedCase{27.0, "27.00"},
                                           FixedCase{0.125, "0.13"},    // an exact tie goes up, not to even
                                           FixedCase{0.375, "0.38"}, FixedCase{2.5e-3, "0.00"},
                                           FixedCase{0.005, "0.01"},    // binary value just above the tie
                                           FixedCase{2.675, "2.67"},    // binary value just below the tie
                                           FixedCase{9.995, "9.99"}, FixedCase{99.999, "100.00"},
                                           FixedCase{999.995000001, "1000.00"}, FixedCase{-0.125, "-0.13"},
                                           FixedCase{-0.001, "0.00"}, FixedCase{0.0, "0.00"},
                                           FixedCase{1e18, "1000000000000000000.00"}));

TEST(FixedFormat, UsesTheGivenDecimalSeparator)
{
    EXPECT_EQ(formatFixed2(6.75, ','), "6,75");
    EXPECT_EQ(formatGeneral(21.33, ','), "21,33");
    EXPECT_EQ(formatGeneral(21.0, ','), "21");
}

TEST(ComputeMosaicSize, DefaultFieldsGiveTheWorkedValues)
{
    auto project = freshProject();
    SizeTexts t = computeMosaicSize(*project, SizeFields{}, memoryOf(536870912, 1000));
    const tmosaicproject& r = project->settings;
    EXPECT_EQ(r.cellsX, 48);
    EXPECT_EQ(r.cellsY, 48);
    EXPECT_EQ(r.cellWidth, 32);
    EXPECT_EQ(r.cellHeight, 32);
    EXPECT_EQ(r.dpi, 72);
    EXPECT_EQ(r.mosaicWidth, 1536);
    EXPECT_EQ(r.mosaicHeight, 1536);
    EXPECT_EQ(r.widthInch, 2133 * 0.01);
    EXPECT_EQ(r.heightInch, 2133 * 0.01);
    EXPECT_EQ(r.widthCm, 5418 * 0.01);
    EXPECT_EQ(r.heightCm, 5418 * 0.01);
    EXPECT_EQ(r.cropMain, 0);
    EXPECT_EQ(t.widthPixels, "1536 Pixels");
    EXPECT_EQ(t.heightPixels, "1536 Pixels");
    EXPECT_EQ(t.widthInch, "21.33 Inch");
    EXPECT_EQ(t.heightInch, "21.33 Inch");
    EXPECT_EQ(t.widthCm, "54.18 CM");
    EXPECT_EQ(t.heightCm, "54.18 CM");
    EXPECT_EQ(t.mosaicAspect, std::optional<std::string>("Aspect Ratio of final mosaic : 100 / 100"));
    EXPECT_FALSE(t.mainAspect.has_value());  // no main picture: the label keeps its text
    EXPECT_EQ(t.memoryNeeded, "You need 6.75 MB memory to create this project.");
    EXPECT_EQ(t.memoryInstalled, "Your Computer has 512.00MB Memory Installed.  ");
    EXPECT_EQ(project->physMemTotal, 536870912u);
    EXPECT_EQ(project->physMemAvail, 1000u);
}

struct SizeCase {
    const char* name;
    SizeFields f;
    const char* widthInch;
    const char* widthCm;
    const char* heightInch;
    const char* heightCm;
    const char* aspect;
    const char* need;
};

class SizeTable : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeTable, TruncatedHundredthsAndMemoryNeed)
{
    const SizeCase& c = GetParam();
    auto project = freshProject();
    SizeTexts t = computeMosaicSize(*project, c.f, memoryOf(0));
    EXPECT_EQ(t.widthInch, c.widthInch) << c.name;
    EXPECT_EQ(t.widthCm, c.widthCm) << c.name;
    EXPECT_EQ(t.heightInch, c.heightInch) << c.name;
    EXPECT_EQ(t.heightCm, c.heightCm) << c.name;
    EXPECT_EQ(t.mosaicAspect.value_or("<none>"), c.aspect) << c.name;
    EXPECT_EQ(t.memoryNeeded, std::string("You need ") + c.need + " MB memory to create this project.") << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SizeTable,
    ::testing::Values(
        SizeCase{"tiny at 1200 dpi", fields(8, 8, 8, 8, 1200), "0.05 Inch", "0.13 CM", "0.05 Inch", "0.13 CM",
                 "Aspect Ratio of final mosaic : 100 / 100", "0.01"},
        SizeCase{"largest wizard grid", fields(64, 64, 48, 48, 72), "42.66 Inch", "108.37 CM", "42.66 Inch",
                 "108.37 CM", "Aspect Ratio of final mosaic : 100 / 100", "27.00"},
        SizeCase{"wide mosaic", fields(48, 32, 32, 32, 72), "21.33 Inch", "54.18 CM", "14.22 Inch", "36.12 CM",
                 "Aspect Ratio of final mosaic : 66 / 100", "4.50"},
        SizeCase{"300 dpi 3072 pixels", fields(64, 64, 48, 48, 300), "10.24 Inch", "26 CM", "10.24 Inch", "26 CM",
                 "Aspect Ratio of final mosaic : 100 / 100", "27.00"},
        SizeCase{"zero dpi does not divide", fields(48, 48, 32, 32, 0), "0 Inch", "0 CM", "0 Inch", "0 CM",
                 "Aspect Ratio of final mosaic : 100 / 100", "6.75"},
        SizeCase{"negative dpi does not divide", fields(48, 48, 32, 32, -5), "0 Inch", "0 CM", "0 Inch", "0 CM",
                 "Aspect Ratio of final mosaic : 100 / 100", "6.75"},
        SizeCase{"typed zero cells keep the aspect label", fields(0, 48, 32, 32, 72), "0 Inch", "0 CM",
                 "21.33 Inch", "54.18 CM", "<none>", "0.00"},
        SizeCase{"typed negative cells", fields(-5, 8, 32, 8, 72), "-2.22 Inch", "-5.64 CM", "0.88 Inch",
                 "2.25 CM", "<none>", "-0.03"},
        SizeCase{"typed three-digit counts", fields(999, 999, 999, 999, 30), "33266.7 Inch", "84497.41 CM",
                 "33266.7 Inch", "84497.41 CM", "Aspect Ratio of final mosaic : 100 / 100", "2849596.01"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ComputeMosaicSize, ThreeHundredDpiStoresTruncatedHundredths)
{
    auto project = freshProject();
    computeMosaicSize(*project, fields(64, 8, 48, 8, 300), memoryOf(0));
    EXPECT_EQ(project->settings.mosaicWidth, 3072);
    EXPECT_EQ(project->settings.widthInch, 1024 * 0.01);
    EXPECT_EQ(project->settings.widthCm, 2600 * 0.01);
    // 64 * 254 div 300 = 54, not 54.19 rounded.
    EXPECT_EQ(project->settings.heightCm, 54 * 0.01);
}

TEST(ComputeMosaicSize, ZeroDpiLeavesInchAndCentimetreFieldsAtZero)
{
    auto project = freshProject();
    project->settings.widthInch = 99;
    computeMosaicSize(*project, fields(48, 48, 32, 32, 0), memoryOf(0));
    EXPECT_EQ(project->settings.widthInch, 0.0);
    EXPECT_EQ(project->settings.heightCm, 0.0);
    EXPECT_EQ(project->settings.dpi, 0);
}

TEST(ComputeMosaicSize, MainPictureAspectComesFromMainImage)
{
    auto project = freshProject();
    project->MainImage.resize(640, 480);
    SizeTexts t = computeMosaicSize(*project, SizeFields{}, memoryOf(0));
    EXPECT_EQ(t.mainAspect, std::optional<std::string>("Aspect Ratio of main image : 75 / 100"));
    project->MainImage.resize(3, 1000);
    t = computeMosaicSize(*project, SizeFields{}, memoryOf(0));
    EXPECT_EQ(t.mainAspect, std::optional<std::string>("Aspect Ratio of main image : 33333 / 100"));
}

TEST(ComputeMosaicSize, CropChoiceAndMemoryAreStored)
{
    auto project = freshProject();
    computeMosaicSize(*project, fields(8, 8, 8, 8, 72, true), memoryOf(1048576 * 3 / 2, 7));
    EXPECT_EQ(project->settings.cropMain, 1);
    EXPECT_EQ(project->physMemTotal, 1048576u * 3 / 2);
    computeMosaicSize(*project, fields(8, 8, 8, 8, 72, false), memoryOf(0));
    EXPECT_EQ(project->settings.cropMain, 0);
}

TEST(ComputeMosaicSize, InstalledMemoryTextHasNoBlankBeforeMbAndTwoAfter)
{
    auto project = freshProject();
    SizeTexts t = computeMosaicSize(*project, SizeFields{}, memoryOf(8589934592ull + 5 * 10486ull));
    EXPECT_EQ(t.memoryInstalled, "Your Computer has 8192.05MB Memory Installed.  ");
    t = computeMosaicSize(*project, SizeFields{}, memoryOf(536870912), ',');
    EXPECT_EQ(t.memoryInstalled, "Your Computer has 512,00MB Memory Installed.  ");
    EXPECT_EQ(t.widthInch, "21,33 Inch");
    EXPECT_EQ(t.memoryNeeded, "You need 6,75 MB memory to create this project.");
}

} // namespace
} // namespace tw
