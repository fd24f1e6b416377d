#pragma once
// "Cell Pic Lib": a colour signature per library photograph.
#include "engine/observer.h"
#include "engine/options.h"
#include "engine/project.h"

namespace tw {

class CellPicLib;
class PreparedPhotoCache;

// Fills entries 0..N-1 of CellPicTable from the N library paths (signature
// after the optional crop to cell aspect and grey conversion; usage and
// reserved words 0). Gauge (i * 100) / N - 1 and a pump after photograph i.
// A photograph that fails to load throws the loader's error; entries before
// it are already written.
// With options.analysisStore (worker path only) a photograph whose result
// that cache holds for the same file content and settings is not decoded
// at all; the others are decoded from the bytes hashed and their results
// stored (see cache/analysis_store.h). A file that cannot be read fails
// exactly as without the cache.
// With a cache (worker path only) each prepared photograph is offered to it
// for the rendering stage of the same creation to draw without decoding it
// again: in a loom its compact drawing data for the amounts its signature
// allows, in other layouts the picture itself. The table and the reports
// are unchanged.
void analyzeLibrary(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                    const EngineOptions& options = {}, PreparedPhotoCache* cache = nullptr);

} // namespace tw
