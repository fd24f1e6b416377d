#include "engine/matching.h"

#include "engine/grid.h"
#include "engine/pipeline.h"
#include "engine_fixtures.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace tw {
namespace {

using test::RecordingObserver;

const Bgr kBlack{0, 0, 0}, kWhite{255, 255, 255};

// ------------------------------------------------------------ reference
// The matcher written as plainly as possible: every candidate tested for
// allowance before its distance, every cell of the scan tested, no early
// outs. The real matcher must give the same grid, table and seed.
namespace reference {

int distance(const ColorSignature& a, const CellSample& b, int e)
{
    int shift[3] = {0, 0, 0};
    if (e > 0) {
        shift[0] = (a.mean().blue - b.mean().blue) * e / 100;
        shift[1] = (a.mean().green - b.mean().green) * e / 100;
        shift[2] = (a.mean().red - b.mean().red) * e / 100;
    }
    int d = 0;
    for (int q = 0; q < 4; ++q)
        d += std::abs(a.c[q].blue - shift[0] - b.c[q].blue) + std::abs(a.c[q].green - shift[1] - b.c[q].green) +
             std::abs(a.c[q].red - shift[2] - b.c[q].red);
    return d;
}

bool allowed(const MosaicProject& pr, int x, int y, int p, CheckLevel level)
{
    const tmosaicproject& s = pr.settings;
    if (level == CheckLevel::noCheck)
        return true;
    if (level == CheckLevel::fullCheck && pr.MosaicGrid.at(x, y).placed)
        return false;
    if (s.repeatLimitOff == 0 && s.limitRepeat && pr.CellPicTable[p].usageCount + 1 > s.maxRepeat)
        return false;
    for (int cx = x - s.repeatRadius; cx <= x + s.repeatRadius; ++cx)
        for (int cy = y - s.repeatRadius; cy <= y + s.repeatRadius; ++cy)
            if (cx >= 0 && cy >= 0 && cx < s.cellsX && cy < s.cellsY && pr.MosaicGrid.at(cx, cy).placed &&
                pr.MosaicGrid.at(cx, cy).picture == p)
                return false;
    return true;
}

int choose(MosaicProject& pr, int n, int x, int y, const CellSample& b, CheckLevel level)
{
    const int start = static_cast<int>(pr.random(n));
    int dist[8], idx[8];
    for (int i = 0; i < 8; ++i) {
        dist[i] = 3000;
        idx[i] = -1;
    }
    for (int k = 0; k < n; ++k) {
        int j = start + k;
        if (j >= n)
            j -= n;
        if (!allowed(pr, x, y, j, level))
            continue;
        const int d = distance(pr.CellPicTable[j].signature, b, pr.settings.colorEnhance);
        int worst = 0;
        for (int i = 1; i < 8; ++i)
            if (dist[i] > dist[worst])
                worst = i;
        if (d < dist[worst]) {
            dist[worst] = d;
            idx[worst] = j;
        }
    }
    for (int i = 0; i < 8; ++i) {
        int m = i;
        for (int k = i + 1; k < 8; ++k)
            if (dist[k] < dist[m])
                m = k;
        std::swap(dist[i], dist[m]);
        std::swap(idx[i], idx[m]);
    }
    return idx[pr.random(pr.settings.randomLevel)];
}

void place(MosaicProject& pr, int p, int x, int y, int& placed)
{
    const CellSample b = readCellSample(pr, x, y);
    const ColorSignature& a = pr.CellPicTable[p].signature;
    MosaicCell& c = pr.MosaicGrid.at(x, y);
    c.redOffset = a.mean().red - b.mean().red;
    c.greenOffset = a.mean().green - b.mean().green;
    c.blueOffset = a.mean().blue - b.mean().blue;
    c.picture = p;
    c.placed = 1;
    ++pr.CellPicTable[p].usageCount;
    const MatchResult m = matchDistance(a, b, pr.settings.colorEnhance, pr.settings.allowVFlip, pr.settings.allowHFlip);
    c.vFlip = m.vFlip;
    c.hFlip = m.hFlip;
    ++placed;
}

void pass(MosaicProject& pr, int n, CheckLevel level, int& placed)
{
    const int cx = pr.settings.cellsX, t = cx * pr.settings.cellsY;
    for (int step = 0; step < t; ++step) {
        int c = step + static_cast<int>(pr.random(t));
        if (c >= t)
            c -= t;
        for (int probes = 0; probes < t && pr.MosaicGrid.at(c % cx, c / cx).placed; ++probes)
            c = (c + 1) % t;
        const int x = c % cx, y = c / cx;
        if (pr.MosaicGrid.at(x, y).placed)
            continue;
        const int p = choose(pr, n, x, y, readCellSample(pr, x, y), level);
        if (p >= 0)
            place(pr, p, x, y, placed);
    }
}

void match(MosaicProject& pr, int n)
{
    for (std::size_t i = 0; i < pr.MosaicGrid.size(); ++i)
        pr.MosaicGrid.data()[i].placed = 0;
    tmosaicproject& s = pr.settings;
    const int t = s.cellsX * s.cellsY;
    int placed = 0;
    int passes = s.useAllPhotos ? 1 : 0;
    if (t < n) {
        passes = 0;
        s.maxRepeat = 1;
    }
    if (passes == 1)
        for (int p = 0; p < n; ++p) {
            const int start = static_cast<int>(pr.random(t));
            int best = 999999, bx = -1, by = -1;
            for (int k = 0; k < t; ++k) {
                const int c = (start + k) % t;
                const int x = c % s.cellsX, y = c / s.cellsX;
                if (!allowed(pr, x, y, p, CheckLevel::fullCheck))
                    continue;
                const int d = distance(pr.CellPicTable[p].signature, readCellSample(pr, x, y), 0);
                if (d < best) {
                    best = d;
                    bx = x;
                    by = y;
                }
            }
            place(pr, p, bx, by, placed);
        }
    pass(pr, n, CheckLevel::fullCheck, placed);
    if (placed < t)
        pass(pr, n, CheckLevel::noCheck, placed);
}

} // namespace reference

// ------------------------------------------------------------ helpers

// A deterministic pseudo-random colour source for building inputs (kept
// apart from the project's own Random).
struct Noise {
    std::uint32_t state;
    std::uint8_t next()
    {
        state = state * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(state >> 16);
    }
    Bgr colour() { return Bgr{next(), next(), next()}; }
};

std::vector<ColorSignature> noiseSignatures(int n, std::uint32_t seed)
{
    Noise noise{seed};
    std::vector<ColorSignature> out;
    for (int i = 0; i < n; ++i)
        out.push_back(test::signatureOf(noise.colour(), noise.colour(), noise.colour(), noise.colour()));
    return out;
}

// A project ready for matching: random grid picture, n random signatures.
std::unique_ptr<MosaicProject> matchingProject(const tmosaicproject& settings, int n, std::uint32_t seed)
{
    auto project = test::makeProject(settings);
    Noise noise{seed * 7919u + 1};
    test::makeGridImage(*project, [&](int, int) { return noise.colour(); });
    test::fillTable(*project, noiseSignatures(n, seed));
    return project;
}

// Advances the project's random source, so each run starts elsewhere.
void advance(MosaicProject& project, int calls)
{
    for (int i = 0; i < calls; ++i)
        project.random(1);
}

void expectUsageEqualsCells(const MosaicProject& project, int n)
{
    for (int p = 0; p < n; ++p)
        EXPECT_EQ(project.CellPicTable[p].usageCount, test::cellsHolding(project, p)) << "photograph " << p;
}

// ------------------------------------------------------------ matchDistance

TEST(MatchDistance, WorkedColourShiftExamples)
{
    const ColorSignature a = test::uniformSignature(Bgr{10, 20, 30});
    const CellSample b = test::sampleOf(Bgr{20, 20, 20}, Bgr{20, 20, 20}, Bgr{20, 20, 20}, Bgr{20, 20, 20});
    struct Row { int enhance, distance; };
    const Row rows[] = {{0, 80}, {50, 40}, {100, 0}, {-30, 80}, {25, 4 * ((10 - 2) + 0 + (10 - 2))}};
    for (const Row& r : rows)
        EXPECT_EQ(matchDistance(a, b, r.enhance, false, false), (MatchResult{r.distance, false, false}))
            << "enhance " << r.enhance;
}

TEST(MatchDistance, UniformDifferenceVanishesAtFullEnhance)
{
    const Bgr q[4] = {{60, 70, 80}, {100, 30, 50}, {31, 90, 20}, {40, 10, 70}};
    auto less = [](Bgr c) { return Bgr{std::uint8_t(c.b - 10), std::uint8_t(c.g + 5), std::uint8_t(c.r - 20)}; };
    const ColorSignature a = test::signatureOf(q[0], q[1], q[2], q[3]);
    const CellSample b = test::sampleOf(less(q[0]), less(q[1]), less(q[2]), less(q[3]));
    EXPECT_EQ(matchDistance(a, b, 100, false, false).distance, 0);
    EXPECT_EQ(matchDistance(a, b, 0, false, false).distance, 4 * (10 + 5 + 20));
}

TEST(MatchDistance, ShiftTruncatesTowardZero)
{
    // Means differ by 7 in red: 7 x 50 / 100 = 3 (not 4); -7 x 50 / 100 = -3.
    const ColorSignature a = test::uniformSignature(Bgr{0, 0, 17});
    const CellSample b = test::sampleOf(Bgr{0, 0, 10}, Bgr{0, 0, 10}, Bgr{0, 0, 10}, Bgr{0, 0, 10});
    EXPECT_EQ(matchDistance(a, b, 50, false, false).distance, 4 * (17 - 3 - 10));
    const ColorSignature a2 = test::uniformSignature(Bgr{0, 0, 10});
    const CellSample b2 = test::sampleOf(Bgr{0, 0, 17}, Bgr{0, 0, 17}, Bgr{0, 0, 17}, Bgr{0, 0, 17});
    EXPECT_EQ(matchDistance(a2, b2, 50, false, false).distance, 4 * std::abs(10 + 3 - 17));
}

TEST(MatchDistance, MirroredHalvesChooseTheAllowedFlip)
{
    const ColorSignature a = test::signatureOf(kBlack, kWhite, kBlack, kWhite);
    const CellSample b = test::sampleOf(kWhite, kBlack, kWhite, kBlack);
    struct Row { bool allowV, allowH; MatchResult want; };
    const Row rows[] = {
        {false, true, {0, false, true}},
        {false, false, {3060, false, false}},
        {true, false, {3060, false, false}},  // d2 = 3060 is not smaller than d0
        {true, true, {0, false, true}},       // d1 = d3 = 0: the earlier wins
    };
    for (const Row& r : rows)
        EXPECT_EQ(matchDistance(a, b, 0, r.allowV, r.allowH), r.want) << "allowV " << r.allowV << " allowH " << r.allowH;
}

TEST(MatchDistance, TopBottomMirrorChoosesTheVerticalFlip)
{
    const ColorSignature a = test::signatureOf(kBlack, kBlack, kWhite, kWhite);
    const CellSample b = test::sampleOf(kWhite, kWhite, kBlack, kBlack);
    EXPECT_EQ(matchDistance(a, b, 0, true, false), (MatchResult{0, true, false}));
    EXPECT_EQ(matchDistance(a, b, 0, false, true), (MatchResult{3060, false, false}));
    EXPECT_EQ(matchDistance(a, b, 0, true, true), (MatchResult{0, true, false}));
}

TEST(MatchDistance, DiagonalMirrorNeedsBothFlips)
{
    const Bgr grey{128, 128, 128};
    const ColorSignature a = test::signatureOf(kWhite, grey, grey, kBlack);
    const CellSample b = test::sampleOf(kBlack, grey, grey, kWhite);
    EXPECT_EQ(matchDistance(a, b, 0, true, true), (MatchResult{0, true, true}));
}

TEST(MatchDistance, EqualOrientationsKeepThePictureUnmirrored)
{
    const ColorSignature a = test::uniformSignature(Bgr{9, 9, 9});
    const CellSample b = test::sampleOf(kBlack, kBlack, kBlack, kBlack);
    for (bool v : {false, true})
        for (bool h : {false, true})
            EXPECT_EQ(matchDistance(a, b, 0, v, h), (MatchResult{108, false, false}));
}

TEST(MatchDistance, AbsurdEnhanceFromAFileDoesNotOverflow)
{
    const ColorSignature a = test::uniformSignature(kWhite);
    const CellSample b = test::sampleOf(kBlack, kBlack, kBlack, kBlack);
    const MatchResult m = matchDistance(a, b, 2147483647, true, true);
    EXPECT_GT(m.distance, 3060);
}

// ------------------------------------------------------------ pickSmallestOfFour

TEST(PickSmallestOfFour, EarliestOfEqualSmallestWins)
{
    struct Row { int a, b, c, d, want; };
    const Row rows[] = {
        {1, 2, 3, 4, 1}, {4, 3, 2, 1, 4}, {5, 1, 5, 5, 2}, {5, 5, 1, 5, 3}, {0, 0, 0, 0, 1},
        {7, 3, 3, 3, 2}, {7, 7, 3, 3, 3}, {3, 7, 7, 3, 1}, {9, 2, 8, 2, 2}, {-1, 0, -1, -1, 1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(pickSmallestOfFour(r.a, r.b, r.c, r.d), r.want) << r.a << "," << r.b << "," << r.c << "," << r.d;
}

// ------------------------------------------------------------ candidateAllowed

void putPicture(MosaicProject& project, int x, int y, int p)
{
    MosaicCell& c = project.MosaicGrid.at(x, y);
    c.placed = 1;
    c.picture = p;
}

TEST(CandidateAllowed, RadiusWindowIsASquareAroundTheCell)
{
    auto project = test::makeProject(test::gridSettings(7, 7));
    project->settings.repeatRadius = 2;
    putPicture(*project, 3, 3, 5);
    for (int x = 0; x < 7; ++x)
        for (int y = 0; y < 7; ++y) {
            if (x == 3 && y == 3)
                continue;
            const bool near = std::abs(x - 3) <= 2 && std::abs(y - 3) <= 2;
            EXPECT_EQ(candidateAllowed(*project, x, y, 5, CheckLevel::fullCheck), !near) << x << "," << y;
            EXPECT_TRUE(candidateAllowed(*project, x, y, 4, CheckLevel::fullCheck)) << x << "," << y;
        }
}

TEST(CandidateAllowed, WindowIsClippedToTheUsedGrid)
{
    auto project = test::makeProject(test::gridSettings(4, 3));
    project->settings.repeatRadius = 3;
    // Leftovers of an earlier, larger grid lie just outside the used area.
    putPicture(*project, 4, 0, 7);
    putPicture(*project, 0, 3, 7);
    putPicture(*project, 799, 799, 7);
    EXPECT_TRUE(candidateAllowed(*project, 3, 0, 7, CheckLevel::fullCheck));
    EXPECT_TRUE(candidateAllowed(*project, 0, 2, 7, CheckLevel::editCheck));
    // At the corners the window reaches only inside.
    putPicture(*project, 0, 0, 8);
    EXPECT_FALSE(candidateAllowed(*project, 3, 2, 8, CheckLevel::fullCheck));
    project->settings.repeatRadius = 2;
    EXPECT_TRUE(candidateAllowed(*project, 3, 2, 8, CheckLevel::fullCheck));
    EXPECT_FALSE(candidateAllowed(*project, 2, 2, 8, CheckLevel::fullCheck));
}

TEST(CandidateAllowed, ZeroNegativeAndHugeRadii)
{
    auto project = test::makeProject(test::gridSettings(5, 5));
    putPicture(*project, 2, 2, 3);
    putPicture(*project, 1, 1, 4);
    project->settings.repeatRadius = 0;  // only the cell itself
    EXPECT_TRUE(candidateAllowed(*project, 2, 1, 3, CheckLevel::fullCheck));
    EXPECT_FALSE(candidateAllowed(*project, 2, 2, 3, CheckLevel::editCheck));
    EXPECT_TRUE(candidateAllowed(*project, 2, 2, 4, CheckLevel::editCheck));
    project->settings.repeatRadius = -5;  // no window at all
    EXPECT_TRUE(candidateAllowed(*project, 2, 2, 3, CheckLevel::editCheck));
    project->settings.repeatRadius = 2147483647;  // the whole grid, without overflow
    EXPECT_FALSE(candidateAllowed(*project, 4, 4, 4, CheckLevel::fullCheck));
    EXPECT_TRUE(candidateAllowed(*project, 4, 4, 9, CheckLevel::fullCheck));
}

TEST(CandidateAllowed, EachLevelSelectsItsTests)
{
    struct Row {
        const char* what;
        bool cellPlacedWithOther, sameInWindow, overRepeatLimit;
        bool full, edit, none;
    };
    const Row rows[] = {
        {"free cell, nothing against", false, false, false, true, true, true},
        {"placed cell", true, false, false, false, true, true},
        {"same picture in window", false, true, false, false, false, true},
        {"repeat limit reached", false, false, true, false, false, true},
    };
    for (const Row& r : rows) {
        auto project = test::makeProject(test::gridSettings(6, 6));
        project->settings.repeatRadius = 1;
        project->settings.limitRepeat = 1;
        project->settings.maxRepeat = 2;
        if (r.cellPlacedWithOther)
            putPicture(*project, 2, 2, 9);
        if (r.sameInWindow)
            putPicture(*project, 3, 1, 5);
        project->CellPicTable[5].usageCount = r.overRepeatLimit ? 2 : 1;
        EXPECT_EQ(candidateAllowed(*project, 2, 2, 5, CheckLevel::fullCheck), r.full) << r.what;
        EXPECT_EQ(candidateAllowed(*project, 2, 2, 5, CheckLevel::editCheck), r.edit) << r.what;
        EXPECT_EQ(candidateAllowed(*project, 2, 2, 5, CheckLevel::noCheck), r.none) << r.what;
    }
}

TEST(CandidateAllowed, EditCheckNeverAllowsThePictureTheCellHolds)
{
    auto project = test::makeProject(test::gridSettings(3, 3));
    project->settings.repeatRadius = 0;
    putPicture(*project, 1, 1, 2);
    EXPECT_FALSE(candidateAllowed(*project, 1, 1, 2, CheckLevel::editCheck));
    EXPECT_TRUE(candidateAllowed(*project, 1, 1, 1, CheckLevel::editCheck));
}

TEST(CandidateAllowed, RepeatCountAppliesOnlyWhileLimitedAndNotSwitchedOff)
{
    struct Row { std::uint8_t limitRepeat, repeatLimitOff; int usage, maxRepeat; bool want; };
    const Row rows[] = {
        {1, 0, 0, 1, true}, {1, 0, 1, 1, false}, {1, 0, 9, 10, true}, {1, 0, 10, 10, false},
        {0, 0, 50, 1, true}, {1, 1, 50, 1, true}, {1, 7, 50, 1, true}, {1, 0, 0, 0, false},
        {1, 0, 2147483647, 2147483647, false},
    };
    for (const Row& r : rows) {
        auto project = test::makeProject(test::gridSettings(3, 3));
        project->settings.limitRepeat = r.limitRepeat;
        project->settings.repeatLimitOff = r.repeatLimitOff;
        project->settings.maxRepeat = r.maxRepeat;
        project->CellPicTable[1].usageCount = r.usage;
        EXPECT_EQ(candidateAllowed(*project, 0, 0, 1, CheckLevel::fullCheck), r.want)
            << "limit " << int(r.limitRepeat) << " off " << int(r.repeatLimitOff) << " usage " << r.usage
            << " max " << r.maxRepeat;
    }
}

// ------------------------------------------------------------ chooseLibraryPicture

TEST(ChooseLibraryPicture, RandomLevelOneTakesTheBestAllowedPicture)
{
    auto project = test::makeProject(test::gridSettings(4, 4));
    project->settings.randomLevel = 1;
    project->settings.colorEnhance = 0;
    project->settings.repeatRadius = 1;
    test::makeGridImage(*project, [](int, int) { return Bgr{100, 100, 100}; });
    test::fillTable(*project, {test::uniformSignature(Bgr{0, 0, 0}), test::uniformSignature(Bgr{99, 100, 100}),
                               test::uniformSignature(Bgr{90, 90, 90}), test::uniformSignature(Bgr{101, 102, 100})});
    const CellSample b = readCellSample(*project, 1, 1);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(chooseLibraryPicture(*project, 4, 1, 1, b, CheckLevel::fullCheck), 1);
    putPicture(*project, 2, 2, 1);  // best now refused by the radius
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(chooseLibraryPicture(*project, 4, 1, 1, b, CheckLevel::fullCheck), 3);
    EXPECT_EQ(chooseLibraryPicture(*project, 4, 1, 1, b, CheckLevel::noCheck), 1);
}

TEST(ChooseLibraryPicture, EqualDistancesGoToTheFirstMetFromTheRandomStart)
{
    auto project = test::makeProject(test::gridSettings(2, 2));
    project->settings.randomLevel = 1;
    test::makeGridImage(*project, [](int, int) { return Bgr{50, 60, 70}; });
    test::fillTable(*project, std::vector<ColorSignature>(5, test::uniformSignature(Bgr{10, 10, 10})));
    const CellSample b = readCellSample(*project, 0, 0);
    for (int i = 0; i < 30; ++i) {
        Random predict = project->random;
        const int start = static_cast<int>(predict(5));
        EXPECT_EQ(chooseLibraryPicture(*project, 5, 0, 0, b, CheckLevel::fullCheck), start);
        predict(1);
        EXPECT_EQ(project->random.seed(), predict.seed()) << "exactly two draws per choice";
    }
}

TEST(ChooseLibraryPicture, EmptyRandomSlotGivesNoPicture)
{
    auto project = test::makeProject(test::gridSettings(2, 2));
    project->settings.randomLevel = 8;
    test::makeGridImage(*project, [](int, int) { return Bgr{50, 50, 50}; });
    test::fillTable(*project, {test::uniformSignature(Bgr{40, 50, 50}), test::uniformSignature(Bgr{50, 50, 50})});
    const CellSample b = readCellSample(*project, 0, 0);
    int empties = 0;
    for (int i = 0; i < 200; ++i) {
        Random predict = project->random;
        predict(2);
        const std::uint32_t r = predict(8);
        const int got = chooseLibraryPicture(*project, 2, 0, 0, b, CheckLevel::noCheck);
        const int want = r == 0 ? 1 : r == 1 ? 0 : -1;  // slots sorted by distance
        ASSERT_EQ(got, want) << "slot " << r;
        empties += got < 0;
    }
    EXPECT_GT(empties, 0);
}

TEST(ChooseLibraryPicture, DistanceOf3000OrMoreIsNeverKept)
{
    auto project = test::makeProject(test::gridSettings(1, 1));
    project->settings.randomLevel = 1;
    project->settings.colorEnhance = 0;
    test::makeGridImage(*project, [](int, int) { return kBlack; });
    test::fillTable(*project, {test::uniformSignature(kWhite)});  // 3060
    EXPECT_EQ(chooseLibraryPicture(*project, 1, 0, 0, readCellSample(*project, 0, 0), CheckLevel::noCheck), -1);
    test::fillTable(*project, {test::uniformSignature(Bgr{255, 255, 240})});  // 3000
    EXPECT_EQ(chooseLibraryPicture(*project, 1, 0, 0, readCellSample(*project, 0, 0), CheckLevel::noCheck), -1);
    test::fillTable(*project, {test::uniformSignature(Bgr{255, 255, 239})});  // 2996
    EXPECT_EQ(chooseLibraryPicture(*project, 1, 0, 0, readCellSample(*project, 0, 0), CheckLevel::noCheck), 0);
}

TEST(ChooseLibraryPicture, RandomLevelOutsideOneToEightNeverReadsPastTheSlots)
{
    struct Row { int randomLevel; };
    for (Row r : {Row{0}, Row{9}, Row{100}, Row{-1}, Row{-2147483647 - 1}, Row{2147483647}}) {
        auto project = matchingProject(test::gridSettings(3, 3), 20, 4);
        project->settings.randomLevel = r.randomLevel;
        const CellSample b = readCellSample(*project, 1, 1);
        for (int i = 0; i < 100; ++i) {
            Random predict = project->random;
            predict(20);
            const std::uint32_t slot = predict(r.randomLevel);
            const int got = chooseLibraryPicture(*project, 20, 1, 1, b, CheckLevel::noCheck);
            if (slot >= 8)
                ASSERT_EQ(got, -1) << "level " << r.randomLevel << " slot " << slot;
            else
                ASSERT_GE(got, 0) << "level " << r.randomLevel << " slot " << slot;
        }
    }
}

TEST(ChooseLibraryPicture, CountBeyondTheTableIsBounded)
{
    auto project = matchingProject(test::gridSettings(2, 2), 30, 5);
    project->settings.randomLevel = 8;
    const CellSample b = readCellSample(*project, 0, 0);
    for (int i = 0; i < 5; ++i) {
        const int got = chooseLibraryPicture(*project, 50000, 0, 0, b, CheckLevel::noCheck);
        EXPECT_LT(got, kTableSize);
    }
    EXPECT_EQ(chooseLibraryPicture(*project, -3, 0, 0, b, CheckLevel::noCheck), -1);
}

TEST(ChooseLibraryPicture, SameAsThePlainAlgorithmOverManyStates)
{
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        tmosaicproject s = test::gridSettings(6, 5);
        s.randomLevel = 1 + seed % 8;
        s.colorEnhance = (seed * 15) % 105;
        s.repeatRadius = seed % 4;
        s.limitRepeat = seed % 3 == 0;
        s.maxRepeat = 1 + seed % 2;
        const int n = 3 + static_cast<int>(seed * 5 % 40);
        auto project = matchingProject(s, n, seed);
        Noise noise{seed};
        for (int x = 0; x < 6; ++x)
            for (int y = 0; y < 5; ++y)
                if (noise.next() < 100)
                    putPicture(*project, x, y, noise.next() % n);
        for (int p = 0; p < n; ++p)
            project->CellPicTable[p].usageCount = noise.next() % 3;
        auto copy = test::makeProject(s);
        copy->GridImage = project->GridImage;
        copy->CellPicTable = project->CellPicTable;
        copy->MosaicGrid = project->MosaicGrid;
        advance(*project, static_cast<int>(seed));
        advance(*copy, static_cast<int>(seed));
        for (int x = 0; x < 6; ++x)
            for (int y = 0; y < 5; ++y)
                for (CheckLevel level : {CheckLevel::fullCheck, CheckLevel::editCheck, CheckLevel::noCheck}) {
                    const CellSample b = readCellSample(*project, x, y);
                    ASSERT_EQ(chooseLibraryPicture(*project, n, x, y, b, level),
                              reference::choose(*copy, n, x, y, b, level))
                        << "seed " << seed << " cell " << x << "," << y << " level " << int(level);
                }
        EXPECT_EQ(project->random.seed(), copy->random.seed());
    }
}

// ------------------------------------------------------------ bestFreeCellFor

TEST(BestFreeCellFor, EqualCellsGoToTheFirstFreeCellFromTheRandomStart)
{
    auto project = test::makeProject(test::gridSettings(5, 3));
    test::makeGridImage(*project, [](int, int) { return Bgr{30, 30, 30}; });
    test::fillTable(*project, {test::uniformSignature(Bgr{200, 10, 10})});
    for (int i = 0; i < 30; ++i) {
        Random predict = project->random;
        int c = static_cast<int>(predict(15));
        // Occupy the start cell every other time: the next one in scan order wins.
        const bool occupy = i % 2 == 1;
        if (occupy)
            putPicture(*project, c % 5, c / 5, 3);
        const CellPos got = bestFreeCellFor(*project, 0);
        if (occupy) {
            project->MosaicGrid.at(c % 5, c / 5).placed = 0;
            c = (c + 1) % 15;
        }
        EXPECT_EQ(got, (CellPos{c % 5, c / 5})) << "call " << i;
        EXPECT_EQ(project->random.seed(), predict.seed());
    }
}

TEST(BestFreeCellFor, TakesTheClosestCellWithoutShiftOrMirror)
{
    auto project = test::makeProject(test::gridSettings(4, 4));
    test::makeGridImage(*project, [](int, int) { return Bgr{128, 128, 128}; });
    // The exact colour, but mirrored: a flip would make it fit, yet the
    // use-all pass compares unmirrored.
    test::setCellPixels(*project, 3, 0, kWhite, kBlack, kWhite, kBlack);
    test::setCellPixels(*project, 1, 2, Bgr{20, 20, 20}, Bgr{20, 20, 20}, Bgr{20, 20, 20}, Bgr{20, 20, 20});
    test::fillTable(*project, {test::signatureOf(kBlack, kWhite, kBlack, kWhite), test::uniformSignature(Bgr{25, 25, 25})});
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(bestFreeCellFor(*project, 1), (CellPos{1, 2}));
        EXPECT_NE(bestFreeCellFor(*project, 0), (CellPos{3, 0}));
    }
    putPicture(*project, 1, 2, 9);
    EXPECT_NE(bestFreeCellFor(*project, 1), (CellPos{1, 2}));
}

TEST(BestFreeCellFor, NoCellWhenNoneIsAllowed)
{
    auto project = test::makeProject(test::gridSettings(2, 2));
    test::makeGridImage(*project, [](int, int) { return kBlack; });
    for (int x = 0; x < 2; ++x)
        for (int y = 0; y < 2; ++y)
            putPicture(*project, x, y, 0);
    EXPECT_EQ(bestFreeCellFor(*project, 1), (CellPos{-1, -1}));
    auto empty = test::makeProject(test::gridSettings(0, 0));
    EXPECT_EQ(bestFreeCellFor(*empty, 0), (CellPos{-1, -1}));
}

// ------------------------------------------------------------ placePicture

TEST(PlacePicture, RecordsOffsetsUsageAndAllowedFlips)
{
    auto project = test::makeProject(test::gridSettings(3, 3));
    test::makeGridImage(*project, [](int, int) { return kBlack; });
    test::setCellPixels(*project, 2, 1, kWhite, kBlack, kWhite, kBlack);
    test::fillTable(*project, {{}, test::signatureOf(kBlack, kWhite, kBlack, kWhite)});
    project->CellPicTable[1].signature.c[Mean] = SignatureColor{100, 50, 200, 0};
    project->CellPicTable[1].usageCount = 4;
    project->settings.allowHFlip = 1;
    project->settings.allowVFlip = 0;
    project->settings.colorEnhance = 0;
    project->MosaicGrid.at(2, 1).vFlip = 1;  // stale from an earlier creation
    placePicture(*project, 1, 2, 1);
    const MosaicCell& c = project->MosaicGrid.at(2, 1);
    EXPECT_EQ(c.picture, 1);
    EXPECT_EQ(c.placed, 1);
    EXPECT_EQ(c.redOffset, 200 - 127);
    EXPECT_EQ(c.greenOffset, 50 - 127);
    EXPECT_EQ(c.blueOffset, 100 - 127);
    EXPECT_EQ(c.hFlip, 1);
    EXPECT_EQ(c.vFlip, 0);
    EXPECT_EQ(project->CellPicTable[1].usageCount, 5);
}

// ------------------------------------------------------------ matchCells

TEST(MatchCells, SameAsThePlainAlgorithmOverManySettings)
{
    for (std::uint32_t seed = 1; seed <= 48; ++seed) {
        tmosaicproject s = test::gridSettings(3 + seed % 6, 2 + seed % 5);
        s.randomLevel = 1 + seed % 8;
        s.colorEnhance = (seed * 35) % 105;
        s.repeatRadius = seed % 7;
        s.limitRepeat = seed % 3 != 0;
        s.maxRepeat = 1 + seed % 3;
        s.useAllPhotos = seed % 2;
        s.allowHFlip = seed % 4 < 2;
        s.allowVFlip = seed % 5 < 3;
        const int t = s.cellsX * s.cellsY;
        const int n = 1 + static_cast<int>((seed * 13) % (t + 12));
        auto project = matchingProject(s, n, seed);
        auto copy = matchingProject(s, n, seed);
        advance(*project, static_cast<int>(seed * 3));
        advance(*copy, static_cast<int>(seed * 3));
        const CellPicLib library = test::pathOnlyLibrary(static_cast<std::size_t>(n));
        NullObserver observer;
        matchCells(*project, library, observer);
        reference::match(*copy, n);
        ASSERT_TRUE(project->MosaicGrid == copy->MosaicGrid) << "seed " << seed;
        ASSERT_TRUE(project->CellPicTable == copy->CellPicTable) << "seed " << seed;
        ASSERT_EQ(project->random.seed(), copy->random.seed()) << "seed " << seed;
        ASSERT_EQ(project->settings.maxRepeat, copy->settings.maxRepeat) << "seed " << seed;
        expectUsageEqualsCells(*project, n);
    }
}

TEST(MatchCells, SameInputsGiveTheSameMosaic)
{
    tmosaicproject s = test::gridSettings(9, 7);
    auto a = matchingProject(s, 25, 3), b = matchingProject(s, 25, 3);
    const CellPicLib library = test::pathOnlyLibrary(25);
    NullObserver observer;
    matchCells(*a, library, observer);
    matchCells(*b, library, observer);
    EXPECT_TRUE(a->MosaicGrid == b->MosaicGrid);
    EXPECT_TRUE(a->CellPicTable == b->CellPicTable);
    EXPECT_EQ(a->random.seed(), b->random.seed());
    // A second creation continues the sequence, so it generally differs.
    matchCells(*a, library, observer);
    EXPECT_FALSE(a->MosaicGrid == b->MosaicGrid);
}

TEST(MatchCells, UseAllGivesEveryPhotographACellWhenThereAreEnoughCells)
{
    for (std::uint32_t seed = 1; seed <= 30; ++seed) {
        tmosaicproject s = test::gridSettings(4 + seed % 5, 3 + seed % 4);
        s.useAllPhotos = 1;
        s.randomLevel = 1 + seed % 8;
        s.limitRepeat = seed % 2;
        s.maxRepeat = 1;
        const int t = s.cellsX * s.cellsY;
        const int n = 1 + static_cast<int>(seed * 7 % t);  // n <= t
        auto project = matchingProject(s, n, seed);
        const CellPicLib library = test::pathOnlyLibrary(static_cast<std::size_t>(n));
        NullObserver observer;
        matchCells(*project, library, observer);
        for (int p = 0; p < n; ++p)
            ASSERT_GE(project->CellPicTable[p].usageCount, 1) << "seed " << seed << " photograph " << p;
        expectUsageEqualsCells(*project, n);
    }
}

// Watches the passes: the use-all pass pumps once per photograph, the main
// pass once per step while a free cell remains; the fill pass runs only when
// the main pass left a free cell, so then the main pass pumped T times.
struct PassWatch {
    int preFillPumps;  // pumps that belong to the use-all and main passes
    int pumps = 0;
    int worstUsageBeforeFill = 0;
    bool neighboursRepeatedBeforeFill = false;
};

void watch(RecordingObserver& observer, MosaicProject& project, int n, PassWatch& w)
{
    observer.onPump = [&project, n, &w] {
        ++w.pumps;
        if (w.pumps > w.preFillPumps)
            return;
        for (int p = 0; p < n; ++p)
            w.worstUsageBeforeFill = std::max(w.worstUsageBeforeFill, project.CellPicTable[p].usageCount);
        const tmosaicproject& s = project.settings;
        for (int x = 0; x < s.cellsX; ++x)
            for (int y = 0; y < s.cellsY; ++y) {
                const MosaicCell& c = project.MosaicGrid.at(x, y);
                if (!c.placed)
                    continue;
                for (int dx = -1; dx <= 1; ++dx)
                    for (int dy = -1; dy <= 1; ++dy) {
                        const int nx = x + dx, ny = y + dy;
                        if ((dx || dy) && nx >= 0 && ny >= 0 && nx < s.cellsX && ny < s.cellsY &&
                            project.MosaicGrid.at(nx, ny).placed && project.MosaicGrid.at(nx, ny).picture == c.picture)
                            w.neighboursRepeatedBeforeFill = true;
                    }
            }
    };
}

TEST(MatchCells, RepeatLimitOneUsesNoPhotographTwiceBeforeTheFillPass)
{
    for (std::uint32_t seed = 1; seed <= 30; ++seed) {
        tmosaicproject s = test::gridSettings(5, 4);
        s.useAllPhotos = seed % 2;
        s.limitRepeat = 1;
        s.maxRepeat = 1;
        s.repeatRadius = seed % 3;
        s.randomLevel = 1 + seed % 4;  // never more than n: the fill pass fills every cell
        const int t = 20, n = 5 + static_cast<int>(seed % 15);  // n < t: the fill pass runs
        auto project = matchingProject(s, n, seed);
        const CellPicLib library = test::pathOnlyLibrary(static_cast<std::size_t>(n));
        RecordingObserver observer;
        PassWatch w{(s.useAllPhotos ? n : 0) + t};
        watch(observer, *project, n, w);
        matchCells(*project, library, observer);
        EXPECT_LE(w.worstUsageBeforeFill, 1) << "seed " << seed;
        EXPECT_GT(w.pumps, w.preFillPumps) << "the fill pass ran";
        EXPECT_EQ(test::placedCells(*project), t) << "the fill pass filled every cell, seed " << seed;
        expectUsageEqualsCells(*project, n);
    }
}

TEST(MatchCells, RepeatRadiusOneKeepsNeighboursApartBeforeTheFillPass)
{
    for (std::uint32_t seed = 1; seed <= 30; ++seed) {
        tmosaicproject s = test::gridSettings(6, 6);
        s.useAllPhotos = seed % 2;
        s.repeatRadius = 1;
        s.randomLevel = 1 + seed % 8;
        const int t = 36, n = 12 + static_cast<int>(seed % 20);
        auto project = matchingProject(s, n, seed);
        const CellPicLib library = test::pathOnlyLibrary(static_cast<std::size_t>(n));
        RecordingObserver observer;
        PassWatch w{(s.useAllPhotos ? n : 0) + t};
        watch(observer, *project, n, w);
        matchCells(*project, library, observer);
        EXPECT_FALSE(w.neighboursRepeatedBeforeFill) << "seed " << seed;
    }
}

TEST(MatchCells, MorePhotographsThanCellsSkipUseAllAndForceMaxRepeatOne)
{
    tmosaicproject s = test::gridSettings(3, 3);
    s.useAllPhotos = 1;
    s.limitRepeat = 1;
    s.maxRepeat = 10;
    s.repeatRadius = 0;
    const int t = 9, n = t + 12;
    auto project = matchingProject(s, n, 11);
    const CellPicLib library = test::pathOnlyLibrary(static_cast<std::size_t>(n));
    RecordingObserver observer;
    matchCells(*project, library, observer);
    EXPECT_EQ(project->settings.maxRepeat, 1);
    // Without a use-all pass and with enough photographs every step of the
    // main pass places one: exactly T pumps, no fill pass.
    EXPECT_EQ(observer.pumpCount(), t) << observer.transcript();
    EXPECT_EQ(test::placedCells(*project), t);
    for (int p = 0; p < n; ++p)
        EXPECT_LE(project->CellPicTable[p].usageCount, 1) << "photograph " << p;
}

TEST(MatchCells, ObserverSeesLabelGaugeAndOnePumpPerPlacementOrVisit)
{
    // Use-all places the four photographs in the four cells; the main pass
    // then finds every cell placed and neither updates the gauge nor pumps.
    tmosaicproject s = test::gridSettings(2, 2);
    s.useAllPhotos = 1;
    auto project = matchingProject(s, 4, 2);
    const CellPicLib library = test::pathOnlyLibrary(4);
    RecordingObserver observer;
    Random predict = project->random;
    matchCells(*project, library, observer);
    using K = RecordingObserver::Kind;
    const std::vector<RecordingObserver::Event> expected = {
        {K::Label, kJobMatching, 0}, {K::Progress, {}, 0},
        {K::Progress, {}, 25}, {K::Pump, {}, 0}, {K::Progress, {}, 50}, {K::Pump, {}, 0},
        {K::Progress, {}, 75}, {K::Pump, {}, 0}, {K::Progress, {}, 100}, {K::Pump, {}, 0},
    };
    EXPECT_EQ(observer.events, expected) << observer.transcript();
    // Four use-all starts and four main-pass starts; nothing else draws.
    for (int i = 0; i < 8; ++i)
        predict(4);
    EXPECT_EQ(project->random.seed(), predict.seed());
}

TEST(MatchCells, GaugeFollowsPlacedCellsAtEveryPump)
{
    tmosaicproject s = test::gridSettings(5, 3);
    s.useAllPhotos = 0;
    s.randomLevel = 8;
    s.repeatRadius = 1;
    auto project = matchingProject(s, 3, 9);  // few photographs: cells stay free, the fill pass runs
    const CellPicLib library = test::pathOnlyLibrary(3);
    RecordingObserver observer;
    std::vector<int> placedAtPump;
    observer.onPump = [&] { placedAtPump.push_back(test::placedCells(*project)); };
    matchCells(*project, library, observer);
    const std::vector<int> gauges = observer.gauges();
    ASSERT_EQ(gauges.size(), placedAtPump.size() + 1);
    EXPECT_EQ(gauges[0], 0);
    for (std::size_t i = 0; i < placedAtPump.size(); ++i)
        EXPECT_EQ(gauges[i + 1], placedAtPump[i] * 100 / 15) << "pump " << i;
    // The main pass pumps at each of its 15 steps (a free cell always remains).
    EXPECT_GE(placedAtPump.size(), 15u);
}

TEST(MatchCells, TwoPhotographsAtRandomLevelFourMayLeaveCellsEmpty)
{
    int leftEmpty = 0;
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        tmosaicproject s = test::gridSettings(4, 4);
        s.useAllPhotos = 0;
        s.randomLevel = 4;
        auto project = matchingProject(s, 2, seed);
        const CellPicLib library = test::pathOnlyLibrary(2);
        NullObserver observer;
        matchCells(*project, library, observer);
        leftEmpty += 16 - test::placedCells(*project);
        expectUsageEqualsCells(*project, 2);
    }
    EXPECT_GT(leftEmpty, 0);
}

