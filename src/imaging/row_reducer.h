#pragma once
// The averaging stretch of a picture that arrives one row at a time, for
// decoders that hand over each row while it is in the cache and keep no
// copy of the whole picture.
//
// The result is the stretch of resample.h byte for byte: each destination
// byte is the same exact weighted sum, rounded once. Only the order of the
// additions differs (down the source rows first, then across the columns),
// and integer sums do not depend on it. Optionally it also finds, per
// destination byte, the smallest and largest source byte its footprint
// reads, which tells the drawing of cells where a colour shift can clamp.
//
// Memory stays proportional to one source row (two while a row is shared
// by two destination rows), whatever the picture's height.
#include "imaging/picture.h"
#include "imaging/resample.h"

#include <cstdint>
#include <vector>

namespace tw {

class RowReducer {
public:
    // A stretch of sourceWidth x sourceHeight onto dest (every side in
    // 1..kMaxStretchLength; throws std::invalid_argument otherwise).
    RowReducer(int sourceWidth, int sourceHeight, Size dest, bool withRanges);

    // The next source row (sourceWidth pixels of blue, green, red), from
    // the top. Rows beyond the last are ignored.
    void addRow(const std::uint8_t* row);
    // The next count rows of a view, row(first) .. row(first + count - 1).
    void addRows(const PictureView& rows, int first, int count);

    int rowsAdded() const { return rowsAdded_; }
    bool complete() const { return rowsAdded_ == sourceHeight_; }

    // Valid once complete().
    const Picture& reduced() const { return reduced_; }
    // Per destination byte (row after row, blue, green, red) the exact sum
    // before rounding, and the total it is divided by.
    const std::vector<std::uint64_t>& sums() const { return sums_; }
    std::uint64_t total() const { return std::uint64_t{wx_.total} * wy_.total; }
    // Per destination byte the smallest and largest source byte read
    // (empty without ranges).
    const std::vector<std::uint8_t>& low() const { return low_; }
    const std::vector<std::uint8_t>& high() const { return high_; }

    const AxisWeights& xWeights() const { return wx_; }
    const AxisWeights& yWeights() const { return wy_; }
    Size destSize() const { return dest_; }
    int sourceWidth() const { return sourceWidth_; }
    int sourceHeight() const { return sourceHeight_; }

private:
    // Column sums of one destination row: per source byte, its rows'
    // weighted sum and (with ranges) smallest and largest value.
    // Rows of the full weight of a reduced axis (all but the partly
    // covered edge rows) are only added up, in 16 bits, and multiplied by
    // that weight when the 16-bit sums are folded in: a plain widening
    // addition that vectorises well.
    struct Columns {
        int row = -1;  // the destination row, -1 when free
        std::vector<std::uint32_t> sum;
        std::vector<std::uint16_t> plain;
        int plainRows = 0;  // rows added into plain since it was folded in
        std::vector<std::uint8_t> low, high;
    };
    void foldPlain(Columns& c);
    void open(Columns& c, int destRow);
    void accumulate(Columns& c, const std::uint8_t* row, std::uint32_t weight);
    // Adds the next two rows when both have the full weight of the one
    // destination row being made, and tells whether it did.
    bool addFullPair(const std::uint8_t* a, const std::uint8_t* b);
    void finish(Columns& c);

    int sourceWidth_, sourceHeight_;
    Size dest_;
    bool withRanges_;
    bool reducing_;  // destination shorter than the source: rows accumulate
    AxisWeights wx_, wy_;
    std::size_t rowBytes_;
    int rowsAdded_ = 0;
    int nextDest_ = 0;  // first destination row not finished

    Columns slots_[2];
    // Stretching or copying rows: the last two source rows, which are all
    // a destination row reads.
    std::vector<std::uint8_t> previous_, current_;

    Picture reduced_;
    std::vector<std::uint64_t> sums_;
    std::vector<std::uint8_t> low_, high_;
};

} // namespace tw
