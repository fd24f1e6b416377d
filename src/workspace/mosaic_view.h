#pragma once
// The main view's arithmetic: which part of MosaicImage the view shows, how
// the Hand tool moves it, which cell a Change Cell click means, and the edit
// of one cell. The main window wires these to img1, workpanel and Label1.
#include "engine/matching.h"
#include "engine/project.h"

#include <optional>
#include <string>

namespace tw {

class CellPicLib;

// Copies the part of source that a view box of boxWidth x boxHeight shows at
// the project's offsets into target (resized to that part) and records it in
// project.viewRect. An offset beyond the source's edge gives an empty part.
void drawView(MosaicProject& project, const Picture& source, Picture& target, int boxWidth, int boxHeight);

// "Scale :100% MainbmpPos x0 y0".
std::string scaleLabelText(const MosaicProject& project);

// Mouse press of the view: remembers where and at which offsets.
void viewMouseDown(MosaicProject& project, int x, int y);
// The release's bookkeeping: mouseUp and drag fields.
void viewMouseUp(MosaicProject& project, int x, int y);

// Hand tool: the offsets follow the drag, clamped so the picture's last
// column and row stop at the box edge and no offset is negative.
void applyHandDrag(MosaicProject& project, int boxWidth, int boxHeight);
// The same while the button is still down, with the pointer at view
// position (x, y): the offsets the release at (x, y) would give. The
// release fields are left alone.
void followHandDrag(MosaicProject& project, int x, int y, int boxWidth, int boxHeight);
// Wheel and keys: the offsets moved by (dx, dy) under the same clamping.
void scrollViewBy(MosaicProject& project, int dx, int dy, int boxWidth, int boxHeight);

// Whether a Change Cell release may edit anything: a shown mosaic made in
// "Standard Render" mode.
bool cellEditingAllowed(const MosaicProject& project);

// The cell under view position (x, y), with the peyote and brick half-cell
// corrections; empty when the position lies outside the mosaic's cells.
std::optional<CellPos> cellAtViewPosition(const MosaicProject& project, int x, int y);

// Gives cell (column, row) another library picture chosen as a cell edit
// (offsets, flips, placed flag and usage count as the matcher sets them) and
// draws it anew; when no picture is allowed the cell is only redrawn.
void changeCell(MosaicProject& project, const CellPicLib& library, int column, int row);

} // namespace tw
