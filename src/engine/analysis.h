#pragma once
// "Cell Pic Lib": a colour signature per library photograph.
#include "engine/observer.h"
#include "engine/options.h"
#include "engine/project.h"

#include <memory>
#include <string>

namespace tw {

class AnalysisStore;
class CellPicLib;
class CompactTile;
class DecodeBudget;
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

// The compact drawing data the store holds for the content of the file at
// path prepared with these settings, cut to their colour enhancement (cells
// whose amounts lie beyond what was stored are not drawn from it); null
// when the file cannot be read (its decode then reports why), the store
// has no entry or the entry has no drawing data. A damaged entry is
// dropped. Safe from several threads at once.
std::unique_ptr<const CompactTile> storedDrawingData(const std::string& path, const tmosaicproject& settings,
                                                     AnalysisStore& store, DecodeBudget& budget);

} // namespace tw
