#pragma once
// The matcher's distances in bulk, for big grids and libraries.
//
// Every visited cell of the main pass measures every photograph, and the
// use-all pass measures every free cell for every photograph: grid x library
// distances, far too many to take one matchDistance call at a time. Here the
// signatures and the cell samples are kept channel by channel, so one cell
// is measured against eight photographs at once (or one photograph against
// eight cells), with the same integer arithmetic as matchDistance: for an
// enhance of 0..100 every term stays within -510..510 and every distance
// within 0..6120, so 16-bit lanes hold them exactly.
//
// From those distances two short lists are made ahead of the sequential
// passes, on worker threads: per cell, the photographs that fit it best
// (CandidateLists), and per photograph, the cells it fits best (CellLists).
// Each list holds every entry below its cut, so whatever the passes skip is
// known to lie at or above it. The passes replay the matcher's scans with
// them, exactly; see matching.cpp.
#include "engine/project.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

// Largest distance of an enhance of 0..100: 12 terms of at most 510.
constexpr int kMaxBulkDistance = 6120;
// A cut above every distance: the list holds everything.
constexpr std::uint16_t kListHoldsAll = 0xFFFF;

// Whether the bulk distances equal matchDistance for this enhance.
constexpr bool bulkEnhanceSupported(std::int32_t enhance) { return enhance >= 0 && enhance <= 100; }

// Twelve colour bytes (four positions, blue, green, red) and a mean per
// item, each byte in its own column.
class ColourColumns {
public:
    ColourColumns() = default;
    explicit ColourColumns(int count);
    int count() const { return count_; }
    // Column k (0..11: position k / 3, channel k % 3 as blue, green, red;
    // 12..14: mean blue, green, red).
    const std::uint8_t* column(int k) const { return bytes_.data() + static_cast<std::size_t>(k) * stride_; }
    void set(int i, const ColorSignature& colours);
    // Item i's colours as set (luma bytes 0).
    ColorSignature get(int i) const;

private:
    int count_ = 0;
    std::size_t stride_ = 0;
    std::vector<std::uint8_t> bytes_;
};

// Entries 0..n-1 of the signature table, and the samples of the used grid in
// row-major order (cell c is column c mod cellsX, row c div cellsX).
ColourColumns signatureColumns(const MosaicProject& project, int n);
ColourColumns sampleColumns(const MosaicProject& project);

// out[i - first] := the unmirrored distance of photograph i to the sample
// with the colour shift of enhance (0..100), for i in first..last-1.
void distancesToPhotos(const ColourColumns& photos, int first, int last, const CellSample& sample, int enhance,
                       std::uint16_t* out);
// out[i - first] := the unmirrored, unshifted distance of the signature to
// cell i's sample, for i in first..last-1.
void distancesToCells(const ColourColumns& cells, int first, int last, const ColorSignature& signature,
                      std::uint16_t* out);

// The same with a given vector unit: one item at a time, eight or sixteen
// in SSE2 registers, or sixteen in AVX2 registers. distancesToPhotos and
// distancesToCells use the best one the processor has; every unit gives
// the same distances (tests compare them).
enum class BulkVectors { Plain, Sse2, Avx2 };
bool bulkVectorsAvailable(BulkVectors vectors);
void distancesToPhotosWith(BulkVectors vectors, const ColourColumns& photos, int first, int last,
                           const CellSample& sample, int enhance, std::uint16_t* out);
void distancesToCellsWith(BulkVectors vectors, const ColourColumns& cells, int first, int last,
                          const ColorSignature& signature, std::uint16_t* out);

// The position of the first of count distances below limit, count if none:
// the scans skip, eight at a time, what cannot enter.
int firstBelow(const std::uint16_t* distances, int count, std::uint16_t limit);

// Whether the window x0..x1 by y0..y1 (inclusive, inside the grid) of a
// grid of 16-bit values, cols to a row, holds value: every row of the
// window compared and the answers gathered before one test, eight or
// sixteen values across at a time, since a repeat window is short and
// deciding row by row costs more than reading it whole. The grid must be
// followed by kWindowPad values, which vector loads may read.
constexpr std::size_t kWindowPad = 16;
bool windowHolds(const std::int16_t* grid, std::size_t cols, int x0, int x1, int y0, int y1, std::int16_t value);
bool windowHoldsWith(BulkVectors vectors, const std::int16_t* grid, std::size_t cols, int x0, int x1, int y0, int y1,
                     std::int16_t value);

// Per cell, the photographs nearer than the cell's cut, in library order,
// with their distances. The cut is the (k+1)-th smallest distance, so a
// list holds at most k photographs; with k or fewer photographs every one
// is listed and the cut is kListHoldsAll.
class CandidateLists {
public:
    CandidateLists() = default;
    CandidateLists(int cells, int perCell);

    int perCell() const { return perCell_; }
    struct Entry {
        std::uint16_t photo;
        std::uint16_t distance;
    };
    const Entry* begin(int cell) const { return entries_.data() + static_cast<std::size_t>(cell) * perCell_; }
    const Entry* end(int cell) const { return begin(cell) + count_[static_cast<std::size_t>(cell)]; }
    std::uint16_t cut(int cell) const { return cut_[static_cast<std::size_t>(cell)]; }

    // Fills the lists of cells first..last-1; distinct ranges may be filled
    // by different threads at once.
    void build(const ColourColumns& photos, const ColourColumns& cells, int enhance, int first, int last);

private:
    int perCell_ = 0;
    std::vector<Entry> entries_;
    std::vector<std::uint16_t> count_;
    std::vector<std::uint16_t> cut_;
};

// Per photograph, the cells nearer than its cut (unshifted distance), in
// order of distance and, among equal ones, of cell number. The cut is the
// distance of the m-th nearest cell (by distance, then cell number), so at
// most m - 1 cells are listed; with m cells or fewer every one is listed
// and the cut is kListHoldsAll.
class CellLists {
public:
    CellLists() = default;
    CellLists(int photos, int perPhoto);

    int perPhoto() const { return perPhoto_; }
    struct Entry {
        std::int32_t cell;
        std::uint16_t distance;
    };
    const Entry* begin(int photo) const { return entries_.data() + static_cast<std::size_t>(photo) * perPhoto_; }
    const Entry* end(int photo) const { return begin(photo) + count_[static_cast<std::size_t>(photo)]; }
    std::uint16_t cut(int photo) const { return cut_[static_cast<std::size_t>(photo)]; }

    // Fills the lists of photographs first..last-1; distinct ranges may be
    // filled by different threads at once.
    void build(const ColourColumns& photos, const ColourColumns& cells, int first, int last);

private:
    int perPhoto_ = 0;
    std::vector<Entry> entries_;
    std::vector<std::uint16_t> count_;
    std::vector<std::uint16_t> cut_;
};

} // namespace tw
