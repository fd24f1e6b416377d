// The matcher's bulk distances against matchDistance, and the short lists
// against a plain sort of every distance.
#include "engine/match_distances.h"

#include "engine/grid.h"
#include "engine/matching.h"
#include "engine_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace tw {
namespace {

struct Noise {
    std::uint32_t state;
    std::uint8_t next()
    {
        state = state * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(state >> 16);
    }
    // Mostly any byte, often an extreme, so clamps and large shifts occur.
    std::uint8_t byte()
    {
        const std::uint8_t kind = next() % 8;
        return kind == 0 ? 0 : kind == 1 ? 255 : next();
    }
    Bgr colour() { return Bgr{byte(), byte(), byte()}; }
};

std::vector<ColorSignature> randomSignatures(int n, std::uint32_t seed)
{
    Noise noise{seed};
    std::vector<ColorSignature> out;
    for (int i = 0; i < n; ++i)
        out.push_back(test::signatureOf(noise.colour(), noise.colour(), noise.colour(), noise.colour()));
    return out;
}

ColourColumns columnsOf(const std::vector<ColorSignature>& items)
{
    ColourColumns columns(static_cast<int>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
        columns.set(static_cast<int>(i), items[i]);
    return columns;
}

// Ranges that start and end inside vectors and in the scalar tails.
struct Range {
    int first, last;
};
const Range kRanges[] = {{0, 67}, {1, 66}, {5, 5}, {7, 24}, {16, 48}, {33, 34}, {60, 67}};

// Every vector unit this processor has (the plain form always).
std::vector<std::pair<const char*, BulkVectors>> units()
{
    std::vector<std::pair<const char*, BulkVectors>> out;
    for (auto unit : {std::pair{"plain", BulkVectors::Plain}, std::pair{"SSE2", BulkVectors::Sse2},
                      std::pair{"AVX2", BulkVectors::Avx2}})
        if (bulkVectorsAvailable(unit.second))
            out.push_back(unit);
    return out;
}

TEST(BulkDistances, PhotosMatchMatchDistanceForEveryEnhanceRangeAndUnit)
{
    const std::vector<ColorSignature> photos = randomSignatures(67, 3);
    const ColourColumns columns = columnsOf(photos);
    const std::vector<ColorSignature> samples = randomSignatures(12, 4);
    std::vector<std::uint16_t> got(80), best(80);
    for (const auto& [name, unit] : units())
        for (int enhance = 0; enhance <= 100; ++enhance)
            for (const ColorSignature& sample : samples)
                for (const Range& r : kRanges) {
                    distancesToPhotosWith(unit, columns, r.first, r.last, sample, enhance, got.data());
                    distancesToPhotos(columns, r.first, r.last, sample, enhance, best.data());
                    for (int i = r.first; i < r.last; ++i) {
                        const int expected =
                            matchDistance(photos[std::size_t(i)], sample, enhance, false, false).distance;
                        ASSERT_EQ(got[std::size_t(i - r.first)], expected)
                            << name << " photo " << i << " enhance " << enhance;
                        ASSERT_EQ(best[std::size_t(i - r.first)], expected) << "photo " << i << " enhance " << enhance;
                    }
                }
}

// Every mean difference with every enhance: the vector division by 100
// must truncate toward zero exactly where the plain one does.
TEST(BulkDistances, ShiftDivisionIsExactForEveryMeanDifference)
{
    std::vector<ColorSignature> photos;
    for (int m = 0; m < 256; ++m) {
        const auto v = static_cast<std::uint8_t>(m);
        ColorSignature s = test::uniformSignature(Bgr{v, static_cast<std::uint8_t>(255 - m), v});
        photos.push_back(s);
    }
    const ColourColumns columns = columnsOf(photos);
    std::vector<std::uint16_t> got(256);
    for (const auto& [name, unit] : units())
        for (int sampleMean : {0, 1, 99, 128, 200, 254, 255}) {
            const auto v = static_cast<std::uint8_t>(sampleMean);
            const CellSample sample = test::sampleOf(Bgr{v, v, v}, Bgr{v, v, v}, Bgr{v, v, v}, Bgr{v, v, v});
            for (int enhance = 0; enhance <= 100; ++enhance) {
                distancesToPhotosWith(unit, columns, 0, 256, sample, enhance, got.data());
                for (int m = 0; m < 256; ++m)
                    ASSERT_EQ(got[std::size_t(m)],
                              matchDistance(photos[std::size_t(m)], sample, enhance, false, false).distance)
                        << name << " photo mean " << m << " sample mean " << sampleMean << " enhance " << enhance;
            }
        }
}

TEST(BulkDistances, CellsMatchUnshiftedMatchDistanceForEveryRangeAndUnit)
{
    const std::vector<ColorSignature> cells = randomSignatures(67, 8);
    const ColourColumns columns = columnsOf(cells);
    std::vector<std::uint16_t> got(80), best(80);
    for (const auto& [name, unit] : units())
        for (const ColorSignature& photo : randomSignatures(40, 9))
            for (const Range& r : kRanges) {
                distancesToCellsWith(unit, columns, r.first, r.last, photo, got.data());
                distancesToCells(columns, r.first, r.last, photo, best.data());
                for (int i = r.first; i < r.last; ++i) {
                    const int expected = matchDistance(photo, cells[std::size_t(i)], 0, false, false).distance;
                    ASSERT_EQ(got[std::size_t(i - r.first)], expected) << name << " cell " << i;
                    ASSERT_EQ(best[std::size_t(i - r.first)], expected) << "cell " << i;
                }
            }
}

TEST(BulkDistances, FirstBelowFindsTheFirstSmallerDistance)
{
    std::vector<std::uint16_t> d(37, 500);
    EXPECT_EQ(firstBelow(d.data(), 37, 500), 37);
    EXPECT_EQ(firstBelow(d.data(), 37, kListHoldsAll), 0) << "every distance is below the cut of a full list";
    for (int at : {0, 5, 7, 8, 15, 16, 30, 36}) {
        std::vector<std::uint16_t> e = d;
        e[std::size_t(at)] = 499;
        e[36] = 0;
        EXPECT_EQ(firstBelow(e.data(), 37, 500), at) << "at " << at;
        EXPECT_EQ(firstBelow(e.data(), at, 500), at) << "the count bounds the search";
    }
}

// Windows of every width up to past two AVX2 blocks, at every edge of the
// grid, with the value right at a window's border, just outside it, and
// beyond the last row (in the padding, which must not count).
TEST(BulkDistances, WindowHoldsSeesExactlyTheWindowWithEveryUnit)
{
    const int cols = 41, rows = 9;
    std::vector<std::int16_t> grid(std::size_t(cols) * rows + kWindowPad, -1);
    std::uint32_t s = 5;
    for (std::size_t i = 0; i < std::size_t(cols) * rows; ++i) {
        s = s * 1664525u + 1013904223u;
        grid[i] = static_cast<std::int16_t>(s >> 28);  // 0..15, so 7 sits here and there
    }
    for (std::size_t i = std::size_t(cols) * rows; i < grid.size(); ++i)
        grid[i] = 99;  // what only an overrun finds
    for (const auto& [name, unit] : units()) {
        SCOPED_TRACE(name);
        for (int x0 = 0; x0 < cols; x0 += 3)
            for (int x1 = x0; x1 < cols; x1 += 2)
                for (const auto& [y0, y1] : {std::pair{0, 0}, std::pair{0, 8}, std::pair{3, 5}, std::pair{8, 8}})
                    for (const std::int16_t value : {std::int16_t{7}, std::int16_t{99}, std::int16_t{-1}}) {
                        bool held = false;
                        for (int y = y0; y <= y1; ++y)
                            for (int x = x0; x <= x1; ++x)
                                held = held || grid[std::size_t(y) * cols + std::size_t(x)] == value;
                        ASSERT_EQ(windowHoldsWith(unit, grid.data(), cols, x0, x1, y0, y1, value), held)
                            << x0 << ".." << x1 << " x " << y0 << ".." << y1 << " value " << value;
                    }
    }
}

TEST(BulkDistances, SampleColumnsFollowTheGridInRowOrder)
{
    auto project = test::makeProject(test::gridSettings(5, 3));
    Noise noise{21};
    test::makeGridImage(*project, [&](int, int) { return noise.colour(); });
    const ColourColumns cells = sampleColumns(*project);
    ASSERT_EQ(cells.count(), 15);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(cells.get(y * 5 + x), readCellSample(*project, x, y)) << "cell " << x << ", " << y;
}

// ---------------------------------------------------------------- lists

// Libraries with many equal distances as well as spread ones.
std::vector<ColorSignature> libraryWithTies(int n, int distinct, std::uint32_t seed)
{
    const std::vector<ColorSignature> kinds = randomSignatures(distinct, seed);
    std::vector<ColorSignature> out;
    for (int i = 0; i < n; ++i)
        out.push_back(kinds[std::size_t((i * 7 + i / 3) % distinct)]);
    return out;
}

struct ListCase {
    const char* name;
    int photos, distinctPhotos, cells, distinctCells, length, enhance;
};
const ListCase kListCases[] = {
    {"SpreadShort", 90, 90, 40, 40, 5, 50},     {"SpreadLong", 90, 90, 40, 40, 64, 100},
    {"HeavyTies", 90, 4, 40, 3, 6, 50},         {"AllEqual", 30, 1, 20, 1, 4, 0},
    {"LengthOne", 25, 25, 30, 30, 1, 50},        {"ListsHoldEverything", 12, 12, 9, 9, 20, 25},
    {"LengthEqualsCount", 16, 16, 16, 16, 16, 75},
    {"ManyPhotographsPerListedOne", 400, 400, 30, 30, 3, 50},
    {"ManyTiedPhotographsPerListedOne", 400, 6, 30, 4, 2, 100},
};

class BulkLists : public ::testing::TestWithParam<ListCase> {};

TEST_P(BulkLists, CandidatesAreExactlyThePhotographsBelowTheCut)
{
    const ListCase& lc = GetParam();
    const std::vector<ColorSignature> photos = libraryWithTies(lc.photos, lc.distinctPhotos, 5);
    const std::vector<ColorSignature> samples = libraryWithTies(lc.cells, lc.distinctCells, 6);
    const ColourColumns photoColumns = columnsOf(photos), cellColumns = columnsOf(samples);
    CandidateLists lists(lc.cells, lc.length);
    lists.build(photoColumns, cellColumns, lc.enhance, 0, lc.cells / 2);
    lists.build(photoColumns, cellColumns, lc.enhance, lc.cells / 2, lc.cells);
    for (int c = 0; c < lc.cells; ++c) {
        std::vector<int> d;
        for (const ColorSignature& p : photos)
            d.push_back(matchDistance(p, samples[std::size_t(c)], lc.enhance, false, false).distance);
        std::vector<int> sorted = d;
        std::sort(sorted.begin(), sorted.end());
        const int cut = lc.photos > lc.length ? sorted[std::size_t(lc.length)] : kListHoldsAll;
        ASSERT_EQ(lists.cut(c), cut) << "cell " << c;
        std::vector<CandidateLists::Entry> expected;
        for (int p = 0; p < lc.photos; ++p)
            if (d[std::size_t(p)] < cut)
                expected.push_back({std::uint16_t(p), std::uint16_t(d[std::size_t(p)])});
        ASSERT_EQ(lists.end(c) - lists.begin(c), static_cast<std::ptrdiff_t>(expected.size())) << "cell " << c;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(lists.begin(c)[i].photo, expected[i].photo) << "cell " << c << " entry " << i;
            EXPECT_EQ(lists.begin(c)[i].distance, expected[i].distance) << "cell " << c << " entry " << i;
        }
    }
}

TEST_P(BulkLists, CellsAreTheNearestBelowTheCutInOrderOfDistanceThenCell)
{
    const ListCase& lc = GetParam();
    const std::vector<ColorSignature> photos = libraryWithTies(lc.photos, lc.distinctPhotos, 15);
    const std::vector<ColorSignature> samples = libraryWithTies(lc.cells, lc.distinctCells, 16);
    const ColourColumns photoColumns = columnsOf(photos), cellColumns = columnsOf(samples);
    CellLists lists(lc.photos, lc.length);
    lists.build(photoColumns, cellColumns, 0, 1);
    lists.build(photoColumns, cellColumns, 1, lc.photos);
    for (int p = 0; p < lc.photos; ++p) {
        std::vector<CellLists::Entry> all;
        for (int c = 0; c < lc.cells; ++c)
            all.push_back({c, std::uint16_t(matchDistance(photos[std::size_t(p)], samples[std::size_t(c)], 0, false, false)
                                                .distance)});
        std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
            return a.distance != b.distance ? a.distance < b.distance : a.cell < b.cell;
        });
        const int cut = lc.cells > lc.length ? all[std::size_t(lc.length - 1)].distance : kListHoldsAll;
        ASSERT_EQ(lists.cut(p), cut) << "photo " << p;
        std::size_t listed = 0;
        while (listed < all.size() && all[listed].distance < cut)
            ++listed;
        ASSERT_EQ(lists.end(p) - lists.begin(p), static_cast<std::ptrdiff_t>(listed)) << "photo " << p;
        for (std::size_t i = 0; i < listed; ++i) {
            EXPECT_EQ(lists.begin(p)[i].cell, all[i].cell) << "photo " << p << " entry " << i;
            EXPECT_EQ(lists.begin(p)[i].distance, all[i].distance) << "photo " << p << " entry " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Libraries, BulkLists, ::testing::ValuesIn(kListCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tw
