#pragma once
// The small line drawings over the stitch choices of the wizard's options
// page: black lines on white, one picture per stitch layout.
#include "engine/project.h"
#include "imaging/picture.h"

namespace tw {

// The drawings' side in pixels and the side of one drawn cell.
constexpr int kStitchPictureSide = 57;
constexpr int kStitchCellSide = 14;

// target := a kStitchPictureSide square drawing of the layout: a plain grid
// of squares (Loom), a grid whose every other row is shifted sideways by half
// a cell (Peyote), or one whose every other column is shifted down by half a
// cell (Brick). Any other value draws the plain grid.
void drawStitchPicture(StitchMode mode, Picture& target);

} // namespace tw
