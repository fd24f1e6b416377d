#include "engine/analysis.h"

#include "cache/analysis_store.h"
#include "engine/cell_layout.h"
#include "engine/cell_tiles.h"
#include "engine/job_pool.h"
#include "engine/photo_cache.h"
#include "engine/pipeline.h"
#include "engine/stored_analysis.h"
#include "imaging/load_picture.h"
#include "imaging/picture_region.h"
#include "imaging/row_reducer.h"
#include "imaging/signature.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tw {

namespace {

// The signature of a library photograph as it will be drawn (cropped and
// grey when those options are on).
ColorSignature analysePhotograph(Picture& scratch, const std::string& path, const tmosaicproject& settings,
                                 DecodeBudget& budget)
{
    loadPicture(scratch, path, budget);
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

void analyseOneByOne(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                     DecodeBudget& budget)
{
    const std::size_t n = library.count();
    Picture scratch;
    for (std::size_t i = 0; i < n; ++i) {
        storeEntry(project, i, analysePhotograph(scratch, library.entry(i), project.settings, budget));
        observer.setProgress(libraryGauge(i, n));
        observer.pump();
    }
}

// The reductions a photograph's rows feed while it is decoded: the 32 x 32
// one of its signature and, when the rendering stage will draw its cells
// from compact data, the one to the cell size with the source ranges of
// every destination byte (one reduction does both when the sizes agree).
class AnalysisRows final : public RegionRowSink {
public:
    explicit AnalysisRows(Size cell) : cell_(cell) {}

    void begin(int width, int height) override
    {
        if (width <= 0 || height <= 0)
            return;
        const Size side{kSignatureSide, kSignatureSide};
        const bool drawable = cell_.width > 0 && cell_.height > 0;
        signature_.emplace(width, height, side, drawable && cell_ == side);
        if (drawable && !(cell_ == side))
            cell_reduction_.emplace(width, height, cell_, true);
    }

    void rows(const PictureView& view, int first, int count) override
    {
        if (signature_)
            signature_->addRows(view, first, count);
        if (cell_reduction_)
            cell_reduction_->addRows(view, first, count);
    }

    ColorSignature signature() const
    {
        return signature_ ? signatureOfReduction(signature_->reduced()) : computeSignature(Picture{});
    }

    // The reduction to the cell size with ranges, if one was made.
    std::optional<RowReducer> takeCellReduction()
    {
        if (cell_reduction_)
            return std::move(cell_reduction_);
        if (signature_ && !signature_->low().empty())
            return std::move(signature_);
        return std::nullopt;
    }

private:
    Size cell_;
    std::optional<RowReducer> signature_;
    std::optional<RowReducer> cell_reduction_;
};

// The compact drawing data of a prepared photograph's unsplit cells (all
// of a loom's cells), made from the reduction its rows fed: null when there
// is no reduction, when it has no exact shortcut (exact false) or when the
// data outgrows limitBytes.
struct CompactData {
    std::unique_ptr<const CompactTile> tile;
    bool exact = false;
};

CompactData makeCompactData(const PictureView& picture, std::optional<RowReducer> reduction,
                            const ChannelRanges& ranges, std::uint64_t limitBytes)
{
    CompactData made;
    if (!reduction)
        return made;
    const ReducedPicture reduced(picture, std::move(*reduction));
    if (!reduced.usable())
        return made;
    made.exact = true;
    auto tile = std::make_unique<const CompactTile>(reduced, ranges, limitBytes);
    if (tile->complete())
        made.tile = std::move(tile);
    return made;
}

// What the rendering stage gets of a prepared photograph. In a loom every
// cell is drawn whole at one size, so the compact data of that size does
// (building stops once it outgrows the whole budget, and nothing is kept);
// other layouts cut some cells in two and keep the picture.
void keepForRendering(PreparedPhotoCache& cache, const PreparedPhotoKey& key, const PictureView& picture,
                      CompactData made, const tmosaicproject& settings)
{
    if (settings.stitchMode == StitchMode::Loom && made.exact) {
        if (made.tile)
            cache.offer(key, std::move(made.tile));
        else
            cache.release(key.index);
        return;
    }
    cache.offer(key, picture);
}

// The most the compact data of one photograph may take in the analysis
// cache (far beyond what real photographs need at any cell size).
constexpr std::uint64_t kStoredTileLimit = std::uint64_t{64} << 20;

bool cellsDrawn(const tmosaicproject& settings)
{
    const Size cell = wholeCellSize(settings);
    return cell.width > 0 && cell.height > 0;
}

// A photograph's file as the analysis cache reads it: its reader, its
// bytes (held in the decode budget) and their hash.
struct ReadFile {
    PictureFormat format = PictureFormat::Bmp;
    DecodeBudget::Reservation reservation;
    Bytes bytes;
    ContentHash hash;
};

// Null when the file cannot be read as the loader reads it; the plain path
// then fails with the loader's own error.
std::optional<ReadFile> readForStore(const std::string& path, DecodeBudget& budget)
{
    try {
        ReadFile file;
        file.format = pictureFormatFor(path);
        file.reservation = budget.reserve(0);
        file.bytes = readPictureFile(path, file.reservation);
        file.hash = contentHash(file.bytes.data(), file.bytes.size());
        return file;
    } catch (const Error&) {
        return std::nullopt;
    }
}

// One photograph in one pass: decoded (only the part the crop keeps) into
// a buffer of the decode budget, each row fed to the reductions while it is
// in the cache, the compact data made from the reductions and the buffer;
// nothing of the photograph's own size is allocated or copied.
//
// With the analysis cache the file is read and hashed first. When the cache
// holds its result, that is all: the signature comes from there and the
// compact data goes to the rendering stage. Otherwise the very bytes that
// were hashed are decoded (a file changing meanwhile cannot give one
// content's result under another's hash) and the result is stored.
ColorSignature analyseInOnePass(const std::string& path, const tmosaicproject& settings, PreparedPhotoCache* cache,
                                const PreparedPhotoKey& key, DecodeBudget& budget, AnalysisStore* store)
{
    const bool keep = cache && cache->budget() > 0;
    const bool loom = settings.stitchMode == StitchMode::Loom;
    std::optional<ReadFile> file = store ? readForStore(path, budget) : std::nullopt;
    std::optional<StoreKey> storeKey;
    // The amounts of stored drawing data that fell short of this
    // creation's: the data is built again for both.
    std::optional<ChannelRanges> earlier;
    if (file) {
        storeKey = StoreKey{file->hash, storedAnalysisVariant(file->format, settings)};
        if (std::optional<std::vector<std::uint8_t>> value = store->find(*storeKey)) {
            try {
                StoredAnalysis stored = decodeStoredAnalysis(*value, settings.colorEnhance);
                if (stored.tile && !stored.covers && cellsDrawn(settings))
                    earlier = stored.storedRanges;
                else if (keep && stored.tile)
                    cache->offer(key, std::move(stored.tile));
                else if (keep)
                    cache->release(key.index);
                if (!earlier)
                    return stored.signature;
            } catch (const std::invalid_argument&) {
                store->drop(*storeKey);
            }
        }
    }
    const bool storing = storeKey.has_value();
    const bool reduceCells = cellsDrawn(settings) && (storing || (keep && loom));
    AnalysisRows rows(reduceCells ? wholeCellSize(settings) : Size{});
    const DecodedRegion region =
        file ? decodePictureRegion(path, file->format, std::move(file->bytes), std::move(file->reservation),
                                   cellRegionRequest(settings), &rows)
             : decodePictureRegion(path, cellRegionRequest(settings), &rows, budget);
    const ColorSignature signature = rows.signature();
    if (!storing && !keep)
        return signature;
    // Stored data covers what later creations may ask of it; what only this
    // creation draws needs only its own amounts.
    const ChannelRanges own = amountRanges(signature, settings.colorEnhance);
    const ChannelRanges ranges = storing ? storedAmountRanges(signature, settings.colorEnhance, earlier) : own;
    const std::uint64_t limit = storing ? kStoredTileLimit : cache->budget();
    CompactData made = makeCompactData(region.view(), rows.takeCellReduction(), ranges, limit);
    if (storing) {
        std::vector<std::uint8_t> value = encodeStoredAnalysis(signature, made.tile.get());
        // This creation draws from the data as a later one will find it,
        // cut to its own amounts.
        if (keep && loom && made.tile && ranges != own)
            made.tile = decodeStoredAnalysis(value, settings.colorEnhance).tile;
        store->put(*storeKey, std::move(value));
    }
    if (keep)
        keepForRendering(*cache, key, region.view(), std::move(made), settings);
    return signature;
}

// Photographs are decoded ahead on worker threads, a bounded window at a
// time; this thread takes the results strictly in list order, so the table,
// the gauge, the pumps and the point of a failure are those of the
// one-by-one loop. A worker offers its prepared photograph to the cache
// itself, so the pixels are written once by the thread that decoded them;
// with a budget too small for the whole library, which photographs stay is
// first come, first kept, which changes nothing but the time rendering
// takes.
void analyseInParallel(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                       unsigned threads, PreparedPhotoCache* cache, DecodeBudget& budget, AnalysisStore* store)
{
    // What was worked out goes to the analysis cache also when a later
    // photograph fails.
    struct FlushAtEnd {
        AnalysisStore* store;
        ~FlushAtEnd()
        {
            if (store)
                store->flush();
        }
    } flushAtEnd{store};
    const std::vector<std::string> paths = library.entries();
    const tmosaicproject settings = project.settings;
    const std::size_t n = paths.size();
    std::vector<ColorSignature> signatures(n);

    JobPool pool(n, threads, 2 * std::size_t{threads}, [&](std::size_t i) {
        signatures[i] =
            analyseInOnePass(paths[i], settings, cache, PreparedPhotoKey::of(i, paths[i], settings), budget, store);
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
    DecodeBudget& budget = options.decodeBudget ? *options.decodeBudget : sharedDecodeBudget();
    if (options.referencePath)
        analyseOneByOne(project, library, observer, budget);
    else
        analyseInParallel(project, library, observer, threads, cache, budget, options.analysisStore);
}

std::unique_ptr<const CompactTile> storedDrawingData(const std::string& path, const tmosaicproject& settings,
                                                     AnalysisStore& store, DecodeBudget& budget)
{
    std::optional<ReadFile> file = readForStore(path, budget);
    if (!file)
        return nullptr;
    const StoreKey key{file->hash, storedAnalysisVariant(file->format, settings)};
    // The file's bytes are of no further use.
    file.reset();
    std::optional<std::vector<std::uint8_t>> value = store.find(key);
    if (!value)
        return nullptr;
    try {
        return decodeStoredAnalysis(*value, settings.colorEnhance).tile;
    } catch (const std::invalid_argument&) {
        store.drop(key);
        return nullptr;
    }
}

} // namespace tw
