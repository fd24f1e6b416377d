#include "workspace/usage_lists.h"

#include "library/cell_pic_lib.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tw {
namespace {

std::unique_ptr<MosaicProject> projectWithGrid(int cellsX, int cellsY, std::int32_t fill = -1)
{
    auto p = std::make_unique<MosaicProject>();
    p->settings.cellsX = cellsX;
    p->settings.cellsY = cellsY;
    for (int x = 0; x < cellsX && x < kGridSize; ++x)
        for (int y = 0; y < cellsY && y < kGridSize; ++y)
            p->MosaicGrid.at(x, y).picture = fill;
    return p;
}

// The lists as the straightforward scan builds them: every name, every cell.
std::vector<std::string> referenceDetail(const MosaicProject& p, const std::vector<std::string>& names)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string s = names[i] + " POSITIONS: ";
        int n = 0;
        for (int x = 0; x < p.settings.cellsX; ++x)
            for (int y = 0; y < p.settings.cellsY; ++y)
                if (p.MosaicGrid.at(x, y).picture == static_cast<std::int32_t>(i)) {
                    s += " x:" + std::to_string(x + 1) + " y:" + std::to_string(y + 1) + "  ||  ";
                    ++n;
                }
        if (n > 0)
            lines.push_back(s + "  Total used time:" + std::to_string(n));
    }
    return lines;
}

TEST(UsageLists, WorkedExampleGivesExactDetailAndSimpleLines)
{
    auto p = projectWithGrid(3, 2);
    p->MosaicGrid.at(0, 1).picture = 1;
    p->MosaicGrid.at(2, 0).picture = 1;
    const std::vector<std::string> names = {"unused.jpg", "beach.jpg"};
    EXPECT_EQ(detailUsageList(*p, names),
              std::vector<std::string>{"beach.jpg POSITIONS:  x:1 y:2  ||   x:3 y:1  ||    Total used time:2"});
    EXPECT_EQ(simpleUsageList(*p, names), std::vector<std::string>{"beach.jpgTotal used time:2"});
}

TEST(UsageLists, PositionsComeColumnByColumnTopToBottom)
{
    auto p = projectWithGrid(2, 3, 0);
    const std::vector<std::string> names = {"a"};
    EXPECT_EQ(detailUsageList(*p, names),
              std::vector<std::string>{"a POSITIONS:  x:1 y:1  ||   x:1 y:2  ||   x:1 y:3  ||   x:2 y:1  ||   x:2 y:2  ||  "
                                       " x:2 y:3  ||    Total used time:6"});
}

TEST(UsageLists, PlacedFlagIsNotLookedAtAndCellsOutsideTheMosaicAreNot)
{
    auto p = projectWithGrid(2, 2);
    p->MosaicGrid.at(1, 1).picture = 0;
    p->MosaicGrid.at(1, 1).placed = 0;
    p->MosaicGrid.at(2, 0).picture = 0;  // column 2 is outside a 2-wide mosaic
    p->MosaicGrid.at(0, 5).picture = 0;
    EXPECT_EQ(simpleUsageList(*p, {"n"}), std::vector<std::string>{"nTotal used time:1"});
}

TEST(UsageLists, BeforeAnyCreationBothListsAreEmpty)
{
    auto p = std::make_unique<MosaicProject>();  // cellsX = cellsY = 0, every picture field 0
    EXPECT_TRUE(detailUsageList(*p, {"a", "b"}).empty());
    EXPECT_TRUE(simpleUsageList(*p, {"a", "b"}).empty());
}

TEST(UsageLists, EmptyNameListGivesNoLinesWhateverTheGrid)
{
    auto p = projectWithGrid(8, 8, 0);
    EXPECT_TRUE(detailUsageList(*p, {}).empty());
    EXPECT_TRUE(simpleUsageList(*p, {}).empty());
}

TEST(UsageLists, HostileCountsAndIndicesStayInsideTheGrid)
{
    auto p = std::make_unique<MosaicProject>();
    p->settings.cellsX = 5000;
    p->settings.cellsY = -3;
    EXPECT_TRUE(detailUsageList(*p, {"a"}).empty());
    p->settings.cellsX = 100000;
    p->settings.cellsY = 100000;
    p->MosaicGrid.at(799, 799).picture = 2;
    p->MosaicGrid.at(0, 0).picture = -5;
    std::vector<std::string> simple = simpleUsageList(*p, {"a", "b", "c"});
    ASSERT_EQ(simple.size(), 2u);
    EXPECT_EQ(simple[0], "aTotal used time:639998");
    EXPECT_EQ(simple[1], "cTotal used time:1");
}

TEST(UsageLists, OnePassGivesTheSameLinesAsScanningPerName)
{
    auto p = projectWithGrid(37, 23);
    std::uint32_t seed = 12345;
    for (int x = 0; x < 37; ++x)
        for (int y = 0; y < 23; ++y) {
            seed = seed * 1103515245u + 12345u;
            p->MosaicGrid.at(x, y).picture = static_cast<std::int32_t>((seed >> 16) % 60) - 5;
        }
    std::vector<std::string> names;
    for (int i = 0; i < 50; ++i)
        names.push_back("pic" + std::to_string(i) + ".jpg");
    EXPECT_EQ(detailUsageList(*p, names), referenceDetail(*p, names));
}

TEST(UsageNames, ShortNamesAreFileNamesAndLongNamesThePathsAsStored)
{
    CellPicLib lib;
    lib.replaceAll({"/home/me/a.jpg", "b.bmp", "", "/dir/"});
    EXPECT_EQ(usageNames(lib, true), (std::vector<std::string>{"a.jpg", "b.bmp", "", ""}));
    EXPECT_EQ(usageNames(lib, false), (std::vector<std::string>{"/home/me/a.jpg", "b.bmp", "", "/dir/"}));
}

TEST(UsageText, EveryLineEndsWithCrLf)
{
    Bytes text = linesToText({"one", "", "two"});
    EXPECT_EQ(std::string(text.begin(), text.end()), "one\r\n\r\ntwo\r\n");
    EXPECT_TRUE(linesToText({}).empty());
}

} // namespace
} // namespace tw
