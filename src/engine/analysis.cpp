#include "engine/analysis.h"

#include "engine/cell_layout.h"
#include "engine/job_pool.h"
#include "engine/photo_cache.h"
#include "engine/pipeline.h"
#include "imaging/load_picture.h"
#include "imaging/signature.h"
#include "library/cell_pic_lib.h"

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
            cache->offer(PreparedPhotoKey::of(i, paths[i], settings), picture);
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
