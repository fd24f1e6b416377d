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
// picture, or a mosaic picture larger than the available memory. Records may come from project files, so nothing else is assumed.
void checkSettings(const tmosaicproject& settings);
// The same with the memory status given (checkSettings above asks the system).
void checkSettings(const tmosaicproject& settings, const MemoryStatus& memory);

// buildGrid, analyzeLibrary, matchCells, renderMosaic, then the view scroll
// reset to the top-left corner. Showing the result is the caller's business.
// Photographs prepared by the library stage are kept, within
// photoCacheBudget(options), for the rendering stage of this creation only.
void runCreation(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                 const EngineOptions& options = {});

// After a project file has been restored: buildGrid and renderMosaic only,
// then the view scroll reset.
void runOpenedProject(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                      const EngineOptions& options = {});

} // namespace tw