TEST(MatchCells, ClearsEveryPlacedFlagButKeepsOtherFields)
{
    tmosaicproject s = test::gridSettings(2, 2);
    s.renderMode = RenderMode{3};  // neither mode: only the clearing happens
    auto project = matchingProject(s, 3, 1);
    MosaicCell& far = project->MosaicGrid.at(700, 650);
    far.placed = 1;
    far.picture = 42;
    far.redOffset = -9;
    project->MosaicGrid.at(1, 1).placed = 1;
    RecordingObserver observer;
    const std::uint32_t seed = project->random.seed();
    matchCells(*project, test::pathOnlyLibrary(3), observer);
    EXPECT_EQ(far.placed, 0);
    EXPECT_EQ(far.picture, 42);
    EXPECT_EQ(far.redOffset, -9);
    EXPECT_EQ(project->MosaicGrid.at(1, 1).placed, 0);
    EXPECT_EQ(project->random.seed(), seed);
    EXPECT_EQ(observer.transcript(), "L:" + kJobMatching + " P:0 ");
}

TEST(MatchCells, EmptyLibraryInStandardModeLeavesEveryCellEmpty)
{
    auto project = matchingProject(test::gridSettings(3, 3), 0, 1);
    NullObserver observer;
    matchCells(*project, CellPicLib{}, observer);
    EXPECT_EQ(test::placedCells(*project), 0);
}

