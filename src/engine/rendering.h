#pragma once
// "OutPut Final Mosaic Picture": every placed cell drawn into MosaicImage.
#include "engine/observer.h"
#include "engine/options.h"
#include "engine/project.h"

namespace tw {

class CellPicLib;
class PreparedPhotoCache;

// Draws cell (x, y) over the current MosaicImage (nothing for an unplaced
// cell or one outside the grid): load into CellScratch (or a copy of
// MainImage in self-mosaic mode), crop, grey, colour shift, flips, scaled
// copy into the cell's rectangle(s). Throws the loader's error when the
// photograph cannot be loaded, and tw::Error when the cell's library index
// is outside the library or the record's geometry cannot be drawn.
void renderCell(MosaicProject& project, const CellPicLib& library, int x, int y);

// The stage: MosaicImage resized and filled with the border colour, every
// cell drawn in row order with gauge and pump after each, projectState 2.
// On a load failure the cells drawn before the failing one stay and the
// exception propagates (state, label and gauge as they were).
// With the default options each distinct photograph is decoded once, on
// worker threads, and cells are drawn through a per-photograph reduction
// straight into MosaicImage (never while the observer runs, and nothing is
// held per cell); the result, the reports and the failures are those of the
// one-cell-at-a-time reference path (options.referencePath), byte for byte.
// That path
// leaves the last cell's picture in CellScratch; the default path does not
// use CellScratch.
// With a cache (worker path) a photograph the library stage left there
// under the same key is drawn without decoding it again (from compact data,
// a cell it cannot draw decodes the photograph after all); entries no cell
// shows are dropped at the start, the others as soon as their cells are
// drawn, so the cache is empty once the stage has drawn every cell.
void renderMosaic(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                  const EngineOptions& options = {}, PreparedPhotoCache* cache = nullptr);

} // namespace tw
