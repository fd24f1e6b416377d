#pragma once
// "Mosaic Grid": the main picture reduced to 2 x 2 pixels per cell.
#include "engine/observer.h"
#include "engine/project.h"

namespace tw {

// Resizes GridImage to 2 cellsX x 2 cellsY, fills it from MainImage (cropped
// to the mosaic's aspect when cropMain is set) and applies the peyote or
// brick rotation. Label "Current Job : Mosaic Grid", gauge 0 then 100, no pump.
void buildGrid(MosaicProject& project, ProgressObserver& observer);

// The four pixels of cell (x, y) of GridImage and their floor mean.
CellSample readCellSample(const MosaicProject& project, int x, int y);

} // namespace tw