TEST(MatchCells, LibraryBeyondTheTableIsRefusedBeforeAnyChange)
{
    auto project = matchingProject(test::gridSettings(3, 3), 5, 1);
    project->MosaicGrid.at(0, 0).placed = 1;
    const std::uint32_t seed = project->random.seed();
    RecordingObserver observer;
    try {
        matchCells(*project, test::pathOnlyLibrary(10300), observer);
        ADD_FAILURE() << "accepted 10300 photographs";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "The image library holds 10300 pictures, but a mosaic can use at most 10241");
    }
    EXPECT_EQ(project->MosaicGrid.at(0, 0).placed, 1);
    EXPECT_EQ(project->random.seed(), seed);
    EXPECT_TRUE(observer.events.empty());
}

TEST(MatchCells, ZeroCellsPlaceNothingAndDoNotDivideByZero)
{
    for (auto [cx, cy] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{5, 0}}) {
        tmosaicproject s = test::gridSettings(cx, cy);
        auto project = test::makeProject(s);
        test::fillTable(*project, noiseSignatures(3, 1));
        RecordingObserver observer;
        matchCells(*project, test::pathOnlyLibrary(3), observer);
        EXPECT_EQ(observer.pumpCount(), 0);
        EXPECT_EQ(project->settings.maxRepeat, 1);  // 0 cells < 3 photographs
    }
}

