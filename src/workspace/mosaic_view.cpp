#include "workspace/mosaic_view.h"

#include "engine/grid.h"
#include "engine/rendering.h"
#include "library/cell_pic_lib.h"

#include <algorithm>
#include <cstdint>

namespace tw {

void drawView(MosaicProject& project, const Picture& source, Picture& target, int boxWidth, int boxHeight)
{
    const std::int64_t left = project.viewOffsetX;
    const std::int64_t top = project.viewOffsetY;
    std::int64_t right = left + std::max(boxWidth, 0);
    std::int64_t bottom = top + std::max(boxHeight, 0);
    right = std::min<std::int64_t>(right, source.width());
    bottom = std::min<std::int64_t>(bottom, source.height());
    // Offsets left over from a larger picture (the view is repainted while a
    // new mosaic is being drawn) would give a negative size: show nothing.
    right = std::max(right, left);
    bottom = std::max(bottom, top);

    const Rect r{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right), static_cast<int>(bottom)};
    target.resizeUninitialized(r.width(), r.height());
    copyRect(source, r.left, r.top, target, 0, 0, r.width(), r.height());
    project.viewRect = r;
}

std::string scaleLabelText(const MosaicProject& project)
{
    // The scale is 1 from program start on; a project not yet started has 0.
    const std::int64_t scale = project.viewScale > 0 ? project.viewScale : 1;
    return "Scale :" + std::to_string(100 / (scale * scale)) + "%" + " MainbmpPos x" +
           std::to_string(project.viewOffsetX) + " y" + std::to_string(project.viewOffsetY);
}

void viewMouseDown(MosaicProject& project, int x, int y)
{
    project.mouseDownX = x;
    project.mouseDownY = y;
    project.pressOffsetX = project.viewOffsetX;
    project.pressOffsetY = project.viewOffsetY;
}

void viewMouseUp(MosaicProject& project, int x, int y)
{
    project.mouseUpX = x;
    project.mouseUpY = y;
    project.dragX = x - project.mouseDownX;
    project.dragY = y - project.mouseDownY;
}

namespace {

// The view's one clamping rule: a view that would reach past the right or
// bottom edge stops with the picture's last column or row at the box edge;
// then a negative offset becomes 0, so a picture smaller than the box always
// sits at offset 0.
void setClampedOffsets(MosaicProject& project, std::int64_t x, std::int64_t y, int boxWidth, int boxHeight)
{
    const int width = project.MosaicImage.width();
    const int height = project.MosaicImage.height();
    if (boxWidth + x > width)
        x = std::int64_t{width} - boxWidth;
    if (boxHeight + y > height)
        y = std::int64_t{height} - boxHeight;
    project.viewOffsetX = static_cast<std::int32_t>(std::max<std::int64_t>(x, 0));
    project.viewOffsetY = static_cast<std::int32_t>(std::max<std::int64_t>(y, 0));
}

} // namespace

void applyHandDrag(MosaicProject& project, int boxWidth, int boxHeight)
{
    setClampedOffsets(project, std::int64_t{project.pressOffsetX} - project.dragX,
                      std::int64_t{project.pressOffsetY} - project.dragY, boxWidth, boxHeight);
}

void followHandDrag(MosaicProject& project, int x, int y, int boxWidth, int boxHeight)
{
    const std::int64_t dragX = std::int64_t{x} - project.mouseDownX;
    const std::int64_t dragY = std::int64_t{y} - project.mouseDownY;
    setClampedOffsets(project, project.pressOffsetX - dragX, project.pressOffsetY - dragY, boxWidth, boxHeight);
}

void scrollViewBy(MosaicProject& project, int dx, int dy, int boxWidth, int boxHeight)
{
    setClampedOffsets(project, std::int64_t{project.viewOffsetX} + dx, std::int64_t{project.viewOffsetY} + dy,
                      boxWidth, boxHeight);
}

bool cellEditingAllowed(const MosaicProject& project)
{
    return project.projectState == ProjectState::Mosaic && project.settings.renderMode == RenderMode::Standard;
}

std::optional<CellPos> cellAtViewPosition(const MosaicProject& project, int x, int y)
{
    const tmosaicproject& s = project.settings;
    const std::int64_t cw = s.cellWidth, ch = s.cellHeight;
    const std::int64_t cellsX = std::min(s.cellsX, kGridSize), cellsY = std::min(s.cellsY, kGridSize);
    if (cw <= 0 || ch <= 0 || cellsX <= 0 || cellsY <= 0)
        return std::nullopt;
    const std::int64_t px = std::int64_t{x} + project.viewOffsetX;
    const std::int64_t py = std::int64_t{y} + project.viewOffsetY;
    // A view larger than the mosaic (or a release dragged out of the view)
    // can point beyond the cells; the half-cell rules below would otherwise
    // fold such points back onto cell 0.
    if (px < 0 || py < 0 || px >= cellsX * cw || py >= cellsY * ch)
        return std::nullopt;

    std::int64_t column = px / cw;
    std::int64_t row = py / ch;
    if (s.stitchMode == StitchMode::Peyote && row % 2 == 1) {
        if (px % cw > cw / 2)
            column = (px + cw / 2) / cw;
        if (px > cellsX * cw - cw / 2)
            column = 0;
    }
    if (s.stitchMode == StitchMode::Brick && column % 2 == 1) {
        if (py % ch > ch / 2)
            row = (py + ch / 2) / ch;
        if (py > cellsY * ch - ch / 2)
            row = 0;
    }
    if (column < 0 || column >= cellsX || row < 0 || row >= cellsY)
        return std::nullopt;
    return CellPos{static_cast<int>(column), static_cast<int>(row)};
}

void changeCell(MosaicProject& project, const CellPicLib& library, int column, int row)
{
    const CellSample sample = readCellSample(project, column, row);
    const int libraryCount = static_cast<int>(std::min<std::size_t>(library.count(), kTableSize));
    const int index = chooseLibraryPicture(project, libraryCount, column, row, sample, CheckLevel::editCheck);
    if (index >= 0)
        placePicture(project, index, column, row);
    renderCell(project, library, column, row);
}

} // namespace tw
