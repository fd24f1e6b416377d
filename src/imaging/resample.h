#pragma once
// The averaging ("halftone") stretch used everywhere.
//
// Reducing along an axis: every destination pixel is the area-weighted
// average of the source area it covers, fractional edge coverage included.
// Enlarging along an axis: linear interpolation between pixel centres.
// Equal sizes: a plain copy. The arithmetic is integer only, so results are
// the same on every machine; a uniform picture stays exactly uniform.
#include "imaging/picture.h"

namespace tw {

// Resamples the srcRect part of src onto the dstRect part of dst. dstRect
// may reach outside dst: the mapping is computed for the whole rectangle and
// only the pixels inside dst are written. srcRect must lie inside src.
// Nothing happens when either rectangle is empty. src and dst must be
// different pictures.
void stretchRect(const Picture& src, Rect srcRect, Picture& dst, Rect dstRect);

// target := the whole source resampled to width x height (source and
// target may be the same picture).
void stretchTo(const Picture& source, Picture& target, int width, int height);

} // namespace tw
