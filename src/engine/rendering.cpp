#include "engine/rendering.h"
#include "engine/analysis.h"

#include "engine/cell_layout.h"
#include "engine/cell_tiles.h"
#include "engine/job_pool.h"
#include "engine/photo_cache.h"
#include "engine/pipeline.h"
#include "imaging/load_picture.h"
#include "imaging/resample.h"
#include "imaging/transforms.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tw {

namespace {

// How often a wait for a photograph reports the cells drawn meanwhile.
constexpr std::chrono::milliseconds kWorkDonePeriod{50};

bool selfMosaic(const tmosaicproject& s) { return s.renderMode == RenderMode::SelfMosaic; }

// The path of a cell's photograph. The grid may come from a project file,
// so an index outside the library is an error rather than a stray read.
const std::string& photographPath(const CellPicLib& library, const MosaicCell& cell)
{
    if (cell.picture < 0 || static_cast<std::size_t>(cell.picture) >= library.count())
        throw Error("Library picture " + std::to_string(cell.picture) + " is not in the library (it holds " +
                    std::to_string(library.count()) + " pictures)");
    return library.entry(static_cast<std::size_t>(cell.picture));
}

int renderGauge(int x, int y, int cellsX, int cellsY) { return (y * cellsX + x) * 100 / (cellsX * cellsY); }

// One cell the plain way, through CellScratch.
void drawCellOneByOne(MosaicProject& project, const CellPicLib& library, int x, int y)
{
    const tmosaicproject& s = project.settings;
    const MosaicCell& cell = project.MosaicGrid.at(x, y);
    if (!cell.placed)
        return;
    Picture& scratch = project.CellScratch;
    if (selfMosaic(s))
        scratch = project.MainImage;
    else
        loadPicture(scratch, photographPath(library, cell));
    prepareCellPicture(scratch, s);
    const ShiftAmounts a = shiftAmounts(cell, s.colorEnhance);
    shiftColors(scratch, scratch, a.red, a.green, a.blue);
    flipPicture(scratch, scratch, cell.hFlip != 0, cell.vFlip != 0);
    const CellCopies copies = cellCopies(s, x, y, scratch.width(), scratch.height());
    for (int i = 0; i < copies.count; ++i) {
        const CellCopy& c = copies.copy[static_cast<std::size_t>(i)];
        stretchRect(scratch, c.source, project.MosaicImage, c.dest);
    }
}

void renderOneByOne(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer)
{
    const int cellsX = project.settings.cellsX, cellsY = project.settings.cellsY;
    for (int y = 0; y < cellsY; ++y)
        for (int x = 0; x < cellsX; ++x) {
            drawCellOneByOne(project, library, x, y);
            observer.setProgress(renderGauge(x, y, cellsX, cellsY));
            observer.pump();
        }
}

// A placed cell of the fast path.
struct CellTask {
    int x = 0, y = 0;
    MosaicCell cell;
    int job = -1;  // -1: the cell's library index is invalid
};

// The placed cells a worker draws together: all cells of one photograph
// (standard mode), or one row of cells (self-mosaic mode, where every cell
// shares the main picture).
struct TileJob {
    int photo = -1;  // index into the distinct paths; -1 for the main picture
    std::vector<std::size_t> tasks;
    std::vector<std::size_t> libraryIndices;  // distinct positions listing the photograph
};

// The photograph of a job as the library stage left it in the cache (its
// compact data or the picture itself), under any of the library positions
// that list it; the others are dropped, since this job draws all cells of
// that path.
bool takePrepared(PreparedPhotoCache* cache, const TileJob& job, const std::string& path,
                  const tmosaicproject& settings, Picture& out, std::unique_ptr<const CompactTile>& compact)
{
    if (!cache)
        return false;
    bool found = false;
    for (std::size_t index : job.libraryIndices) {
        if (!found) {
            const PreparedPhotoKey key = PreparedPhotoKey::of(index, path, settings);
            compact = cache->takeCompact(key);
            found = compact != nullptr || cache->take(key, out);
        } else {
            cache->release(index);
        }
    }
    return found;
}

// Lets workers draw into the mosaic except while this thread reports: the
// pump runs window handlers, which may read MosaicImage.
class DrawGate {
public:
    void enter()
    {
        std::unique_lock lock(mutex_);
        open_.wait(lock, [this] { return !held_; });
        ++drawing_;
    }
    void leave()
    {
        {
            std::lock_guard lock(mutex_);
            if (--drawing_ > 0)
                return;
        }
        idle_.notify_all();
    }
    // Waits for the cells being drawn, then keeps workers out until open().
    void hold()
    {
        std::unique_lock lock(mutex_);
        held_ = true;
        idle_.wait(lock, [this] { return drawing_ == 0; });
    }
    void open()
    {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        open_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable open_, idle_;
    int drawing_ = 0;
    bool held_ = false;
};

class GateHeld {
public:
    explicit GateHeld(DrawGate& gate) : gate_(gate) { gate_.hold(); }
    ~GateHeld() { gate_.open(); }
    GateHeld(const GateHeld&) = delete;
    GateHeld& operator=(const GateHeld&) = delete;

private:
    DrawGate& gate_;
};

// Gives cell (x, y)'s rectangles the border colour again. Cells' rectangles
// never overlap (each lies inside its own cell, shifted by half a cell in
// odd rows or columns), so this undoes the cell and nothing else.
void undrawCell(const tmosaicproject& settings, int x, int y, Picture& mosaic)
{
    // The rectangles do not depend on the picture's size; any size with
    // both halves non-empty yields all of them.
    const CellCopies copies = cellCopies(settings, x, y, 2, 2);
    for (int i = 0; i < copies.count; ++i)
        mosaic.fillRect(copies.copy[static_cast<std::size_t>(i)].dest, bgrFromColorRef(settings.borderColor));
}

// Every distinct photograph is decoded once, by one worker, in the order of
// its first cell; the worker draws all of that photograph's cells straight
// into MosaicImage, which holds them anyway, so no cell waits in memory of
// its own however far the workers run ahead of this thread. This thread
// walks the cells in row order, waits for each one's photograph and reports
// as the one-by-one loop does; a photograph that failed to load throws at
// its first cell, as it would there, and the cells after it that workers
// had drawn already are given the border colour again, so the mosaic holds
// exactly the cells before the failing one. A photograph the library stage
// did not leave in the cache is drawn from the analysis store's compact
// data where it holds them for the file's content and these settings.
void renderWithWorkers(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                       unsigned threads, PreparedPhotoCache* cache, DecodeBudget& budget, AnalysisStore* store)
{
    const tmosaicproject settings = project.settings;
    const int cellsX = settings.cellsX, cellsY = settings.cellsY;
    const bool self = selfMosaic(settings);
    const Size dest = wholeCellSize(settings);
    const bool destDrawable = dest.width > 0 && dest.height > 0;

    std::vector<CellTask> tasks;
    std::vector<TileJob> jobs;
    std::vector<std::string> paths;
    std::unordered_map<std::string, int> photoJob;  // path -> job
    for (int y = 0; y < cellsY; ++y) {
        const std::size_t rowJob = jobs.size();
        for (int x = 0; x < cellsX; ++x) {
            const MosaicCell& cell = project.MosaicGrid.at(x, y);
            if (!cell.placed)
                continue;
            CellTask t{x, y, cell, -1};
            if (self) {
                if (jobs.size() == rowJob)
                    jobs.push_back(TileJob{-1, {}, {}});
                t.job = static_cast<int>(rowJob);
            } else if (cell.picture >= 0 && static_cast<std::size_t>(cell.picture) < library.count()) {
                const std::string& path = library.entry(static_cast<std::size_t>(cell.picture));
                auto [it, added] = photoJob.emplace(path, static_cast<int>(jobs.size()));
                if (added) {
                    jobs.push_back(TileJob{static_cast<int>(paths.size()), {}, {}});
                    paths.push_back(path);
                }
                t.job = it->second;
                std::vector<std::size_t>& listed = jobs[static_cast<std::size_t>(t.job)].libraryIndices;
                const auto index = static_cast<std::size_t>(cell.picture);
                if (std::find(listed.begin(), listed.end(), index) == listed.end())
                    listed.push_back(index);
            }
            if (t.job >= 0)
                jobs[static_cast<std::size_t>(t.job)].tasks.push_back(tasks.size());
            tasks.push_back(t);
        }
    }

    // Photographs no cell shows are of no further use (in self-mosaic mode
    // none is shown).
    if (cache) {
        std::vector<char> wanted(library.count(), 0);
        for (const TileJob& job : jobs)
            for (std::size_t index : job.libraryIndices)
                wanted[index] = 1;
        cache->keepOnly(wanted);
    }

    // The main picture is prepared once for every self-mosaic cell.
    Picture mainPrepared;
    std::optional<ReducedPicture> mainReduced;
    if (self && !tasks.empty()) {
        mainPrepared = project.MainImage;
        prepareCellPicture(mainPrepared, settings);
        if (!mainPrepared.empty() && destDrawable)
            mainReduced.emplace(mainPrepared, dest);
    }

    Picture& mosaic = project.MosaicImage;
    DrawGate gate;
    // Cells drawn so far, in any order: the workers draw a photograph's cells
    // wherever they lie, so the first rows may wait for most photographs.
    std::atomic<std::uint64_t> drawn{0};
    auto draw = [&](const CellTile& tile) {
        gate.enter();
        drawTile(tile, mosaic);
        gate.leave();
        drawn.fetch_add(1, std::memory_order_relaxed);
    };
    auto drawJob = [&](std::size_t j, const JobPool& pool) {
        const TileJob& job = jobs[j];
        Picture loaded;
        std::unique_ptr<const CompactTile> compact;
        std::optional<ReducedPicture> ownReduced;
        const Picture* prepared = &mainPrepared;
        const ReducedPicture* reduced = mainReduced ? &*mainReduced : nullptr;
        // With compact data the photograph is decoded only for a cell that
        // data cannot draw.
        bool haveLoaded = true;
        if (job.photo >= 0) {
            const std::string& path = paths[static_cast<std::size_t>(job.photo)];
            haveLoaded = takePrepared(cache, job, path, settings, loaded, compact) && !compact;
            if (!haveLoaded && !compact && store && destDrawable)
                compact = storedDrawingData(path, settings, *store, budget);
            if (!haveLoaded && !compact) {
                loadCellPicture(loaded, path, settings, budget);
                haveLoaded = true;
            }
            prepared = &loaded;
            reduced = nullptr;
        }
        for (std::size_t k : job.tasks) {
            if (pool.stopping())
                return;
            const CellTask& t = tasks[k];
            const ShiftAmounts amounts = shiftAmounts(t.cell, settings.colorEnhance);
            const bool hFlip = t.cell.hFlip != 0, vFlip = t.cell.vFlip != 0;
            if (compact) {
                const CellCopies copies =
                    cellCopies(settings, t.x, t.y, compact->sourceWidth(), compact->sourceHeight());
                if (copies.count == 0)
                    continue;  // nothing to draw: the tile stays empty
                if (compact->draws(copies, amounts, hFlip, vFlip)) {
                    draw(compact->tile(copies, amounts, hFlip, vFlip));
                    continue;
                }
                if (!haveLoaded) {
                    loadCellPicture(loaded, paths[static_cast<std::size_t>(job.photo)], settings, budget);
                    haveLoaded = true;
                }
            }
            const CellCopies copies = cellCopies(settings, t.x, t.y, prepared->width(), prepared->height());
            if (job.photo >= 0 && !reduced && copies.count == 1 && !copies.split && destDrawable) {
                ownReduced.emplace(loaded, dest);
                reduced = &*ownReduced;
            }
            draw(renderTile(*prepared, reduced, copies, amounts, hFlip, vFlip));
        }
    };
    std::size_t next = 0;
    std::exception_ptr failure;
    {
        JobPool pool(jobs.size(), threads, 0, [&](std::size_t j) { drawJob(j, pool); });
        try {
            for (int y = 0; y < cellsY; ++y)
                for (int x = 0; x < cellsX; ++x) {
                    if (next < tasks.size() && tasks[next].x == x && tasks[next].y == y) {
                        const CellTask& t = tasks[next];
                        if (t.job < 0)
                            photographPath(library, t.cell);  // throws the index error
                        pool.wait(static_cast<std::size_t>(t.job), kWorkDonePeriod, [&] {
                            GateHeld held(gate);
                            observer.showWorkDone(drawn.load(std::memory_order_relaxed), tasks.size());
                        });
                        ++next;
                    }
                    GateHeld held(gate);
                    observer.setProgress(renderGauge(x, y, cellsX, cellsY));
                    observer.pump();
                }
        } catch (...) {
            failure = std::current_exception();
        }
    }  // the workers have stopped
    if (failure) {
        for (std::size_t k = next; k < tasks.size(); ++k)
            undrawCell(settings, tasks[k].x, tasks[k].y, mosaic);
        std::rethrow_exception(failure);
    }
}

} // namespace

void renderCell(MosaicProject& project, const CellPicLib& library, int x, int y)
{
    const tmosaicproject& s = project.settings;
    checkRenderGeometry(s);
    if (x < 0 || y < 0 || x >= s.cellsX || y >= s.cellsY)
        return;
    drawCellOneByOne(project, library, x, y);
}

void renderMosaic(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                  const EngineOptions& options, PreparedPhotoCache* cache)
{
    const tmosaicproject& s = project.settings;
    checkRenderGeometry(s);
    observer.setJobLabel(kJobRendering);
    // Growing would copy the old pixels into the new block, the old and the
    // new mosaic held at once, only for the fill to cover them.
    if (project.MosaicImage.byteSize() < std::uint64_t(std::max(s.mosaicWidth, 0)) * std::uint64_t(std::max(s.mosaicHeight, 0)) * 3)
        project.MosaicImage.clear();
    project.MosaicImage.resizeUninitialized(s.mosaicWidth, s.mosaicHeight);
    project.MosaicImage.fill(bgrFromColorRef(s.borderColor));
    if (options.referencePath)
        renderOneByOne(project, library, observer);
    else
        renderWithWorkers(project, library, observer, resolveThreadCount(options.threads), cache,
                          options.decodeBudget ? *options.decodeBudget : sharedDecodeBudget(),
                          options.analysisStore);
    project.projectState = ProjectState::Mosaic;
    observer.setProgress(0);
    observer.setJobLabel(kJobDone);
}

} // namespace tw
