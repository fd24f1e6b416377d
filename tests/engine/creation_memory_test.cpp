// The memory estimate of a creation: its parts, the photograph budget cut
// to what fits, the memory an old mosaic holds, and the refusal.
#include "engine/creation_memory.h"

#include "engine/photo_cache.h"
#include "engine/project.h"
#include "engine_fixtures.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tw {
namespace {

constexpr std::uint64_t kMB = std::uint64_t{1} << 20;
const MemoryStatus kPlenty{std::uint64_t{64} << 30, std::uint64_t{32} << 30};
const EngineOptions kTwoThreads{2, false};

tmosaicproject layout(int cells, int cellSize, StitchMode stitch, RenderMode mode = RenderMode::Standard)
{
    tmosaicproject s = test::gridSettings(cells, cells, cellSize, cellSize);
    s.stitchMode = stitch;
    s.renderMode = mode;
    return s;
}

TEST(CreationMemory, PartsAddUpAndTheMosaicIsItsPictureSize)
{
    struct Row {
        const char* name;
        tmosaicproject settings;
        std::size_t photos;
    };
    const Row rows[] = {
        {"wizard defaults", test::wizardDefaults(), 300},
        {"big loom", layout(400, 48, StitchMode::Loom), 400},
        {"largest peyote", layout(800, 48, StitchMode::Peyote), 10241},
        {"self mosaic", layout(200, 16, StitchMode::Brick, RenderMode::SelfMosaic), 50},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const CreationMemory m = creationMemory(r.settings, r.photos, kTwoThreads, kPlenty, 0);
        EXPECT_EQ(m.mosaic, std::uint64_t(r.settings.mosaicWidth) * std::uint64_t(r.settings.mosaicHeight) * 3);
        EXPECT_EQ(m.total(), m.mosaic + m.heldByOldMosaic + m.photoCache + m.working);
        EXPECT_GT(m.working, 0u);
        EXPECT_LE(m.photoCache, photoCacheBudget(kTwoThreads, kPlenty));
        // The matching lists stay far below the mosaic of a big grid.
        if (r.settings.cellsX >= 400) {
            EXPECT_LT(m.working, m.mosaic / 4);
        }
    }
}

TEST(CreationMemory, CacheIsCountedAsFarAsTheLibraryFillsIt)
{
    const tmosaicproject loom = layout(100, 32, StitchMode::Loom);
    const tmosaicproject peyote = layout(100, 32, StitchMode::Peyote);
    // A loom keeps small drawing data per photograph, other layouts the
    // photograph: a few photographs fill little of the budget, many fill it.
    EXPECT_LT(creationMemory(loom, 10, kTwoThreads, kPlenty, 0).photoCache, 2 * kMB);
    EXPECT_LT(creationMemory(loom, 10, kTwoThreads, kPlenty, 0).photoCache,
              creationMemory(loom, 1000, kTwoThreads, kPlenty, 0).photoCache);
    EXPECT_LT(creationMemory(peyote, 10, kTwoThreads, kPlenty, 0).photoCache, 200 * kMB);
    EXPECT_EQ(creationMemory(peyote, 10000, kTwoThreads, kPlenty, 0).photoCache, photoCacheBudget(kTwoThreads, kPlenty));
    // The reference path and a self mosaic keep nothing.
    EXPECT_EQ(creationMemory(peyote, 500, EngineOptions{2, true}, kPlenty, 0).photoCache, 0u);
    EXPECT_EQ(creationMemory(layout(100, 32, StitchMode::Peyote, RenderMode::SelfMosaic), 500, kTwoThreads, kPlenty, 0)
                  .photoCache,
              0u);
}

TEST(CreationMemory, CacheBudgetShrinksSoTheCreationStillFits)
{
    const tmosaicproject s = layout(400, 48, StitchMode::Peyote);
    const CreationMemory without = creationMemory(s, 3000, EngineOptions{2, false, 0}, kPlenty, 0);
    ASSERT_EQ(without.photoCache, 0u);
    // An old mosaic held meanwhile is already allocated, so a status
    // measured now has it counted as in use: it takes nothing from the spare.
    struct Row {
        const char* name;
        std::uint64_t spare;  // available beyond the creation without a cache
        std::uint64_t held;   // an old mosaic's bytes
    };
    const Row rows[] = {{"nothing to spare", 0, 0},
                        {"a little", 100 * kMB, 0},
                        {"plenty", std::uint64_t{40} << 30, 0},
                        {"an old mosaic is not counted twice", 300 * kMB, 300 * kMB},
                        {"an old mosaic larger than the spare", 100 * kMB, 700 * kMB}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const MemoryStatus memory{std::uint64_t{64} << 30, without.total() + r.spare};
        const std::uint64_t budget = creationPhotoCacheBudget(s, 3000, kTwoThreads, memory);
        EXPECT_EQ(budget, std::min(r.spare, photoCacheBudget(kTwoThreads, memory)));
        const CreationMemory m = creationMemory(s, 3000, kTwoThreads, memory, r.held);
        EXPECT_EQ(m.heldByOldMosaic, r.held);
        EXPECT_EQ(m.photoCache, budget) << "3000 photographs fill any budget";
        EXPECT_NO_THROW(checkCreationMemory(s, m, memory)) << "a cache alone never refuses a creation";
    }
}

TEST(CreationMemory, OldMosaicAddsItsBytes)
{
    const tmosaicproject s = layout(200, 32, StitchMode::Loom);
    const CreationMemory none = creationMemory(s, 300, kTwoThreads, kPlenty, 0);
    const CreationMemory held = creationMemory(s, 300, kTwoThreads, kPlenty, 123 * kMB);
    EXPECT_EQ(held.total(), none.total() + 123 * kMB);
    EXPECT_EQ(renderingMemory(s, 300, kTwoThreads, 50 * kMB).total(), renderingMemory(s, 300, kTwoThreads, 0).total() + 50 * kMB);
}

TEST(CreationMemory, CreationCountsItsGridPictureAndItsTableAndGridCopies)
{
    // The creation draws aside: it holds its own table and grid beside the
    // project's, and the grid picture throughout; an opening lends its
    // restored table and grid and copies neither.
    struct Row {
        const char* name;
        tmosaicproject settings;
    };
    const Row rows[] = {{"small loom", layout(8, 8, StitchMode::Loom)},
                        {"largest grid", layout(800, 4, StitchMode::Peyote)},
                        {"self mosaic", layout(50, 8, StitchMode::Brick, RenderMode::SelfMosaic)}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::uint64_t grid = std::uint64_t(2 * r.settings.cellsX) * std::uint64_t(2 * r.settings.cellsY) * 3;
        EXPECT_EQ(gridPictureBytes(r.settings), grid);
        const CreationMemory created = creationMemory(r.settings, 0, kTwoThreads, kPlenty, 0);
        const CreationMemory opened = renderingMemory(r.settings, 0, kTwoThreads, 0);
        EXPECT_GE(opened.working, grid);
        // Without photographs the stages' own working memory is the same.
        EXPECT_EQ(created.working - opened.working, kTableBytes + kGridBytes);
    }
}

TEST(CreationMemory, RenderingAnOpenedProjectNeedsNoCacheAndNoMatching)
{
    const tmosaicproject s = layout(400, 16, StitchMode::Loom);
    const CreationMemory opened = renderingMemory(s, 5000, kTwoThreads, 0);
    const CreationMemory created = creationMemory(s, 5000, kTwoThreads, kPlenty, 0);
    EXPECT_EQ(opened.photoCache, 0u);
    EXPECT_EQ(opened.mosaic, created.mosaic);
    EXPECT_LT(opened.total(), created.total());
}

TEST(CreationMemory, RefusalNamesTheSizeAndBothAmounts)
{
    // What is compared with the available memory is what the creation still
    // has to allocate: an old mosaic held meanwhile is already in use, and
    // the refusal names it.
    struct Row {
        const char* name;
        std::uint64_t held;
        const char* refusal;
    };
    const Row rows[] = {
        {"nothing held", 0, "A mosaic of 3200 x 3200 pixels needs 351 MB of memory, but only 350 MB are available"},
        {"an old mosaic held", 80 * kMB,
         "A mosaic of 3200 x 3200 pixels needs 351 MB of memory, but only 350 MB are available (the mosaic shown "
         "keeps 80 MB until the new one replaces it)"},
    };
    const tmosaicproject s = layout(100, 32, StitchMode::Loom);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CreationMemory m;
        m.mosaic = 300 * kMB;
        m.working = 50 * kMB + 1;
        m.heldByOldMosaic = r.held;
        const std::uint64_t toAllocate = m.total() - r.held;
        EXPECT_NO_THROW(checkCreationMemory(s, m, MemoryStatus{0, toAllocate}));
        EXPECT_NO_THROW(checkCreationMemory(s, m, MemoryStatus{0, 0})) << "unknown memory is not checked";
        try {
            checkCreationMemory(s, m, MemoryStatus{0, toAllocate - 1});
            FAIL() << "no refusal";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), r.refusal);
        }
    }
}

} // namespace
} // namespace tw
