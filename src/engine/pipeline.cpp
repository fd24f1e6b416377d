#include "engine/pipeline.h"

#include "engine/analysis.h"
#include "engine/grid.h"
#include "engine/matching.h"
#include "engine/photo_cache.h"
#include "engine/rendering.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"
#include "platform/memory.h"

#include <cstdint>
#include <string>

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
    checkGridDimensions(s);
    checkSide("cells across", s.cellsX, "cell width (cellWidth)", s.cellWidth, "mosaic width (mosaicWidth)",
              s.mosaicWidth);
    checkSide("cells down", s.cellsY, "cell height (cellHeight)", s.cellHeight, "mosaic height (mosaicHeight)",
              s.mosaicHeight);
    // A record from a file can ask for a mosaic far larger than the machine
    // holds; refuse it instead of letting the allocation take the system down.
    const std::uint64_t bytes = std::uint64_t(s.mosaicWidth > 0 ? s.mosaicWidth : 0) *
                                std::uint64_t(s.mosaicHeight > 0 ? s.mosaicHeight : 0) * 3;
    if (memory.availablePhysical > 0 && bytes > memory.availablePhysical)
        throw Error("A mosaic of " + std::to_string(s.mosaicWidth) + " x " + std::to_string(s.mosaicHeight) +
                    " pixels needs " + std::to_string((bytes + 1048575) / 1048576) + " MB of memory, but only " +
                    std::to_string(memory.availablePhysical / 1048576) + " MB are available");
}

void checkLibraryCapacity(const CellPicLib& library)
{
    if (library.count() > static_cast<std::size_t>(kTableSize))
        throw Error("The image library holds " + std::to_string(library.count()) +
                    " pictures, but a mosaic can use at most " + std::to_string(kTableSize));
}

void runCreation(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                 const EngineOptions& options)
{
    checkSettings(project.settings);
    checkLibraryCapacity(library);
    buildGrid(project, observer);
    // The library stage hands its prepared photographs to the rendering
    // stage, so a creation decodes each of them once. A self-mosaic draws
    // no library photograph, and the reference path keeps nothing.
    const bool keepPhotos = !options.referencePath && project.settings.renderMode != RenderMode::SelfMosaic;
    PreparedPhotoCache cache(keepPhotos ? photoCacheBudget(options) : 0);
    PreparedPhotoCache* handOver = keepPhotos ? &cache : nullptr;
    analyzeLibrary(project, library, observer, options, handOver);
    matchCells(project, library, observer);
    renderMosaic(project, library, observer, options, handOver);
    project.viewOffsetX = 0;
    project.viewOffsetY = 0;
}

void runOpenedProject(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                      const EngineOptions& options)
{
    checkSettings(project.settings);
    checkLibraryCapacity(library);
    buildGrid(project, observer);
    renderMosaic(project, library, observer, options);
    project.viewOffsetX = 0;
    project.viewOffsetY = 0;
}

} // namespace tw