TEST(MatchCells, MaxRepeatBelowOneLeavesTheWorkToTheFillPass)
{
    tmosaicproject s = test::gridSettings(3, 3);
    s.useAllPhotos = 1;
    s.limitRepeat = 1;
    s.maxRepeat = 0;  // only possible through a project file
    s.randomLevel = 1;
    auto project = matchingProject(s, 4, 6);
    NullObserver observer;
    matchCells(*project, test::pathOnlyLibrary(4), observer);
    EXPECT_EQ(test::placedCells(*project), 9);
    expectUsageEqualsCells(*project, 4);
}

// ------------------------------------------------------------ self-mosaic

TEST(MatchCells, SelfMosaicWithoutFlipsDrawsNoRandomNumbers)
{
    tmosaicproject s = test::gridSettings(4, 3);
    s.renderMode = RenderMode::SelfMosaic;
    s.allowHFlip = 0;
    s.allowVFlip = 0;
    auto project = matchingProject(s, 0, 8);
    project->MainImage = test::solidPicture(10, 10, Bgr{100, 150, 200});
    project->MosaicGrid.at(2, 1).picture = 77;
    const std::uint32_t seed = project->random.seed();
    RecordingObserver observer;
    matchCells(*project, CellPicLib{}, observer);
    EXPECT_EQ(project->random.seed(), seed);
    EXPECT_EQ(observer.transcript(), "L:" + kJobMatching + " P:0 ");
    const ColorSignature m = computeSignature(project->MainImage);
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 3; ++y) {
            const MosaicCell& c = project->MosaicGrid.at(x, y);
            const CellSample b = readCellSample(*project, x, y);
            EXPECT_EQ(c.placed, 1);
            EXPECT_EQ(c.hFlip + c.vFlip, 0);
            EXPECT_EQ(c.redOffset, m.mean().red - b.mean().red);
            EXPECT_EQ(c.greenOffset, m.mean().green - b.mean().green);
            EXPECT_EQ(c.blueOffset, m.mean().blue - b.mean().blue);
        }
    EXPECT_EQ(project->MosaicGrid.at(2, 1).picture, 77);
}

