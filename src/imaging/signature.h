#pragma once
// Colour signatures: a picture's four quadrant colours and their mean.
#include "imaging/picture.h"

#include <array>
#include <cstdint>

namespace tw {

struct SignatureColor {
    std::uint8_t blue = 0, green = 0, red = 0, luma = 0;
    friend bool operator==(const SignatureColor&, const SignatureColor&) = default;
};
static_assert(sizeof(SignatureColor) == 4);

enum Quadrant : int { TopLeft = 0, TopRight = 1, BottomLeft = 2, BottomRight = 3, Mean = 4 };

// Five colours: top-left, top-right, bottom-left, bottom-right, mean.
struct ColorSignature {
    std::array<SignatureColor, 5> c{};
    const SignatureColor& mean() const { return c[Mean]; }
    friend bool operator==(const ColorSignature&, const ColorSignature&) = default;
};
static_assert(sizeof(ColorSignature) == 20);

// The 2 x 2 pixels of one grid cell and their mean, same layout; luma unused.
using CellSample = ColorSignature;

// luma = trunc(0.299 r + 0.587 g + 0.114 b) evaluated in extended precision
// (long double products added in the order red, green, blue).
std::uint8_t signatureLuma(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// The side of the square a signature reduces a picture to.
constexpr int kSignatureSide = 32;

// Reduces the picture to 32 x 32 with the averaging stretch and takes the
// floor of each quadrant's mean colour, its luma, and the mean of the four.
ColorSignature computeSignature(const Picture& picture);

// The second half of computeSignature: the signature of a picture already
// reduced to kSignatureSide x kSignatureSide.
ColorSignature signatureOfReduction(const Picture& reduced);

} // namespace tw
