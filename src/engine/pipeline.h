#pragma once
// A creation from settings to finished mosaic, and the shortened sequence
// that follows opening a project file.
#include "engine/observer.h"
#include "engine/options.h"
#include "engine/project.h"
#include "platform/memory.h"

#include <string>

namespace tw {

class CellPicLib;

// Texts of the job label.
inline const std::string kJobNone = "Current Job : None";
inline const std::string kJobGrid = "Current Job : Mosaic Grid";
inline const std::string kJobLibrary = "Current Job : Cell Pic Lib";
inline const std::string kJobMatching = "Current Job : Mosaic Mapping Table";
inline const std::string kJobRendering = "Current Job : OutPut Final Mosaic Picture";
inline const std::string kJobDone = "Current Job : Mosaic Created";

// Throws tw::Error, before anything changes, when the library holds more
// photographs than the signature table (the message gives both numbers).
void checkLibraryCapacity(const CellPicLib& library);

// Throws tw::Error, before anything changes, naming the field and its value
// when the settings cannot describe a mosaic: cells across or down outside
// 0..800, a cell width or height below 1 while there are cells, a mosaic
// size that is not cells x cell size, a mosaic side beyond the largest
// picture, or a mosaic picture larger than the available memory. Records may
// come from project files, so nothing else is assumed.
void checkSettings(const tmosaicproject& settings);
// The same with the memory status given (checkSettings above asks the system).
void checkSettings(const tmosaicproject& settings, const MemoryStatus& memory);
// The same for a creation or an opening that draws its mosaic aside while
// the project keeps showing heldMosaicBytes of its previous mosaic: that
// picture stays allocated until the new one is swapped in, so none of it can
// be reused for the new one. A status measured now already counts it as in
// use; the refusal names it, so the user sees where the memory went.
void checkSettings(const tmosaicproject& settings, const MemoryStatus& memory, std::uint64_t heldMosaicBytes);

// A creation and the stages after an opening run on a work project of their
// own while the project they were started from stays whole: the view keeps
// showing it while window messages run, and a failure at any point (a
// photograph that cannot be read, memory) leaves it exactly as it was. Only
// when the new mosaic is finished are the results swapped in; the previous
// mosaic is released when the call returns. Inputs the stages only read
// (the main picture, and for an opening the table and the grid) are lent to
// the work by swapping: the project does not hold them while the stages run
// and has them back afterwards, whatever the outcome.

// buildGrid, analyzeLibrary, matchCells, renderMosaic, then the view scroll
// reset to the top-left corner. Showing the result is the caller's business.
// Photographs prepared by the library stage are kept, within
// photoCacheBudget(options), for the rendering stage of this creation only.
// On success the project holds the new settings (matching may lower
// maxRepeat), table, grid, GridImage, MosaicImage, CellScratch, random
// sequence, projectState 2 and offsets 0; on failure none of them changed.
void runCreation(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                 const EngineOptions& options = {});

// After a project file has been restored: buildGrid and renderMosaic only,
// then the view scroll reset. On failure GridImage, MosaicImage,
// CellScratch, projectState and the offsets are as they were. Opening
// repeats no matching, so the library's size is not checked against the
// table here: cells only name photographs the list holds.
void runOpenedProject(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                      const EngineOptions& options = {});

// What a creation holds besides its pictures while it draws aside: its own
// copies of the signature table and the cell grid, beside the project's.
constexpr std::uint64_t kCreationWorkBytes = kTableBytes + kGridBytes;

// Swaps into project what a work project made: settings, main picture and
// its path, table, grid, the grid, mosaic and scratch pictures, the random
// sequence, projectState and the view offsets. The project's previous
// contents end up in work. Cannot fail.
void commitWork(MosaicProject& project, MosaicProject& work) noexcept;

} // namespace tw