TEST(MatchCells, SelfMosaicDrawsVerticalThenHorizontalForAllowedFlipsOnly)
{
    struct Row { std::uint8_t v, h; };
    for (Row r : {Row{1, 1}, Row{1, 0}, Row{0, 1}}) {
        tmosaicproject s = test::gridSettings(3, 2);
        s.renderMode = RenderMode::SelfMosaic;
        s.allowVFlip = r.v;
        s.allowHFlip = r.h;
        auto project = matchingProject(s, 0, 8);
        project->MainImage = test::solidPicture(4, 4, Bgr{1, 2, 3});
        Random predict = project->random;
        NullObserver observer;
        matchCells(*project, test::pathOnlyLibrary(5), observer);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                const int v = r.v ? static_cast<int>(predict(2)) : 0;
                const int h = r.h ? static_cast<int>(predict(2)) : 0;
                EXPECT_EQ(project->MosaicGrid.at(x, y).vFlip, v) << x << "," << y;
                EXPECT_EQ(project->MosaicGrid.at(x, y).hFlip, h) << x << "," << y;
            }
        EXPECT_EQ(project->random.seed(), predict.seed());
    }
}


// ------------------------------------------------------------ bulk matching

// A project whose photographs and cell colours come from a few kinds each
// when asked, so that equal distances (the matcher's ties) are common.
std::unique_ptr<MosaicProject> tiedProject(const tmosaicproject& settings, int n, int photoKinds, int cellKinds,
                                          std::uint32_t seed)
{
    auto project = test::makeProject(settings);
    Noise noise{seed * 7919u + 1};
    std::vector<Bgr> cellColours;
    for (int i = 0; i < std::max(cellKinds, 1); ++i)
        cellColours.push_back(noise.colour());
    test::makeGridImage(*project, [&](int px, int py) {
        return cellKinds > 0 ? cellColours[std::size_t((px * 31 + py * 17 + px * py) % cellKinds)] : noise.colour();
    });
    const std::vector<ColorSignature> kinds = noiseSignatures(photoKinds > 0 ? photoKinds : n, seed);
    std::vector<ColorSignature> signatures;
    for (int i = 0; i < n; ++i)
        signatures.push_back(kinds[std::size_t(photoKinds > 0 ? (i * 5 + i / 7) % photoKinds : i)]);
    test::fillTable(*project, signatures);
    return project;
}

