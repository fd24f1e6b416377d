#include "engine/pipeline.h"

#include "engine/analysis.h"
#include "engine/creation_memory.h"
#include "engine/grid.h"
#include "engine/matching.h"
#include "engine/photo_cache.h"
#include "engine/rendering.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"
#include "platform/memory.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace tw {

namespace {

// "Cell width (cellWidth) is 0": the field as the user knows it, its name
// in the record, and the value found.
std::string fieldText(const char* what, std::int64_t value)
{
    std::string text = std::string(what) + " is " + std::to_string(value);
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

// One side of the mosaic: cells, cell size and the stored total must agree,
// and the total must fit a picture.
void checkSide(const char* cellsName, std::int32_t cells, const char* sizeName, std::int32_t size,
               const char* totalName, std::int32_t total)
{
    if (cells > 0 && size < 1)
        throw Error(fieldText(sizeName, size) + ", but a cell must be at least 1 pixel");
    const std::int64_t expected = std::int64_t{cells} * size;
    if (total != expected)
        throw Error(fieldText(totalName, total) + ", but " + cellsName + " x " + sizeName + " is " +
                    std::to_string(expected));
    if (total > Picture::kMaxDimension)
        throw Error(fieldText(totalName, total) + ", more than the largest picture side of " +
                    std::to_string(Picture::kMaxDimension) + " pixels");
}

} // namespace

void checkSettings(const tmosaicproject& s)
{
    checkSettings(s, queryMemoryStatus());
}

void checkSettings(const tmosaicproject& s, const MemoryStatus& memory)
{
    checkSettings(s, memory, 0);
}

void checkSettings(const tmosaicproject& s, const MemoryStatus& memory, std::uint64_t heldMosaicBytes)
{
    checkGridDimensions(s);
    checkSide("cells across", s.cellsX, "cell width (cellWidth)", s.cellWidth, "mosaic width (mosaicWidth)",
              s.mosaicWidth);
    checkSide("cells down", s.cellsY, "cell height (cellHeight)", s.cellHeight, "mosaic height (mosaicHeight)",
              s.mosaicHeight);
    // A record from a file can ask for a mosaic far larger than the machine
    // holds; refuse it instead of letting the allocation take the system down.
    // The new picture is allocated beside the one still shown, never in its
    // place, so the held picture is no credit.
    const std::uint64_t bytes = std::uint64_t(s.mosaicWidth > 0 ? s.mosaicWidth : 0) *
                                std::uint64_t(s.mosaicHeight > 0 ? s.mosaicHeight : 0) * 3;
    if (memory.availablePhysical > 0 && bytes > memory.availablePhysical) {
        std::string text = "A mosaic of " + std::to_string(s.mosaicWidth) + " x " + std::to_string(s.mosaicHeight) +
                           " pixels needs " + std::to_string((bytes + 1048575) / 1048576) +
                           " MB of memory, but only " + std::to_string(memory.availablePhysical / 1048576) +
                           " MB are available";
        if (heldMosaicBytes > 0)
            text += " (the mosaic shown keeps " + std::to_string((heldMosaicBytes + 1048575) / 1048576) +
                    " MB until the new one replaces it)";
        throw Error(text);
    }
}

void checkLibraryCapacity(const CellPicLib& library)
{
    if (library.count() > static_cast<std::size_t>(kTableSize))
        throw Error("The image library holds " + std::to_string(library.count()) +
                    " pictures, but a mosaic can use at most " + std::to_string(kTableSize));
}

namespace {

// Something of the project lent to a work project by swapping: handed back
// when the work fails; after commitWork the swap back has already happened.
template <class T>
class Lent {
public:
    Lent(T& owner, T& work) noexcept : owner_(owner), work_(work) { swapStores(owner_, work_); }
    ~Lent()
    {
        if (!committed_)
            swapStores(owner_, work_);
    }
    Lent(const Lent&) = delete;
    Lent& operator=(const Lent&) = delete;
    void committed() noexcept { committed_ = true; }

private:
    static void swapStores(T& a, T& b) noexcept
    {
        if constexpr (requires { a.swap(b); })
            a.swap(b);
        else
            std::swap(a, b);
    }
    T& owner_;
    T& work_;
    bool committed_ = false;
};

// A work project starting from the project's settings, path, random
// sequence and view fields; pictures, table and grid are the caller's choice.
std::unique_ptr<MosaicProject> startWork(const MosaicProject& project)
{
    auto work = std::make_unique<MosaicProject>();
    work->settings = project.settings;
    work->mainImagePath = project.mainImagePath;
    work->projectState = project.projectState;
    work->viewScale = project.viewScale;
    work->toolMode = project.toolMode;
    work->viewOffsetX = project.viewOffsetX;
    work->viewOffsetY = project.viewOffsetY;
    work->random = project.random;
    return work;
}

} // namespace

void commitWork(MosaicProject& project, MosaicProject& work) noexcept
{
    std::swap(project.settings, work.settings);
    project.mainImagePath.swap(work.mainImagePath);
    project.MainImage.swap(work.MainImage);
    std::swap(project.CellPicTable, work.CellPicTable);
    std::swap(project.MosaicGrid, work.MosaicGrid);
    project.GridImage.swap(work.GridImage);
    project.MosaicImage.swap(work.MosaicImage);
    project.CellScratch.swap(work.CellScratch);
    std::swap(project.random, work.random);
    std::swap(project.projectState, work.projectState);
    std::swap(project.viewOffsetX, work.viewOffsetX);
    std::swap(project.viewOffsetY, work.viewOffsetY);
}

void runCreation(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                 const EngineOptions& options)
{
    checkSettings(project.settings, queryMemoryStatus(), project.MosaicImage.byteSize());
    checkLibraryCapacity(library);
    // The new mosaic is drawn on a work project while the project keeps its
    // old one until the swap: the estimate counts it as held meanwhile.
    const std::uint64_t heldMosaic = project.MosaicImage.byteSize();
    const MemoryStatus memory = queryMemoryStatus();
    checkCreationMemory(project.settings,
                        creationMemory(project.settings, library.count(), options, memory, heldMosaic), memory);
    // Matching rewrites the table and the grid (entries beyond the library
    // and cells beyond the mosaic keep their values), so the work starts from
    // copies of both.
    std::unique_ptr<MosaicProject> work = startWork(project);
    work->CellPicTable = project.CellPicTable;
    work->MosaicGrid = project.MosaicGrid;
    Lent<Picture> mainImage(project.MainImage, work->MainImage);

    buildGrid(*work, observer);
    // The library stage hands its prepared photographs to the rendering
    // stage, so a creation decodes each of them once. A self-mosaic draws
    // no library photograph, and the reference path keeps nothing.
    const bool keepPhotos = !options.referencePath && work->settings.renderMode != RenderMode::SelfMosaic;
    PreparedPhotoCache cache(
        keepPhotos ? creationPhotoCacheBudget(work->settings, library.count(), options, memory) : 0);
    PreparedPhotoCache* handOver = keepPhotos ? &cache : nullptr;
    analyzeLibrary(*work, library, observer, options, handOver);
    matchCells(*work, library, observer, options);
    renderMosaic(*work, library, observer, options, handOver);
    work->viewOffsetX = 0;
    work->viewOffsetY = 0;
    mainImage.committed();
    commitWork(project, *work);
}

void runOpenedProject(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                      const EngineOptions& options)
{
    checkSettings(project.settings, queryMemoryStatus(), project.MosaicImage.byteSize());
    const MemoryStatus memory = queryMemoryStatus();
    checkCreationMemory(project.settings,
                        renderingMemory(project.settings, library.count(), options, project.MosaicImage.byteSize()),
                        memory);
    // The stages only read the restored picture, table and grid.
    std::unique_ptr<MosaicProject> work = startWork(project);
    Lent<Picture> mainImage(project.MainImage, work->MainImage);
    Lent<CellPicTableStore> table(project.CellPicTable, work->CellPicTable);
    Lent<MosaicGridStore> grid(project.MosaicGrid, work->MosaicGrid);

    buildGrid(*work, observer);
    renderMosaic(*work, library, observer, options);
    work->viewOffsetX = 0;
    work->viewOffsetY = 0;
    mainImage.committed();
    table.committed();
    grid.committed();
    commitWork(project, *work);
}

} // namespace tw
