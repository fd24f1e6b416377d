#pragma once
// Where and how one cell's picture is drawn: the colour-shift amounts, the
// crop and grey preparation shared by library analysis and drawing, and the
// scaled copies of the stitch layouts (odd peyote rows and odd brick columns
// are drawn half a cell up or to the left; their cell 0 is split across both
// edges of the mosaic).
#include "engine/project.h"
#include "imaging/picture.h"
#include "imaging/picture_region.h"

#include <array>
#include <cstdint>

namespace tw {

// Largest cell side and border the drawing accepts. Records also come from
// files; these bounds keep every mosaic coordinate (up to 800 cells of this
// size) and every aspect product far inside 32 bits.
constexpr int kMaxCellSide = 4096;

// Throws tw::Error naming the field and its value when the record's grid,
// cell size, border or mosaic size cannot be drawn.
void checkRenderGeometry(const tmosaicproject& settings);

// The amount added to one channel: the offset reversed and scaled by
// colorEnhance percent, truncated toward zero. Computed in 64 bits and
// limited to -255..255, which clamps every byte exactly as the full value would.
int shiftAmount(std::int32_t offset, std::int32_t colorEnhance);

struct ShiftAmounts {
    int red = 0, green = 0, blue = 0;
    friend bool operator==(const ShiftAmounts&, const ShiftAmounts&) = default;
};
ShiftAmounts shiftAmounts(const MosaicCell& cell, std::int32_t colorEnhance);

// The lowest and highest amount one channel can receive.
struct AmountRange {
    int low = 0, high = 0;
    friend bool operator==(const AmountRange&, const AmountRange&) = default;
};
// Blue, green, red.
using ChannelRanges = std::array<AmountRange, 3>;

// The amounts the cells showing a library photograph with this signature
// can receive: its offset is its mean minus a cell sample's mean, which
// runs over 0..255.
ChannelRanges amountRanges(const ColorSignature& signature, std::int32_t colorEnhance);

// The crop to the cell's aspect (cropCell) and the grey conversion
// (monoCell), in place: the picture as analysed and as drawn before its
// colour shift and flips.
void prepareCellPicture(Picture& picture, const tmosaicproject& settings);

// The same preparation asked of the decoder, which then decodes only what
// the crop keeps (decodePictureRegion).
RegionRequest cellRegionRequest(const tmosaicproject& settings);

// loadPicture then prepareCellPicture, in one pass that decodes only the
// kept region: the same picture and the same failures.
void loadCellPicture(Picture& picture, const std::string& path, const tmosaicproject& settings,
                     DecodeBudget& budget = sharedDecodeBudget());

// One scaled copy: a part of the cell picture onto a mosaic rectangle (not
// clipped to the mosaic).
struct CellCopy {
    Rect source;
    Rect dest;
    friend bool operator==(const CellCopy&, const CellCopy&) = default;
};

struct CellCopies {
    std::array<CellCopy, 2> copy{};
    int count = 0;
    // The cell is cut by the mosaic's edge and drawn from two picture halves.
    bool split = false;
};

// The copies that draw cell (x, y) from a picture of pictureWidth x
// pictureHeight. A copy whose destination has no width or height (a border
// as large as the cell) or whose source part is empty is left out: nothing
// is drawn for it.
CellCopies cellCopies(const tmosaicproject& settings, int x, int y, int pictureWidth, int pictureHeight);

// The size every unsplit cell is drawn at: cellWidth - borderSize by
// cellHeight - borderSize (either may be zero or negative: nothing is drawn).
Size wholeCellSize(const tmosaicproject& settings);

} // namespace tw
