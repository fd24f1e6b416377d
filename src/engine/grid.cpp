#include "engine/grid.h"

#include "engine/pipeline.h"
#include "imaging/resample.h"
#include "imaging/transforms.h"

namespace tw {

namespace {

// Odd cell rows move right by one pixel (half a cell), the last pixel
// wrapping round to column 0, so the samples follow the tiles that the
// renderer draws half a cell to the left.
void rotateOddRowsRight(Picture& grid)
{
    const int w = grid.width(), h = grid.height();
    if (w < 2)
        return;
    for (int py = 2; py + 1 < h; py += 4) {
        const Bgr lastTop = grid.pixel(w - 1, py);
        const Bgr lastBottom = grid.pixel(w - 1, py + 1);
        copyRect(grid, 0, py, grid, 1, py, w - 1, 2);
        grid.setPixel(0, py, lastTop);
        grid.setPixel(0, py + 1, lastBottom);
    }
}

// The same for odd cell columns, moved down with the last row wrapping to row 0.
void rotateOddColumnsDown(Picture& grid)
{
    const int w = grid.width(), h = grid.height();
    if (h < 2)
        return;
    for (int px = 2; px + 1 < w; px += 4) {
        const Bgr lastLeft = grid.pixel(px, h - 1);
        const Bgr lastRight = grid.pixel(px + 1, h - 1);
        copyRect(grid, px, 0, grid, px, 1, 2, h - 1);
        grid.setPixel(px, 0, lastLeft);
        grid.setPixel(px + 1, 0, lastRight);
    }
}

} // namespace

void buildGrid(MosaicProject& project, ProgressObserver& observer)
{
    const tmosaicproject& s = project.settings;
    checkGridDimensions(s);

    observer.setJobLabel(kJobGrid);
    observer.setProgress(0);

    const int gw = 2 * s.cellsX, gh = 2 * s.cellsY;
    project.GridImage.resize(gw, gh);

    Picture cropped;
    const Picture* source = &project.MainImage;
    // A crop needs a mosaic of positive size to take its aspect from.
    if (s.cropMain && s.mosaicWidth > 0 && s.mosaicHeight > 0 && !project.MainImage.empty()) {
        cropToAspect(project.MainImage, cropped, s.mosaicWidth, s.mosaicHeight);
        source = &cropped;
    }
    // An empty main picture leaves the grid black.
    if (!source->empty() && !project.GridImage.empty())
        stretchTo(*source, project.GridImage, gw, gh);

    if (s.stitchMode == StitchMode::Peyote)
        rotateOddRowsRight(project.GridImage);
    else if (s.stitchMode == StitchMode::Brick)
        rotateOddColumnsDown(project.GridImage);

    observer.setProgress(100);
}

CellSample readCellSample(const MosaicProject& project, int x, int y)
{
    CellSample sample;
    const Picture& g = project.GridImage;
    // Cell editing only asks for cells of the current grid; a cell outside
    // the picture reads as black rather than past its end.
    if (x < 0 || y < 0 || 2 * static_cast<long long>(x) + 1 >= g.width() ||
        2 * static_cast<long long>(y) + 1 >= g.height())
        return sample;
    const Bgr px[4] = {g.pixel(2 * x, 2 * y), g.pixel(2 * x + 1, 2 * y), g.pixel(2 * x, 2 * y + 1),
                       g.pixel(2 * x + 1, 2 * y + 1)};
    int sb = 0, sg = 0, sr = 0;
    for (int i = 0; i < 4; ++i) {
        sample.c[i].blue = px[i].b;
        sample.c[i].green = px[i].g;
        sample.c[i].red = px[i].r;
        sb += px[i].b;
        sg += px[i].g;
        sr += px[i].r;
    }
    sample.c[Mean].blue = static_cast<std::uint8_t>(sb >> 2);
    sample.c[Mean].green = static_cast<std::uint8_t>(sg >> 2);
    sample.c[Mean].red = static_cast<std::uint8_t>(sr >> 2);
    return sample;
}

} // namespace tw