struct BulkCase {
    const char* name;
    int cellsX, cellsY, photos, photoKinds, cellKinds;
    int randomLevel, enhance, radius;
    bool limitRepeat;
    int maxRepeat;
    bool useAll, hFlip, vFlip;
    RenderMode mode = RenderMode::Standard;
};

const BulkCase kBulkCases[] = {
    {"Defaults", 24, 20, 60, 0, 0, 4, 50, 4, false, 10, true, true, true},
    {"RandomLevelOne", 20, 18, 45, 0, 0, 1, 50, 2, false, 10, true, true, true},
    {"RandomLevelEightNoFlips", 22, 15, 70, 0, 0, 8, 100, 1, false, 10, false, false, false},
    {"EnhanceZeroOnlyHorizontal", 18, 18, 40, 0, 0, 3, 0, 3, false, 10, true, true, false},
    {"EnhanceOddValueOnlyVertical", 19, 13, 33, 0, 0, 5, 37, 2, false, 10, false, false, true},
    {"RadiusZero", 16, 16, 30, 0, 0, 6, 75, 0, false, 10, true, true, true},
    {"RadiusLargerThanTheGrid", 12, 9, 150, 0, 0, 2, 50, 40, false, 10, true, true, true},
    {"WindowsWiderThanSixteenCells", 70, 45, 500, 0, 0, 4, 50, 11, false, 10, true, true, true},
    {"RepeatLimitOne", 20, 14, 50, 0, 0, 4, 50, 2, true, 1, true, true, true},
    {"RepeatLimitThreeNoUseAll", 21, 17, 30, 0, 0, 7, 25, 1, true, 3, false, true, true},
    {"RepeatLimitZeroFromAFile", 10, 8, 12, 0, 0, 3, 50, 1, true, 0, true, true, true},
    {"FewPhotographsFillPassLeavesCells", 15, 12, 2, 0, 0, 4, 50, 1, false, 10, false, true, true},
    {"MorePhotographsThanCells", 9, 7, 200, 0, 0, 4, 50, 2, true, 10, true, true, true},
    {"PhotographsEqualCells", 8, 8, 64, 0, 0, 8, 50, 3, true, 1, true, true, true},
    {"ManyEqualPhotographs", 25, 18, 120, 5, 0, 4, 50, 2, false, 10, true, true, true},
    {"ManyEqualCells", 25, 18, 80, 0, 3, 6, 100, 1, false, 10, true, true, true},
    {"EverythingEqual", 14, 14, 40, 1, 1, 8, 50, 1, true, 2, true, true, true},
    {"RandomLevelZeroFromAFile", 10, 10, 20, 0, 0, 0, 50, 1, false, 10, true, true, true},
    {"RandomLevelNineFromAFile", 10, 10, 20, 0, 0, 9, 50, 1, false, 10, true, true, true},
    {"EnhanceBeyondTheWizardFromAFile", 11, 9, 25, 0, 0, 4, 250, 1, false, 10, true, true, true},
    {"NegativeEnhanceFromAFile", 11, 9, 25, 0, 0, 4, -20, 1, false, 10, true, true, true},
    {"SingleRow", 60, 1, 25, 0, 0, 4, 50, 3, false, 10, true, true, true},
    {"SingleColumn", 1, 60, 25, 0, 0, 4, 50, 3, false, 10, true, true, true},
    {"SelfMosaic", 12, 10, 20, 0, 0, 4, 50, 4, false, 10, true, true, true, RenderMode::SelfMosaic},
    {"LargeGrid", 120, 90, 300, 0, 0, 4, 50, 4, false, 10, true, true, true},
    {"LargeLibrary", 60, 50, 1500, 0, 0, 5, 50, 3, false, 10, true, true, true},
    {"LibraryLargerThanTheGrid", 40, 30, 3000, 0, 0, 8, 100, 5, true, 10, true, true, true},
    {"LargeGridWithTiesAndLimits", 100, 80, 400, 40, 12, 8, 100, 6, true, 30, true, true, true},
};

