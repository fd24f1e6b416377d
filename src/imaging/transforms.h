#pragma once
// Pixel operations shared by the engine and the windows. Source and target
// may be the same picture in every operation.
#include "imaging/picture.h"

#include <cstdint>

namespace tw {

constexpr std::uint8_t clampByte(int value)
{
    return value <= 0 ? 0 : value >= 255 ? 255 : static_cast<std::uint8_t>(value);
}

// target := source with every byte moved by its channel's offset, clamped.
void shiftColors(const Picture& source, Picture& target, int red, int green, int blue);

// target := luma grey of source: trunc(r x 0.299) + trunc(g x 0.587) +
// trunc(b x 0.114), each term truncated on its own (white becomes 254).
void toGreyScale(const Picture& source, Picture& target);
// The same for one row of width pixels, in place.
void toGreyScaleRow(std::uint8_t* row, int width);

// target := source mirrored left-right and/or top-bottom.
void flipPicture(const Picture& source, Picture& target, bool horizontal, bool vertical);

// target := whole source scaled by one factor to fit a box of the given size
// (smaller of boxW / W and boxH / H, sizes truncated with extended precision).
// A source of zero width or height leaves target unchanged.
void fitIntoBox(const Picture& source, Picture& target, int boxWidth, int boxHeight);
// The size fitIntoBox gives, {0, 0} for an empty source.
Size fitSize(int width, int height, int boxWidth, int boxHeight);
// The same scale factor fitIntoBox uses (0 for an empty picture).
double fitScale(int width, int height, int boxWidth, int boxHeight);

// The centred region of a width x height picture with aspect
// aspectWidth : aspectHeight: compare width x aspectHeight with
// aspectWidth x height; cut (difference div (2 x aspect part)) rows from top
// and bottom or columns from left and right, so an odd excess stays in. The
// products are formed in 64 bits: the same result as 32-bit products
// wherever those do not overflow, and a region inside the picture always.
// Non-positive sizes or aspect parts give the whole picture.
Rect aspectCropRect(int width, int height, int aspectWidth, int aspectHeight);
// target := that region of source. aspectWidth and aspectHeight must be positive.
void cropToAspect(const Picture& source, Picture& target, int aspectWidth, int aspectHeight);

} // namespace tw
