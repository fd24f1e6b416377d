#include "engine/analysis.h"

#include "engine/cell_layout.h"
#include "engine/cell_tiles.h"
#include "engine/job_pool.h"
#include "engine/photo_cache.h"
#include "engine/pipeline.h"
#include "imaging/load_picture.h"
#include "imaging/signature.h"
#include "library/cell_pic_lib.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace tw {

namespace {

// The signature of a library photograph as it will be drawn (cropped and
// grey when those options are on).
ColorSignature analysePhotograph(Picture& scratch, const std::string& path, const tmosaicproject& settings)
{
    loadPicture(scratch, path);
    prepareCellPicture(scratch, settings);
    return computeSignature(scratch);
}

void storeEntry(MosaicProject& project, std::size_t i, const ColorSignature& signature)
{
    CellPicEntry& entry = project.CellPicTable[i];
    entry.signature = signature;
    entry.usageCount = 0;
    entry.reserved = 0;
}

int libraryGauge(std::size_t i, std::size_t n) { return static_cast<int>((i * 100) / n) - 1; }

void analyseOneByOne(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer)
{
    const std::size_t n = library.count();
    Picture scratch;
    for (std::size_t i = 0; i < n; ++i) {
        storeEntry(project, i, analysePhotograph(scratch, library.entry(i), project.settings));
        observer.setProgress(libraryGauge(i, n));
        observer.pump();
    }
}

// What the rendering stage gets of a prepared photograph. In a loom every
// cell is drawn whole at one size, so the compact data of that size does
// (building stops once it outgrows the whole budget); other layouts cut
// some cells in two and keep the picture.
void keepForRendering(PreparedPhotoCache& cache, const PreparedPhotoKey& key, const Picture& picture,
                      const ColorSignature& signature, const tmosaicproject& settings)
{
    if (cache.budget() == 0)
        return;
    const Size dest = wholeCellSize(settings);
    if (settings.stitchMode == StitchMode::Loom && dest.width > 0 && dest.height > 0 && !picture.empty()) {
        const ReducedPicture reduced(picture, dest);
        if (reduced.usable()) {
            auto tile = std::make_unique<const CompactTile>(reduced, amountRanges(signature, settings.colorEnhance),
                                                            cache.budget());
            if (tile->complete())
                cache.offer(key, std::move(tile));
            else
                cache.release(key.index);
            return;
        }
    }
    cache.offer(key, picture);
}

// Photographs are decoded ahead on worker threads, a bounded window at a
// time; this thread takes the results strictly in list order, so the table,
// the gauge, the pumps and the point of a failure are those of the
// one-by-one loop. A worker offers its prepared photograph to the cache
// itself and lets go of it at once, so the pixels are written once by the
// thread that decoded them and their memory is reused by its next
// photograph; with a budget too small for the whole library, which
// photographs stay is first come, first kept, which changes nothing but
// the time rendering takes.
void analyseInParallel(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                       unsigned threads, PreparedPhotoCache* cache)
{
    const std::vector<std::string> paths = library.entries();
    const tmosaicproject settings = project.settings;
    const std::size_t n = paths.size();
    std::vector<ColorSignature> signatures(n);

    JobPool pool(n, threads, 2 * std::size_t{threads}, [&](std::size_t i) {
        Picture picture;
        signatures[i] = analysePhotograph(picture, paths[i], settings);
        if (cache)
            keepForRendering(*cache, PreparedPhotoKey::of(i, paths[i], settings), picture, signatures[i], settings);
    });
    for (std::size_t i = 0; i < n; ++i) {
        pool.wait(i);
        storeEntry(project, i, signatures[i]);
        pool.release(i);
        observer.setProgress(libraryGauge(i, n));
        observer.pump();
    }
}

} // namespace

void analyzeLibrary(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                    const EngineOptions& options, PreparedPhotoCache* cache)
{
    checkLibraryCapacity(library);
    observer.setJobLabel(kJobLibrary);
    observer.setProgress(0);
    if (library.count() == 0)
        return;
    const unsigned threads = resolveThreadCount(options.threads);
    if (options.referencePath)
        analyseOneByOne(project, library, observer);
    else
        analyseInParallel(project, library, observer, threads, cache);
}

} // namespace tw
