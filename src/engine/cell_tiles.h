#pragma once
// Drawing cells away from the mosaic: a cell's destination pixels are made
// into a private tile by any thread and copied into MosaicImage later by the
// thread that owns the project.
//
// The costly part of drawing a cell the plain way is the colour shift of the
// full-size picture, its mirroring and its reduction. The averaging stretch
// is one exact weighted sum per destination byte, rounded once, with weights
// that total the same for every destination pixel and mirror-symmetric
// weights. So for a destination byte whose source bytes all stay inside
// 0..255 after adding the amount, the shifted result is the unshifted one
// plus the amount, and mirroring the picture mirrors the result. A
// ReducedPicture keeps the unshifted reduction and, per destination byte,
// the smallest and largest source byte it reads; a cell then costs one pass
// over its own pixels, recomputing from the source only the bytes where a
// clamp can occur.
#include "engine/cell_layout.h"
#include "imaging/picture.h"
#include "imaging/resample.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tw {

struct TilePiece {
    int left = 0, top = 0;  // mosaic position of pixels' top-left corner
    Picture pixels;
};

struct CellTile {
    std::array<TilePiece, 2> piece;
    int count = 0;
};

// Copies the pieces into the mosaic in order, clipped to it.
void drawTile(const CellTile& tile, Picture& mosaic);

// The plain way: shift a copy of the whole picture, mirror it, scale each copy.
CellTile renderTileDirect(const Picture& prepared, const CellCopies& copies, const ShiftAmounts& amounts, bool hFlip,
                          bool vFlip);

class ReducedPicture {
public:
    // prepared must stay alive and unchanged while this object is used;
    // dest is the unsplit cell size (both sides positive).
    ReducedPicture(const Picture& prepared, Size dest);

    Size destSize() const { return dest_; }
    // Whether the shortcut applies at all (weights consistent) and whether
    // it applies to mirrored cells along each axis (weights symmetric).
    bool usable() const { return usable_; }
    bool mirrorsHorizontally() const { return symmetricX_; }
    bool mirrorsVertically() const { return symmetricY_; }

    // The smallest and largest source byte that destination byte (dx, dy,
    // channel 0 blue .. 2 red) reads, over every tap of its footprint.
    // Requires usable().
    struct ByteRange {
        std::uint8_t low = 0, high = 0;
    };
    ByteRange sourceRange(int dx, int dy, int channel) const
    {
        const std::size_t at =
            (static_cast<std::size_t>(dy) * static_cast<std::size_t>(dest_.width) + static_cast<std::size_t>(dx)) * 3 +
            static_cast<std::size_t>(channel);
        return ByteRange{low_[at], high_[at]};
    }

    // out := exactly what stretching the shifted, mirrored picture onto a
    // destSize() block gives. Requires usable() and the mirror conditions.
    void render(const ShiftAmounts& amounts, bool hFlip, bool vFlip, Picture& out) const;

private:
    std::uint8_t recompute(int dx, int dy, int channel, const std::array<std::uint8_t, 256>& table) const;

    const Picture& source_;
    Size dest_;
    AxisWeights wx_, wy_;
    bool usable_ = false;
    bool symmetricX_ = false;
    bool symmetricY_ = false;
    Picture base_;                    // the unshifted reduction
    std::vector<std::uint8_t> low_;   // per destination byte: smallest source byte read
    std::vector<std::uint8_t> high_;  // and largest
};

// The tile of one cell: through the reduced picture when the cell is
// unsplit and the shortcut applies, the plain way otherwise. reduced may be
// null.
CellTile renderTile(const Picture& prepared, const ReducedPicture* reduced, const CellCopies& copies,
                    const ShiftAmounts& amounts, bool hFlip, bool vFlip);

} // namespace tw
