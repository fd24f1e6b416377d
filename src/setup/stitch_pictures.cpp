#include "setup/stitch_pictures.h"

namespace tw {

namespace {
constexpr Bgr kInk{0, 0, 0};
constexpr Bgr kPaper{255, 255, 255};

void horizontalLine(Picture& p, int left, int right, int y) { p.fillRect(Rect{left, y, right, y + 1}, kInk); }
void verticalLine(Picture& p, int x, int top, int bottom) { p.fillRect(Rect{x, top, x + 1, bottom}, kInk); }
} // namespace

void drawStitchPicture(StitchMode mode, Picture& target)
{
    constexpr int side = kStitchPictureSide;
    constexpr int cell = kStitchCellSide;
    constexpr int half = cell / 2;
    Picture drawing(side, side);
    drawing.fill(kPaper);
    // Lines at 0, 14, 28, 42 and 56: four whole cells, closed on every side.
    switch (mode) {
    case StitchMode::Peyote:
        for (int y = 0; y < side; y += cell)
            horizontalLine(drawing, 0, side, y);
        horizontalLine(drawing, 0, side, side - 1);
        for (int row = 0; row * cell < side - 1; ++row) {
            const int top = row * cell, bottom = top + cell + 1;
            const int shift = row % 2 == 1 ? half : 0;
            for (int x = shift; x < side; x += cell)
                verticalLine(drawing, x, top, bottom);
            verticalLine(drawing, 0, top, bottom);
            verticalLine(drawing, side - 1, top, bottom);
        }
        break;
    case StitchMode::Brick:
        for (int x = 0; x < side; x += cell)
            verticalLine(drawing, x, 0, side);
        verticalLine(drawing, side - 1, 0, side);
        for (int column = 0; column * cell < side - 1; ++column) {
            const int left = column * cell, right = left + cell + 1;
            const int shift = column % 2 == 1 ? half : 0;
            for (int y = shift; y < side; y += cell)
                horizontalLine(drawing, left, right, y);
            horizontalLine(drawing, left, right, 0);
            horizontalLine(drawing, left, right, side - 1);
        }
        break;
    default:
        for (int i = 0; i < side; i += cell) {
            horizontalLine(drawing, 0, side, i);
            verticalLine(drawing, i, 0, side);
        }
        break;
    }
    target.swap(drawing);
}

} // namespace tw