struct Outcome {
    std::unique_ptr<MosaicProject> project;
    std::vector<RecordingObserver::Event> events;
};

tmosaicproject bulkSettings(const BulkCase& bc)
{
    tmosaicproject s = test::gridSettings(bc.cellsX, bc.cellsY);
    s.renderMode = bc.mode;
    s.randomLevel = bc.randomLevel;
    s.colorEnhance = bc.enhance;
    s.repeatRadius = bc.radius;
    s.limitRepeat = bc.limitRepeat;
    s.maxRepeat = bc.maxRepeat;
    s.useAllPhotos = bc.useAll;
    s.allowHFlip = bc.hFlip;
    s.allowVFlip = bc.vFlip;
    return s;
}

Outcome matched(const BulkCase& bc, const EngineOptions& options, MatchListLengths lengths)
{
    Outcome o{tiedProject(bulkSettings(bc), bc.photos, bc.photoKinds, bc.cellKinds, 5), {}};
    o.project->MainImage = test::solidPicture(9, 7, Bgr{40, 90, 200});
    advance(*o.project, 17);
    RecordingObserver observer;
    matchCells(*o.project, test::pathOnlyLibrary(static_cast<std::size_t>(bc.photos)), observer, options, lengths);
    o.events = observer.events;
    return o;
}

