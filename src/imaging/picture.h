#pragma once
// The working picture: 24 bits per pixel, bytes blue, green, red, rows
// addressed from the top, rows packed without padding.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tw {

struct Bgr {
    std::uint8_t b = 0, g = 0, r = 0;
    friend bool operator==(const Bgr&, const Bgr&) = default;
};

// A colour chosen by the user, stored as red in the low byte, green in the
// middle byte and blue in the third byte.
inline Bgr bgrFromColorRef(std::uint32_t c)
{
    return Bgr{static_cast<std::uint8_t>((c >> 16) & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
               static_cast<std::uint8_t>(c & 0xFF)};
}
inline std::uint32_t colorRefFromBgr(Bgr c)
{
    return static_cast<std::uint32_t>(c.r) | (static_cast<std::uint32_t>(c.g) << 8) |
           (static_cast<std::uint32_t>(c.b) << 16);
}

struct Size {
    int width = 0, height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Left, top, right (exclusive), bottom (exclusive).
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

class Picture {
public:
    // Largest width or height a picture may have; keeps every derived size
    // (width x 3, width x height x 3) well inside 64-bit arithmetic and
    // every coordinate inside int.
    static constexpr int kMaxDimension = 1 << 17;

    Picture() = default;
    Picture(int width, int height) { resize(width, height); }

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    bool empty() const noexcept { return width_ <= 0 || height_ <= 0; }
    std::size_t stride() const noexcept { return static_cast<std::size_t>(width_) * 3; }
    std::size_t byteSize() const noexcept { return pixels_.size(); }

    // Sets the size; the content becomes black. Throws std::length_error for
    // a dimension outside 0..kMaxDimension and std::bad_alloc when memory runs out.
    void resize(int width, int height);
    // Sets the size keeping nothing, without clearing (content unspecified).
    void resizeUninitialized(int width, int height);
    void clear() noexcept { width_ = height_ = 0; pixels_.clear(); pixels_.shrink_to_fit(); }

    std::uint8_t* data() noexcept { return pixels_.data(); }
    const std::uint8_t* data() const noexcept { return pixels_.data(); }
    std::uint8_t* row(int y) noexcept { return pixels_.data() + static_cast<std::size_t>(y) * stride(); }
    const std::uint8_t* row(int y) const noexcept
    {
        return pixels_.data() + static_cast<std::size_t>(y) * stride();
    }

    Bgr pixel(int x, int y) const noexcept
    {
        const std::uint8_t* p = row(y) + static_cast<std::size_t>(x) * 3;
        return Bgr{p[0], p[1], p[2]};
    }
    void setPixel(int x, int y, Bgr c) noexcept
    {
        std::uint8_t* p = row(y) + static_cast<std::size_t>(x) * 3;
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }

    void fill(Bgr c) noexcept { fillRect(Rect{0, 0, width_, height_}, c); }
    // Fills the part of r that lies inside the picture.
    void fillRect(Rect r, Bgr c) noexcept;
    // A one-pixel outline along the inside of r (clipped to the picture).
    void frameRect(Rect r, Bgr c) noexcept;

    void swap(Picture& other) noexcept
    {
        std::swap(width_, other.width_);
        std::swap(height_, other.height_);
        pixels_.swap(other.pixels_);
    }

    friend bool operator==(const Picture& a, const Picture& b)
    {
        return a.width_ == b.width_ && a.height_ == b.height_ && a.pixels_ == b.pixels_;
    }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> pixels_;
};

// Read-only access to 24-bit rows held elsewhere (a decoder's buffer or a
// Picture): same byte layout as Picture, rows stride bytes apart.
struct PictureView {
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;
    int width = 0;
    int height = 0;

    PictureView() = default;
    PictureView(const std::uint8_t* d, std::size_t s, int w, int h) : data(d), stride(s), width(w), height(h) {}
    PictureView(const Picture& p) : data(p.data()), stride(p.stride()), width(p.width()), height(p.height()) {}

    bool empty() const noexcept { return width <= 0 || height <= 0; }
    const std::uint8_t* row(int y) const noexcept { return data + static_cast<std::size_t>(y) * stride; }
};

// Copies the w x h block at (sx, sy) of src to (dx, dy) of dst pixel for pixel,
// clipped to both pictures. src and dst may be the same picture; overlapping
// blocks are handled.
void copyRect(const Picture& src, int sx, int sy, Picture& dst, int dx, int dy, int w, int h);

} // namespace tw
