#include "imaging/inspect.h"

#include "imaging/resample.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace tw {

namespace {
constexpr Bgr kWhite{255, 255, 255};
constexpr Bgr kBlack{0, 0, 0};
constexpr int kCanvasWidth = 257, kCanvasHeight = 128, kSampleSide = 256, kBarMax = 128;
} // namespace

void drawLevelPicture(const Picture& source, Picture& target, LevelChannel channel, std::optional<Size> box)
{
    std::array<std::int64_t, 256> counter{};

    Picture canvas(kCanvasWidth, kCanvasHeight);
    canvas.fill(kWhite);
    canvas.frameRect(Rect{0, 0, kCanvasWidth, kCanvasHeight}, kBlack);

    Picture sample;
    stretchTo(source, sample, kSampleSide, kSampleSide);
    for (int y = 0; y < kSampleSide; ++y) {
        const std::uint8_t* p = sample.row(y);
        for (int x = 0; x < kSampleSide; ++x, p += 3) {
            switch (channel) {
            case LevelChannel::All:
                ++counter[p[2]];
                ++counter[p[1]];
                ++counter[p[0]];
                break;
            case LevelChannel::Red: ++counter[p[2]]; break;
            case LevelChannel::Green: ++counter[p[1]]; break;
            case LevelChannel::Blue: ++counter[p[0]]; break;
            }
        }
    }

    const std::int64_t largest = *std::max_element(counter.begin(), counter.end());
    if (largest > 0)
        for (std::int64_t& c : counter)
            c = c * kBarMax / largest;

    // A bin of value v blackens rows 128 - v .. 127 of column i + 1; row 128
    // (j = 0) lies below the canvas and is skipped by the clipped fill.
    for (int i = 0; i < 256; ++i)
        canvas.fillRect(Rect{i + 1, kCanvasHeight - static_cast<int>(counter[i]), i + 2, kCanvasHeight}, kBlack);

    if (box)
        target.resize(box->width, box->height);
    stretchTo(canvas, target, target.width(), target.height());
}

void drawColorSignature(Picture& target, const ColorSignature& signature)
{
    const int w = target.width(), h = target.height();
    const int hw = w / 2, hh = h / 2;
    const Rect quadrants[4] = {{0, 0, hw, hh}, {hw, 0, w, hh}, {0, hh, hw, h}, {hw, hh, w, h}};
    for (int q = 0; q < 4; ++q) {
        const SignatureColor& c = signature.c[q];
        target.fillRect(quadrants[q], Bgr{c.blue, c.green, c.red});
    }
}

void magnifyPattern(const Picture& source, Picture& target, int cellsAcross, int cellsDown, int factor,
                    bool edgeLines)
{
    if (factor < 1)
        throw std::invalid_argument("pattern magnification must be positive: " + std::to_string(factor));
    Picture reduced;
    stretchTo(source, reduced, cellsAcross, cellsDown);
    const std::int64_t width = std::int64_t{reduced.width()} * factor;
    const std::int64_t height = std::int64_t{reduced.height()} * factor;
    if (width > Picture::kMaxDimension || height > Picture::kMaxDimension)
        throw std::length_error("magnified pattern too large");
    Picture result(static_cast<int>(width), static_cast<int>(height));
    for (int x = 0; x < reduced.width(); ++x)
        for (int y = 0; y < reduced.height(); ++y) {
            const Rect block{x * factor, y * factor, (x + 1) * factor, (y + 1) * factor};
            result.fillRect(block, reduced.pixel(x, y));
            if (edgeLines) {
                result.fillRect(Rect{block.left, block.top, block.right, block.top + 1}, kBlack);
                result.fillRect(Rect{block.left, block.top, block.left + 1, block.bottom}, kBlack);
            }
        }
    target.swap(result);
}

} // namespace tw
