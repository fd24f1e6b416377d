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
#include "imaging/row_reducer.h"

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
    // The same from a reduction of prepared made row by row as it was
    // decoded (complete, with ranges, of prepared's size).
    ReducedPicture(const PictureView& prepared, RowReducer&& reduction);

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
    friend class CompactTile;
    void adopt(RowReducer&& reduction);
    std::uint8_t recompute(int dx, int dy, int channel, const std::array<std::uint8_t, 256>& table) const;

    PictureView source_;
    Size dest_;
    AxisWeights wx_, wy_;
    bool usable_ = false;
    bool symmetricX_ = false;
    bool symmetricY_ = false;
    Picture base_;                        // the unshifted reduction
    std::vector<std::uint64_t> sums_;     // per destination byte: its exact sum before rounding
    std::vector<std::uint8_t> low_;       // per destination byte: smallest source byte read
    std::vector<std::uint8_t> high_;      // and largest
};

// What a photograph's unsplit cells need, without the photograph: the
// unshifted reduction and, for every destination byte, the exact result of
// each amount within the channel's range that clamps some source byte it
// reads (an amount a clamps a byte reading source bytes m..M when
// a < -m or a > 255 - M). A shifted byte's exact sum is its unshifted sum
// plus a x the weight total, corrected by what the clamp cuts off:
//   for a < 0, plus  sum over source values v < -a of weight x (-a - v);
//   for a > 0, minus sum over source values v > 255 - a of weight x (v + a - 255);
// rounded once as the stretch rounds. Only source values in those clamping
// zones matter, so only they are gathered, into a weighted histogram whose
// running sums give every amount's correction in turn. The results of a
// byte are stored one after another, those below the range first, so a
// typical photograph needs a small fraction of its own size.
class CompactTile {
public:
    // Ranges are limited to -255..255. Building stops, leaving an
    // incomplete and empty object, as soon as it would take more than
    // limitBytes; an unusable reduction gives an incomplete object too.
    CompactTile(const ReducedPicture& reduced, const ChannelRanges& ranges, std::uint64_t limitBytes);
    // The same with a given way of gathering the source values: every
    // value of a byte that can clamp, on any processor, or only the values
    // inside the clamping zones, picked out 64 bytes at a time with
    // AVX-512 (VBMI2). The three-argument form takes the quicker one the
    // processor has; both give the same object (tests compare them).
    // Throws std::invalid_argument for a way the processor lacks.
    enum class Gather { EveryValue, ZoneValues };
    static bool gatherAvailable(Gather how);
    CompactTile(const ReducedPicture& reduced, const ChannelRanges& ranges, std::uint64_t limitBytes, Gather how);

    // Everything a complete object holds, so that it can be stored and
    // made again exactly (the per-photograph result of the library stage).
    struct Parts {
        Size dest;
        int sourceWidth = 0, sourceHeight = 0;
        bool symmetricX = false, symmetricY = false;
        ChannelRanges ranges{};
        std::vector<std::uint8_t> base, below, above;
        std::vector<std::uint64_t> rowStart;  // per destination row (and one more): its first result
        std::vector<std::uint8_t> results;
        friend bool operator==(const Parts&, const Parts&) = default;
    };
    // Requires complete().
    Parts parts() const;
    // A complete object from stored parts. Throws std::invalid_argument,
    // naming what disagrees, when they cannot come from a complete object:
    // sizes that do not fit the destination, counts beyond a range, row
    // starts out of order or not matching the counts and the results.
    explicit CompactTile(Parts parts);

    bool complete() const { return complete_; }
    Size destSize() const { return dest_; }
    int sourceWidth() const { return sourceWidth_; }
    int sourceHeight() const { return sourceHeight_; }
    const ChannelRanges& ranges() const { return ranges_; }
    std::uint64_t byteSize() const;

    // Whether the cell these copies and flips draw (from a picture of
    // sourceWidth() x sourceHeight()) can be drawn from this data: unsplit,
    // the whole picture onto a destSize() block, mirrors the weights
    // allow, every amount inside its range.
    bool draws(const CellCopies& copies, const ShiftAmounts& amounts, bool hFlip, bool vFlip) const;
    // The cell's tile; requires draws().
    CellTile tile(const CellCopies& copies, const ShiftAmounts& amounts, bool hFlip, bool vFlip) const;

private:
    Size dest_;
    int sourceWidth_ = 0, sourceHeight_ = 0;
    bool symmetricX_ = false, symmetricY_ = false;
    bool complete_ = false;
    ChannelRanges ranges_{};
    std::vector<std::uint8_t> base_;        // the unshifted reduction, row after row
    std::vector<std::uint8_t> below_;       // per destination byte: results for amounts clamping at 0
    std::vector<std::uint8_t> above_;       // and at 255
    std::vector<std::size_t> rowStart_;     // per destination row (and one more): its first result
    std::vector<std::uint8_t> results_;
};

// The tile of one cell: through the reduced picture when the cell is
// unsplit and the shortcut applies, the plain way otherwise. reduced may be
// null.
CellTile renderTile(const Picture& prepared, const ReducedPicture* reduced, const CellCopies& copies,
                    const ShiftAmounts& amounts, bool hFlip, bool vFlip);

} // namespace tw
