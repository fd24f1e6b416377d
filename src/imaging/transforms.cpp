#include "imaging/transforms.h"

#include "imaging/resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace tw {

namespace {

using ByteTable = std::array<std::uint8_t, 256>;

// Applies one table per channel to every pixel of target, row by row.
void applyTables(Picture& target, const ByteTable& blue, const ByteTable& green, const ByteTable& red)
{
    for (int y = 0; y < target.height(); ++y) {
        std::uint8_t* p = target.row(y);
        for (int x = 0; x < target.width(); ++x, p += 3) {
            p[0] = blue[p[0]];
            p[1] = green[p[1]];
            p[2] = red[p[2]];
        }
    }
}

void copyUnlessSame(const Picture& source, Picture& target)
{
    if (&source != &target)
        target = source;
}

void reverseRow(std::uint8_t* row, int width)
{
    for (int a = 0, b = width - 1; a < b; ++a, --b)
        std::swap_ranges(row + a * 3, row + a * 3 + 3, row + b * 3);
}

} // namespace

void shiftColors(const Picture& source, Picture& target, int red, int green, int blue)
{
    ByteTable tr{}, tg{}, tb{};
    // Offsets are widened so that extreme values cannot overflow i + offset.
    for (int i = 0; i < 256; ++i) {
        tr[i] = clampByte(static_cast<int>(std::clamp<long long>(i + static_cast<long long>(red), -1, 256)));
        tg[i] = clampByte(static_cast<int>(std::clamp<long long>(i + static_cast<long long>(green), -1, 256)));
        tb[i] = clampByte(static_cast<int>(std::clamp<long long>(i + static_cast<long long>(blue), -1, 256)));
    }
    copyUnlessSame(source, target);
    applyTables(target, tb, tg, tr);
}

namespace {

// trunc(i x 0.299), trunc(i x 0.587), trunc(i x 0.114) for i = 0..255.
struct GreyTables {
    std::array<int, 256> red{}, green{}, blue{};
    GreyTables()
    {
        for (int i = 0; i < 256; ++i) {
            red[i] = static_cast<int>(std::trunc(i * 0.299));
            green[i] = static_cast<int>(std::trunc(i * 0.587));
            blue[i] = static_cast<int>(std::trunc(i * 0.114));
        }
    }
};

const GreyTables& greyTables()
{
    static const GreyTables tables;
    return tables;
}

} // namespace

void toGreyScaleRow(std::uint8_t* p, int width)
{
    const GreyTables& t = greyTables();
    for (int x = 0; x < width; ++x, p += 3) {
        // At most 76 + 149 + 29 = 254, so the sum always fits a byte.
        const auto grey = static_cast<std::uint8_t>(t.red[p[2]] + t.green[p[1]] + t.blue[p[0]]);
        p[0] = p[1] = p[2] = grey;
    }
}

void toGreyScale(const Picture& source, Picture& target)
{
    copyUnlessSame(source, target);
    for (int y = 0; y < target.height(); ++y)
        toGreyScaleRow(target.row(y), target.width());
}

void flipPicture(const Picture& source, Picture& target, bool horizontal, bool vertical)
{
    copyUnlessSame(source, target);
    const int w = target.width(), h = target.height();
    if (target.empty() || (!horizontal && !vertical))
        return;
    if (vertical) {
        const std::size_t stride = target.stride();
        for (int i = 0; i < h / 2; ++i) {
            std::uint8_t* a = target.row(i);
            std::uint8_t* b = target.row(h - 1 - i);
            std::swap_ranges(a, a + stride, b);
            if (horizontal) {
                reverseRow(a, w);
                reverseRow(b, w);
            }
        }
        if (horizontal && h % 2 == 1)
            reverseRow(target.row(h / 2), w);
    } else {
        for (int y = 0; y < h; ++y)
            reverseRow(target.row(y), w);
    }
}

double fitScale(int width, int height, int boxWidth, int boxHeight)
{
    if (width <= 0 || height <= 0)
        return 0.0;
    const double kx = static_cast<double>(boxWidth) / width;
    const double ky = static_cast<double>(boxHeight) / height;
    return std::min(kx, ky);
}

Size fitSize(int width, int height, int boxWidth, int boxHeight)
{
    if (width <= 0 || height <= 0)
        return Size{0, 0};
    const double k = fitScale(width, height, boxWidth, boxHeight);
    // The product is formed in extended precision from the double factor, so
    // a mathematically whole product can fall just short and truncate lower
    // (300 x 200 into 271 x 255 gives 270 x 180).
    const long double lk = static_cast<long double>(k);
    auto scaled = [&](int n) {
        const long double v = static_cast<long double>(n) * lk;
        if (!(v > 0))
            return 0;
        if (v >= static_cast<long double>(Picture::kMaxDimension))
            return Picture::kMaxDimension;
        return static_cast<int>(v);
    };
    return Size{scaled(width), scaled(height)};
}

void fitIntoBox(const Picture& source, Picture& target, int boxWidth, int boxHeight)
{
    if (source.empty())
        return;
    const Size s = fitSize(source.width(), source.height(), boxWidth, boxHeight);
    stretchTo(source, target, s.width, s.height);
}

Rect aspectCropRect(int width, int height, int aspectWidth, int aspectHeight)
{
    Rect full{0, 0, width, height};
    if (width <= 0 || height <= 0 || aspectWidth <= 0 || aspectHeight <= 0)
        return full;
    // The products are compared and divided in 64 bits: identical to 32-bit
    // arithmetic whenever that does not overflow, and still sound when it
    // would (a wrapped product could give a negative or oversized cut).
    const std::int64_t wide = std::int64_t{width} * aspectHeight;
    const std::int64_t tall = std::int64_t{aspectWidth} * height;
    int x0 = 0, y0 = 0;
    if (wide < tall)
        y0 = static_cast<int>((tall - wide) / (2 * std::int64_t{aspectWidth}));
    else if (wide > tall)
        x0 = static_cast<int>((wide - tall) / (2 * std::int64_t{aspectHeight}));
    return Rect{x0, y0, width - x0, height - y0};
}

void cropToAspect(const Picture& source, Picture& target, int aspectWidth, int aspectHeight)
{
    const Rect r = aspectCropRect(source.width(), source.height(), aspectWidth, aspectHeight);
    if (r == Rect{0, 0, source.width(), source.height()}) {
        copyUnlessSame(source, target);
        return;
    }
    Picture region(r.width(), r.height());
    copyRect(source, r.left, r.top, region, 0, 0, r.width(), r.height());
    target.swap(region);
}

} // namespace tw
