#include "imaging/picture.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tw {

void Picture::resizeUninitialized(int width, int height)
{
    if (width < 0 || height < 0 || width > kMaxDimension || height > kMaxDimension)
        throw std::length_error("picture size out of range");
    if (width == 0 || height == 0)
        width = height = 0;
    pixels_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    width_ = width;
    height_ = height;
}

void Picture::resize(int width, int height)
{
    resizeUninitialized(width, height);
    std::fill(pixels_.begin(), pixels_.end(), std::uint8_t{0});
}

void Picture::fillRect(Rect r, Bgr c) noexcept
{
    int l = std::max(r.left, 0), t = std::max(r.top, 0);
    int rr = std::min(r.right, width_), b = std::min(r.bottom, height_);
    if (l >= rr || t >= b)
        return;
    for (int y = t; y < b; ++y) {
        std::uint8_t* p = row(y) + static_cast<std::size_t>(l) * 3;
        for (int x = l; x < rr; ++x, p += 3) {
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    }
}

void Picture::frameRect(Rect r, Bgr c) noexcept
{
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    fillRect(Rect{r.left, r.top, r.right, r.top + 1}, c);
    fillRect(Rect{r.left, r.bottom - 1, r.right, r.bottom}, c);
    fillRect(Rect{r.left, r.top, r.left + 1, r.bottom}, c);
    fillRect(Rect{r.right - 1, r.top, r.right, r.bottom}, c);
}

void copyRect(const Picture& src, int sx, int sy, Picture& dst, int dx, int dy, int w, int h)
{
    // Clip against the source, then the destination, moving both origins together.
    auto clip = [&](int& s, int& d, int& len, int sLimit, int dLimit) {
        if (s < 0) { d -= s; len += s; s = 0; }
        if (d < 0) { s -= d; len += d; d = 0; }
        len = std::min({len, sLimit - s, dLimit - d});
    };
    clip(sx, dx, w, src.width(), dst.width());
    clip(sy, dy, h, src.height(), dst.height());
    if (w <= 0 || h <= 0)
        return;
    const std::size_t bytes = static_cast<std::size_t>(w) * 3;
    auto copyRow = [&](int y) {
        std::memmove(dst.row(dy + y) + static_cast<std::size_t>(dx) * 3,
                     src.row(sy + y) + static_cast<std::size_t>(sx) * 3, bytes);
    };
    // Same picture with the block moving down: copy bottom rows first.
    if (&src == &dst && dy > sy) {
        for (int y = h - 1; y >= 0; --y)
            copyRow(y);
    } else {
        for (int y = 0; y < h; ++y)
            copyRow(y);
    }
}

} // namespace tw
