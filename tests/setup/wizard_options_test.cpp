#include "setup/wizard_options.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tw {
namespace {

std::unique_ptr<MosaicProject> freshProject()
{
    return std::make_unique<MosaicProject>();
}

SizeFields grid(int cellsX, int cellsY)
{
    SizeFields f;
    f.cellsX = cellsX;
    f.cellsY = cellsY;
    return f;
}

WizardOptions limited(int maxRepeat)
{
    WizardOptions o;
    o.limitRepeat = true;
    o.maxRepeat = maxRepeat;
    return o;
}

struct RaiseCase {
    const char* name;
    bool limitRepeat;
    int maxRepeat, cellsX, cellsY;
    std::size_t files;
    int expected;
};

class RaiseRule : public ::testing::TestWithParam<RaiseCase> {};

TEST_P(RaiseRule, RaisesOnlyWhenTheLibraryIsTooSmall)
{
    const RaiseCase& c = GetParam();
    EXPECT_EQ(raisedMaxRepeat(c.limitRepeat, c.maxRepeat, c.cellsX, c.cellsY, c.files), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, RaiseRule,
    ::testing::Values(RaiseCase{"100 files 48x48", true, 10, 48, 48, 100, 28},
                      RaiseCase{"one file 64x64", true, 10, 64, 64, 1, 4916},
                      RaiseCase{"300 files is enough", true, 10, 48, 48, 300, 10},
                      RaiseCase{"20 files 48x48", true, 10, 48, 48, 20, 139},
                      RaiseCase{"unticked never raises", false, 10, 48, 48, 1, 10},
                      RaiseCase{"empty library never raises", true, 10, 48, 48, 0, 10},
                      RaiseCase{"exactly enough is not too small", true, 10, 48, 48, 231, 10},
                      RaiseCase{"one short of enough", true, 10, 48, 48, 230, 13},
                      RaiseCase{"huge library does not wrap", true, 999, 64, 64, 5000000, 999},
                      RaiseCase{"huge repeat with huge library does not wrap", true, 2147483647, 64, 64,
                                std::size_t{1} << 31, 2147483647}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// The rule raises only when files x max repeat falls short of the cells;
// exactly as many uses as cells is enough.
INSTANTIATE_TEST_SUITE_P(
    ExactlyAsManyUsesAsCells, RaiseRule,
    ::testing::Values(RaiseCase{"256 files x 9 = 48 x 48", true, 9, 48, 48, 256, 9},
                      RaiseCase{"255 files x 9 is one use short", true, 9, 48, 48, 255, 2764 / 255 + 1},
                      RaiseCase{"512 files x 8 = 64 x 64", true, 8, 64, 64, 512, 8},
                      RaiseCase{"64 files x 1 = 8 x 8", true, 1, 8, 8, 64, 1},
                      RaiseCase{"63 files x 1 is one use short", true, 1, 8, 8, 63, 76 / 63 + 1}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(CopyWizardOptions, BorderColourKeepsOnlyItsThreeColourBytes)
{
    struct Row {
        std::uint32_t chosen, stored;
    };
    const Row rows[] = {{0xAB123456u, 0x123456u}, {0xFF000000u, 0u}, {0x01FFFFFFu, 0xFFFFFFu}, {0x00804020u, 0x804020u}};
    for (const Row& row : rows) {
        auto project = freshProject();
        WizardOptions o;
        o.borderColor = row.chosen;
        const CopyResult r = copyWizardOptions(*project, SizeFields{}, o, 5, MemoryStatus{});
        EXPECT_EQ(project->settings.borderColor, row.stored) << std::hex << row.chosen;
        // The brief shows the colour value, never a negative number.
        EXPECT_EQ(r.brief.back(), "Border Color = " + std::to_string(row.stored)) << std::hex << row.chosen;
    }
}

TEST(CopyWizardOptions, RaisedValueIsKeptButTheFieldShowsAtMost999)
{
    auto project = freshProject();
    CopyResult r = copyWizardOptions(*project, grid(64, 64), limited(10), 1, MemoryStatus{});
    EXPECT_EQ(project->settings.maxRepeat, 4916);
    EXPECT_EQ(r.maxRepeatField, 999);
    // Running again with the field's value (the change handler) keeps the
    // same project value.
    CopyResult again = copyWizardOptions(*project, grid(64, 64), limited(r.maxRepeatField), 1, MemoryStatus{});
    EXPECT_EQ(project->settings.maxRepeat, 4916);
    EXPECT_EQ(again.maxRepeatField, 999);
}

TEST(CopyWizardOptions, SecondRunOfTheRaiseArrivesAtTheSameValue)
{
    auto project = freshProject();
    CopyResult first = copyWizardOptions(*project, SizeFields{}, limited(10), 20, MemoryStatus{});
    EXPECT_EQ(first.maxRepeatField, 139);
    CopyResult second = copyWizardOptions(*project, SizeFields{}, limited(first.maxRepeatField), 20, MemoryStatus{});
    EXPECT_EQ(second.maxRepeatField, 139);
    EXPECT_EQ(project->settings.maxRepeat, 139);
}

TEST(CopyWizardOptions, EveryOptionReachesTheRecord)
{
    auto project = freshProject();
    project->settings.repeatLimitOff = 1;
    WizardOptions o;
    o.renderMode = RenderMode::SelfMosaic;
    o.stitchMode = StitchMode::Brick;
    o.useAllPhotos = false;
    o.repeatRadius = 7;
    o.limitRepeat = false;
    o.maxRepeat = 12;
    o.randomLevel = 8;
    o.enhancePosition = 20;
    o.monoCell = true;
    o.cropCell = false;
    o.allowHFlip = false;
    o.allowVFlip = true;
    o.borderSize = 3;
    o.borderColor = 0x00FF8000;
    SizeFields size;
    size.cropMain = true;
    size.dpi = 300;
    CopyResult r = copyWizardOptions(*project, size, o, 5, MemoryStatus{});
    const tmosaicproject& s = project->settings;
    EXPECT_EQ(s.renderMode, RenderMode::SelfMosaic);
    EXPECT_EQ(s.stitchMode, StitchMode::Brick);
    EXPECT_EQ(s.useAllPhotos, 0);
    EXPECT_EQ(s.repeatRadius, 7);
    EXPECT_EQ(s.limitRepeat, 0);
    EXPECT_EQ(s.maxRepeat, 12);
    EXPECT_EQ(s.randomLevel, 8);
    EXPECT_EQ(s.colorEnhance, 100);
    EXPECT_EQ(s.monoCell, 1);
    EXPECT_EQ(s.cropCell, 0);
    EXPECT_EQ(s.allowHFlip, 0);
    EXPECT_EQ(s.allowVFlip, 1);
    EXPECT_EQ(s.borderSize, 3);
    EXPECT_EQ(s.borderColor, 0x00FF8000u);
    EXPECT_EQ(s.repeatLimitOff, 0);
    EXPECT_EQ(s.cropMain, 1);
    EXPECT_EQ(s.dpi, 300);
    EXPECT_EQ(s.mosaicWidth, 1536);
    EXPECT_EQ(r.sizeTexts.widthInch, "5.12 Inch");
    EXPECT_EQ(r.maxRepeatField, 12);
    EXPECT_EQ(r.borderSizeField, 3);
    EXPECT_EQ(r.brief, buildProjectBrief(*project, 5));
}

TEST(CopyWizardOptions, NegativeBorderIsStoredAsZero)
{
    auto project = freshProject();
    WizardOptions o;
    o.borderSize = -4;
    CopyResult r = copyWizardOptions(*project, SizeFields{}, o, 3, MemoryStatus{});
    EXPECT_EQ(project->settings.borderSize, 0);
    EXPECT_EQ(r.borderSizeField, 0);
    EXPECT_EQ(r.brief[13], "Border Size = 0");
}

TEST(CopyWizardOptions, DefaultsWithTwentyFilesGiveTheBrief)
{
    auto project = freshProject();
    project->mainImagePath = "/home/me/pictures/beach.jpg";
    CopyResult r = copyWizardOptions(*project, SizeFields{}, WizardOptions{}, 20, MemoryStatus{});
    const std::vector<std::string> expected = {
        "Project Brief",
        "--------File Info--------",
        "Source Image = beach.jpg",
        "Full Path = /home/me/pictures/beach.jpg",
        "Image Library 20 Files",
        "--------Size Info --------",
        "Cell Count : 48 x 48 = 2304 Cells",
        "Cell Size : 32 x 32 Pixels",
        "Final Size : 1536 x 1536 Pixels",
        "--------Option Info--------",
        "Minimum Repeat Radius = 4",
        "Randomize Level = 4",
        "Color Enhance = 50%",
        "Border Size = 0",
        "Border Color = 0",
    };
    EXPECT_EQ(r.brief, expected);
}

TEST(ProjectBrief, LimitRepeatAddsTheMaxRepeatLineAfterTheRadius)
{
    auto project = freshProject();
    project->mainImagePath = "main.bmp";
    CopyResult r = copyWizardOptions(*project, SizeFields{}, limited(10), 20, MemoryStatus{});
    ASSERT_EQ(r.brief.size(), 16u);
    EXPECT_EQ(r.brief[2], "Source Image = main.bmp");
    EXPECT_EQ(r.brief[3], "Full Path = main.bmp");
    EXPECT_EQ(r.brief[10], "Minimum Repeat Radius = 4");
    EXPECT_EQ(r.brief[11], "Max Repeat time for each file = 139");
    EXPECT_EQ(r.brief[12], "Randomize Level = 4");
}

TEST(ProjectBrief, BorderColourIsTheDecimalOfTheColourValue)
{
    struct Row {
        std::uint32_t colour;
        const char* line;
    };
    for (Row row : {Row{0x000000, "Border Color = 0"}, Row{0x0000FF, "Border Color = 255"},
                    Row{0xFF0000, "Border Color = 16711680"}, Row{0xFFFFFF, "Border Color = 16777215"}}) {
        auto project = freshProject();
        project->settings.borderColor = row.colour;
        auto brief = buildProjectBrief(*project, 0);
        EXPECT_EQ(brief.back(), row.line);
    }
}

TEST(ProjectBrief, EmptyPathAndEmptyLibraryStillGiveEveryLine)
{
    auto project = freshProject();
    auto brief = buildProjectBrief(*project, 0);
    ASSERT_EQ(brief.size(), 15u);
    EXPECT_EQ(brief[2], "Source Image = ");
    EXPECT_EQ(brief[3], "Full Path = ");
    EXPECT_EQ(brief[4], "Image Library 0 Files");
    EXPECT_EQ(brief[6], "Cell Count : 0 x 0 = 0 Cells");
}

} // namespace
} // namespace tw
