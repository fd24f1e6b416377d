#include "engine/cell_layout.h"

#include "imaging/transforms.h"
#include "platform/errors.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tw {

namespace {

void checkRange(const char* field, std::int64_t value, std::int64_t low, std::int64_t high)
{
    if (value < low || value > high)
        throw Error(std::string(field) + " " + std::to_string(value) + " is out of range (" + std::to_string(low) +
                    ".." + std::to_string(high) + ")");
}

Rect rectAt(int left, int top, int width, int height) { return Rect{left, top, left + width, top + height}; }

} // namespace

void checkRenderGeometry(const tmosaicproject& s)
{
    checkGridDimensions(s);
    checkRange("Cell width", s.cellWidth, 0, kMaxCellSide);
    checkRange("Cell height", s.cellHeight, 0, kMaxCellSide);
    checkRange("Border size", s.borderSize, 0, kMaxCellSide);
    checkRange("Mosaic width", s.mosaicWidth, 0, Picture::kMaxDimension);
    checkRange("Mosaic height", s.mosaicHeight, 0, Picture::kMaxDimension);
}

int shiftAmount(std::int32_t offset, std::int32_t colorEnhance)
{
    const std::int64_t amount = (-std::int64_t{offset} * colorEnhance) / 100;
    return static_cast<int>(std::clamp<std::int64_t>(amount, -255, 255));
}

ShiftAmounts shiftAmounts(const MosaicCell& cell, std::int32_t colorEnhance)
{
    return ShiftAmounts{shiftAmount(cell.redOffset, colorEnhance), shiftAmount(cell.greenOffset, colorEnhance),
                        shiftAmount(cell.blueOffset, colorEnhance)};
}

ChannelRanges amountRanges(const ColorSignature& signature, std::int32_t colorEnhance)
{
    // The amount follows the offset monotonically, so the extremes come
    // from the two ends of the offset's range.
    const SignatureColor& mean = signature.mean();
    const int means[3] = {mean.blue, mean.green, mean.red};
    ChannelRanges ranges{};
    for (std::size_t c = 0; c < 3; ++c) {
        const int a = shiftAmount(means[c] - 255, colorEnhance), b = shiftAmount(means[c], colorEnhance);
        ranges[c] = AmountRange{std::min(a, b), std::max(a, b)};
    }
    return ranges;
}

void prepareCellPicture(Picture& picture, const tmosaicproject& s)
{
    if (s.cropCell) {
        // cropToAspect's region, moved to the front of the picture's own
        // memory row by row: this runs for every full-size photograph, and
        // fresh memory for a copy costs more than the copy itself. Every
        // row moves to an address no later than its own, so rows still to
        // move are never overwritten.
        const Rect r = aspectCropRect(picture.width(), picture.height(), s.cellWidth, s.cellHeight);
        if (!(r == Rect{0, 0, picture.width(), picture.height()})) {
            const std::size_t from = picture.stride();
            const std::size_t to = static_cast<std::size_t>(r.width()) * 3;
            std::uint8_t* data = picture.data();
            for (int y = 0; y < r.height(); ++y)
                std::memmove(data + to * static_cast<std::size_t>(y),
                             data + from * static_cast<std::size_t>(r.top + y) + static_cast<std::size_t>(r.left) * 3,
                             to);
            picture.resizeUninitialized(r.width(), r.height());
        }
    }
    if (s.monoCell)
        toGreyScale(picture, picture);
}

RegionRequest cellRegionRequest(const tmosaicproject& s)
{
    RegionRequest r;
    if (s.cropCell) {
        r.aspectWidth = s.cellWidth;
        r.aspectHeight = s.cellHeight;
    }
    r.grey = s.monoCell != 0;
    return r;
}

void loadCellPicture(Picture& picture, const std::string& path, const tmosaicproject& settings, DecodeBudget& budget)
{
    Picture loaded = decodePictureRegion(path, cellRegionRequest(settings), nullptr, budget).toPicture();
    picture.swap(loaded);
}

Size wholeCellSize(const tmosaicproject& s)
{
    return Size{s.cellWidth - s.borderSize, s.cellHeight - s.borderSize};
}

CellCopies cellCopies(const tmosaicproject& s, int x, int y, int W, int H)
{
    const int cw = s.cellWidth, ch = s.cellHeight, b = s.borderSize;
    const int left = x * cw, top = y * ch;
    const Rect whole{0, 0, W, H};

    CellCopies out;
    auto add = [&](Rect source, Rect dest) {
        if (dest.width() <= 0 || dest.height() <= 0 || source.width() <= 0 || source.height() <= 0)
            return;
        out.copy[static_cast<std::size_t>(out.count++)] = CellCopy{source, dest};
    };

    const bool peyoteOdd = s.stitchMode == StitchMode::Peyote && y % 2 == 1;
    const bool brickOdd = s.stitchMode == StitchMode::Brick && x % 2 == 1;
    if (peyoteOdd && x == 0) {
        // The right half of the picture opens the row, its left half closes it.
        out.split = true;
        add(Rect{W / 2, 0, W, H}, rectAt(0, top, (cw + 1) / 2 - b, ch - b));
        add(Rect{0, 0, W - W / 2, H}, rectAt(s.cellsX * cw - cw / 2, top, cw / 2 - b / 2, ch - b));
    } else if (peyoteOdd) {
        add(whole, rectAt(left - cw / 2, top, cw - b, ch - b));
    } else if (brickOdd && y == 0) {
        out.split = true;
        add(Rect{0, H / 2, W, H}, rectAt(left, 0, cw - b, (ch + 1) / 2 - b));
        add(Rect{0, 0, W, H - H / 2}, rectAt(left, s.cellsY * ch - ch / 2, cw - b, ch / 2 - b / 2));
    } else if (brickOdd) {
        add(whole, rectAt(left, top - ch / 2, cw - b, ch - b));
    } else {
        add(whole, rectAt(left, top, cw - b, ch - b));
    }
    return out;
}

} // namespace tw
