#include "engine/creation_memory.h"

#include "engine/cell_layout.h"
#include "engine/job_pool.h"
#include "engine/matching.h"
#include "engine/photo_cache.h"
#include "engine/pipeline.h"
#include "platform/errors.h"

#include <algorithm>
#include <string>

namespace tw {

namespace {

std::uint64_t side(std::int32_t v) { return v > 0 ? static_cast<std::uint64_t>(v) : 0; }

std::uint64_t mosaicBytes(const tmosaicproject& s) { return side(s.mosaicWidth) * side(s.mosaicHeight) * 3; }

std::uint64_t cellCount(const tmosaicproject& s) { return side(s.cellsX) * side(s.cellsY); }

// The picture every unsplit cell is drawn at.
std::uint64_t cellPictureBytes(const tmosaicproject& s)
{
    const Size dest = wholeCellSize(s);
    return dest.width > 0 && dest.height > 0 ? std::uint64_t(dest.width) * std::uint64_t(dest.height) * 3 : 0;
}

// What the library stage keeps of one photograph: in a loom its compact
// drawing data, the cell-sized reduction and the results of the amounts
// that clamp, which for photographs comes to a few times the reduction;
// otherwise the prepared photograph itself.
constexpr std::uint64_t kCompactPerCellPicture = 4;
std::uint64_t keptPerPhotograph(const tmosaicproject& s)
{
    const std::uint64_t cell = cellPictureBytes(s);
    if (s.stitchMode == StitchMode::Loom && cell > 0)
        return kCompactPerCellPicture * cell;
    return kTypicalPhotographBytes;
}

// Decoding a photograph: the picture, and libjpeg's working rows.
constexpr std::uint64_t kDecodeOverhead = std::uint64_t{4} << 20;

// The rendering stage's record of each placed cell and of the photographs:
// a task per cell (position, cell, photograph) and its place in its
// photograph's list, and per photograph its path, list and index entry.
constexpr std::uint64_t kRenderBytesPerCell = 48;
constexpr std::uint64_t kRenderBytesPerPhotograph = 256;

// What the machine's allocator keeps of freed memory between the stages
// and the program's own small allocations.
constexpr std::uint64_t kAllocatorSlack = std::uint64_t{16} << 20;

struct Parts {
    std::uint64_t mosaic = 0, throughout = 0, libraryWork = 0, matchingWork = 0, renderingWork = 0;
};

Parts partsOf(const tmosaicproject& s, std::size_t libraryCount, const EngineOptions& options, bool wholeCreation)
{
    Parts p;
    p.mosaic = mosaicBytes(s);
    const std::uint64_t threads = resolveThreadCount(options.threads);
    const bool self = s.renderMode == RenderMode::SelfMosaic;
    const std::uint64_t n = libraryCount;
    const std::uint64_t t = cellCount(s);
    const std::uint64_t decoding = threads * (kTypicalPhotographBytes + kDecodeOverhead);
    const std::uint64_t drawing = threads * 4 * cellPictureBytes(s);  // reductions and tiles of a cell
    // An opening lends its restored table and grid to the work; a creation
    // copies them.
    p.throughout = gridPictureBytes(s) + (wholeCreation ? kCreationWorkBytes : 0);
    if (wholeCreation) {
        p.libraryWork = n > 0 ? decoding : 0;
        if (s.renderMode == RenderMode::Standard)
            p.matchingWork = matchingMemory(static_cast<std::int64_t>(t), static_cast<std::int64_t>(n), options);
    }
    // Rendering decodes every photograph a worker draws from, unless the
    // library stage kept it; a self-mosaic prepares the main picture once.
    p.renderingWork = t * kRenderBytesPerCell + n * kRenderBytesPerPhotograph + drawing + (self ? 0 : decoding);
    return p;
}

std::uint64_t totalOf(const Parts& p, std::uint64_t cache, std::uint64_t held)
{
    return held + kAllocatorSlack + p.throughout + cache +
           std::max({p.libraryWork, p.matchingWork, p.mosaic + p.renderingWork});
}

} // namespace

std::uint64_t creationPhotoCacheBudget(const tmosaicproject& settings, std::size_t libraryCount,
                                       const EngineOptions& options, const MemoryStatus& memory)
{
    if (options.referencePath || settings.renderMode == RenderMode::SelfMosaic)
        return 0;
    const std::uint64_t budget = photoCacheBudget(options, memory);
    if (memory.availablePhysical == 0)
        return budget;
    // An old mosaic held meanwhile is already allocated: a status measured
    // now counts it as in use, so the rest is what the creation still has
    // to allocate.
    const std::uint64_t rest = totalOf(partsOf(settings, libraryCount, options, true), 0, 0);
    return std::min(budget, memory.availablePhysical > rest ? memory.availablePhysical - rest : 0);
}

CreationMemory creationMemory(const tmosaicproject& settings, std::size_t libraryCount, const EngineOptions& options,
                              const MemoryStatus& memory, std::uint64_t heldByOldMosaic)
{
    const Parts p = partsOf(settings, libraryCount, options, true);
    CreationMemory m;
    m.mosaic = p.mosaic;
    m.heldByOldMosaic = heldByOldMosaic;
    m.photoCache = std::min(creationPhotoCacheBudget(settings, libraryCount, options, memory),
                            std::uint64_t(libraryCount) * keptPerPhotograph(settings));
    m.working = totalOf(p, m.photoCache, heldByOldMosaic) - m.mosaic - m.photoCache - heldByOldMosaic;
    return m;
}

CreationMemory renderingMemory(const tmosaicproject& settings, std::size_t libraryCount, const EngineOptions& options,
                               std::uint64_t heldByOldMosaic)
{
    const Parts p = partsOf(settings, libraryCount, options, false);
    CreationMemory m;
    m.mosaic = p.mosaic;
    m.heldByOldMosaic = heldByOldMosaic;
    m.working = totalOf(p, 0, heldByOldMosaic) - m.mosaic - heldByOldMosaic;
    return m;
}

std::uint64_t gridPictureBytes(const tmosaicproject& s) { return 2 * side(s.cellsX) * 2 * side(s.cellsY) * 3; }

void checkCreationMemory(const tmosaicproject& s, const CreationMemory& need, const MemoryStatus& memory)
{
    const std::uint64_t toAllocate = need.total() - need.heldByOldMosaic;
    if (memory.availablePhysical == 0 || toAllocate <= memory.availablePhysical)
        return;
    std::string text = "A mosaic of " + std::to_string(s.mosaicWidth) + " x " + std::to_string(s.mosaicHeight) +
                       " pixels needs " + std::to_string((toAllocate + 1048575) / 1048576) +
                       " MB of memory, but only " + std::to_string(memory.availablePhysical / 1048576) +
                       " MB are available";
    if (need.heldByOldMosaic > 0)
        text += " (the mosaic shown keeps " + std::to_string((need.heldByOldMosaic + 1048575) / 1048576) +
                " MB until the new one replaces it)";
    throw Error(text);
}

} // namespace tw