class BulkMatching : public ::testing::TestWithParam<BulkCase> {};

TEST_P(BulkMatching, SameGridTableRandomCallsAndReportsAsThePlainMatcher)
{
    const BulkCase& bc = GetParam();
    const Outcome plain = matched(bc, EngineOptions{1, true}, {});
    struct Variant {
        const char* name;
        unsigned threads;
        MatchListLengths lengths;
    };
    // Lists of one entry force nearly every scan through the measured
    // prefix and every use-all search through its fallback; the others
    // leave more and more to the lists.
    const Variant variants[] = {{"default lists, 2 threads", 2, {}},
                                {"one entry each, 1 thread", 1, {1, 1}},
                                {"short lists, 3 threads", 3, {3, 2}},
                                {"medium lists, 4 threads", 4, {9, 5}},
                                {"long lists, 2 threads", 2, {200, 300}}};
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const Outcome bulk = matched(bc, EngineOptions{v.threads, false}, v.lengths);
        ASSERT_TRUE(bulk.project->MosaicGrid == plain.project->MosaicGrid);
        ASSERT_TRUE(bulk.project->CellPicTable == plain.project->CellPicTable);
        ASSERT_EQ(bulk.project->random.seed(), plain.project->random.seed());
        ASSERT_EQ(bulk.project->settings.maxRepeat, plain.project->settings.maxRepeat);
        ASSERT_EQ(bulk.events, plain.events);
    }
    // And the plain path is the matcher as written above (which takes
    // neither records outside the wizard's ranges nor big grids).
    const bool wizardRanges = bc.randomLevel >= 1 && bc.randomLevel <= 8 && bc.enhance >= 0 && bc.enhance <= 100 &&
                              (!bc.limitRepeat || bc.maxRepeat >= 1);
    if (bc.mode == RenderMode::Standard && wizardRanges && bc.cellsX * bc.cellsY * bc.photos <= 1000000) {
        auto fresh = tiedProject(bulkSettings(bc), bc.photos, bc.photoKinds, bc.cellKinds, 5);
        advance(*fresh, 17);
        reference::match(*fresh, bc.photos);
        EXPECT_TRUE(fresh->MosaicGrid == plain.project->MosaicGrid);
        EXPECT_EQ(fresh->random.seed(), plain.project->random.seed());
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, BulkMatching, ::testing::ValuesIn(kBulkCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tw
