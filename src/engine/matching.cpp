#include "engine/matching.h"

#include "engine/grid.h"
#include "engine/job_pool.h"
#include "engine/match_distances.h"
#include "engine/pipeline.h"
#include "library/cell_pic_lib.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <vector>

namespace tw {

namespace {

constexpr int kSlots = 8;
constexpr int kNoCandidate = 3000;   // a distance this large is never kept
constexpr int kNoCell = 999999;      // larger than any unshifted distance

// Quadrant of the signature paired with each sample pixel (top-left,
// top-right, bottom-left, bottom-right) in the four orientations.
constexpr int kPairing[4][4] = {
    {TopLeft, TopRight, BottomLeft, BottomRight},  // as is
    {TopRight, TopLeft, BottomRight, BottomLeft},  // mirrored left to right
    {BottomLeft, BottomRight, TopLeft, TopRight},  // mirrored top to bottom
    {BottomRight, BottomLeft, TopRight, TopLeft},  // both
};

// The cell count of the used grid, 0 when either side is not positive.
int cellCount(const tmosaicproject& s)
{
    if (s.cellsX <= 0 || s.cellsY <= 0)
        return 0;
    return s.cellsX * s.cellsY;
}

// The stage's gauge after each placement: the share of the t cells placed,
// then the observer's chance to repaint.
void reportPlaced(ProgressObserver& observer, int placedCount, int t)
{
    observer.setProgress(t > 0 ? static_cast<int>(std::int64_t{placedCount} * 100 / t) : 0);
    observer.pump();
}

// Number of photographs whose entries may be read: the table's capacity
// bounds whatever count a caller passes.
int usableCount(std::ptrdiff_t count)
{
    return count <= 0 ? 0 : static_cast<int>(std::min<std::ptrdiff_t>(count, kTableSize));
}

// Sum of |a.q - shift - b.p| over the four pixels and three channels for one
// orientation. Shifts come from the enhance setting and may be large when a
// record from a file holds an absurd value, hence 64-bit sums.
std::int64_t orientationDistance(const ColorSignature& a, const CellSample& b, const std::int64_t shift[3],
                                 const int (&pairing)[4])
{
    std::int64_t d = 0;
    for (int p = 0; p < 4; ++p) {
        const SignatureColor& q = a.c[pairing[p]];
        const SignatureColor& s = b.c[p];
        const std::int64_t db = std::int64_t{q.blue} - shift[0] - s.blue;
        const std::int64_t dg = std::int64_t{q.green} - shift[1] - s.green;
        const std::int64_t dr = std::int64_t{q.red} - shift[2] - s.red;
        d += (db < 0 ? -db : db) + (dg < 0 ? -dg : dg) + (dr < 0 ? -dr : dr);
    }
    return d;
}

int saturate(std::int64_t d) { return d > INT_MAX ? INT_MAX : static_cast<int>(d); }

// The unmirrored distance with the colour shift: what candidate ranking uses.
int plainDistance(const ColorSignature& a, const CellSample& b, int enhance)
{
    return matchDistance(a, b, enhance, false, false).distance;
}

} // namespace

MatchResult matchDistance(const ColorSignature& a, const CellSample& b, int enhance, bool allowV, bool allowH)
{
    std::int64_t shift[3] = {0, 0, 0};
    if (enhance > 0) {
        shift[0] = (std::int64_t{a.mean().blue} - b.mean().blue) * enhance / 100;
        shift[1] = (std::int64_t{a.mean().green} - b.mean().green) * enhance / 100;
        shift[2] = (std::int64_t{a.mean().red} - b.mean().red) * enhance / 100;
    }
    const int d0 = saturate(orientationDistance(a, b, shift, kPairing[0]));
    if (!allowV && !allowH)
        return {d0, false, false};
    if (allowH && !allowV) {
        const int d1 = saturate(orientationDistance(a, b, shift, kPairing[1]));
        return d1 < d0 ? MatchResult{d1, false, true} : MatchResult{d0, false, false};
    }
    if (allowV && !allowH) {
        const int d2 = saturate(orientationDistance(a, b, shift, kPairing[2]));
        return d2 < d0 ? MatchResult{d2, true, false} : MatchResult{d0, false, false};
    }
    const int d1 = saturate(orientationDistance(a, b, shift, kPairing[1]));
    const int d2 = saturate(orientationDistance(a, b, shift, kPairing[2]));
    const int d3 = saturate(orientationDistance(a, b, shift, kPairing[3]));
    switch (pickSmallestOfFour(d0, d1, d2, d3)) {
    case 2: return {d1, false, true};
    case 3: return {d2, true, false};
    case 4: return {d3, true, true};
    default: return {d0, false, false};
    }
}

int pickSmallestOfFour(int d0, int d1, int d2, int d3)
{
    // Later tests override earlier ones, so the earliest of equal smallest wins.
    int k = 1;
    if (d3 <= d0 && d3 <= d1 && d3 <= d2)
        k = 4;
    if (d2 <= d0 && d2 <= d1 && d2 <= d3)
        k = 3;
    if (d1 <= d0 && d1 <= d2 && d1 <= d3)
        k = 2;
    if (d0 <= d1 && d0 <= d2 && d0 <= d3)
        k = 1;
    return k;
}

namespace {

// Where each photograph has been placed during the matching stage. The stage
// clears every placed flag first and is the only writer while it runs, so a
// photograph's list of cells answers the radius test exactly as a scan of the
// window does, at the cost of the photograph's usage instead of the window's
// area (up to 201 x 201 cells).
class PlacementIndex {
public:
    explicit PlacementIndex(int n) : cells_(static_cast<std::size_t>(n)) {}
    void add(int p, int x, int y)
    {
        if (p >= 0 && static_cast<std::size_t>(p) < cells_.size())
            cells_[static_cast<std::size_t>(p)].push_back(CellPos{x, y});
    }
    // The cells holding p, or null when p is outside the indexed library.
    const std::vector<CellPos>* cellsOf(int p) const
    {
        return p >= 0 && static_cast<std::size_t>(p) < cells_.size() ? &cells_[static_cast<std::size_t>(p)] : nullptr;
    }

private:
    std::vector<std::vector<CellPos>> cells_;
};

bool allowed(const MosaicProject& project, int x, int y, int p, CheckLevel level, const PlacementIndex* index)
{
    if (level == CheckLevel::noCheck)
        return true;
    const tmosaicproject& s = project.settings;
    const int cols = std::clamp(s.cellsX, 0, kGridSize), rows = std::clamp(s.cellsY, 0, kGridSize);
    if (x < 0 || y < 0 || x >= kGridSize || y >= kGridSize || p < 0 || p >= kTableSize)
        return false;

    if (level == CheckLevel::fullCheck && project.MosaicGrid.at(x, y).placed)
        return false;

    if (s.repeatLimitOff == 0 && s.limitRepeat &&
        std::int64_t{project.CellPicTable[static_cast<std::size_t>(p)].usageCount} + 1 > s.maxRepeat)
        return false;

    // The window is clipped to the used grid; a radius below 0 gives no window.
    const std::int64_t r = s.repeatRadius;
    const int x0 = static_cast<int>(std::max<std::int64_t>(0, x - r));
    const int x1 = static_cast<int>(std::min<std::int64_t>(cols - 1, x + r));
    const int y0 = static_cast<int>(std::max<std::int64_t>(0, y - r));
    const int y1 = static_cast<int>(std::min<std::int64_t>(rows - 1, y + r));
    if (x0 > x1 || y0 > y1)
        return true;

    const std::vector<CellPos>* placedAt = index ? index->cellsOf(p) : nullptr;
    if (placedAt && static_cast<std::int64_t>(placedAt->size()) < std::int64_t{x1 - x0 + 1} * (y1 - y0 + 1)) {
        for (const CellPos& c : *placedAt)
            if (c.x >= x0 && c.x <= x1 && c.y >= y0 && c.y <= y1)
                return false;
        return true;
    }
    for (int cx = x0; cx <= x1; ++cx) {
        const MosaicCell* column = &project.MosaicGrid.at(cx, 0);
        for (int cy = y0; cy <= y1; ++cy)
            if (column[cy].placed && column[cy].picture == p)
                return false;
    }
    return true;
}

struct Slot {
    int distance;
    int index;
};
using Slots = std::array<Slot, kSlots>;

// Sorts the slots by ascending distance (the first smallest of the rest
// swapped forward each time) and takes the one Random(randomLevel) names.
int pickFromSlots(MosaicProject& project, Slots& slots)
{
    for (int i = 0; i < kSlots; ++i) {
        int smallest = i;
        for (int m = i + 1; m < kSlots; ++m)
            if (slots[m].distance < slots[smallest].distance)
                smallest = m;
        std::swap(slots[i], slots[smallest]);
    }

    // A random level outside 1..8 (possible in a record from a file) may name
    // a slot that does not exist: no candidate then.
    const std::uint32_t r = project.random(project.settings.randomLevel);
    return r < kSlots ? slots[r].index : -1;
}

int choose(MosaicProject& project, int libraryCount, int x, int y, const CellSample& sample, CheckLevel level,
           const PlacementIndex* index)
{
    const int n = usableCount(libraryCount);
    const int enhance = project.settings.colorEnhance;
    const int start = static_cast<int>(project.random(n));

    Slots slots;
    slots.fill(Slot{kNoCandidate, -1});

    for (int k = 0; k < n; ++k) {
        int j = start + k;
        if (j >= n)
            j -= n;
        const int d = plainDistance(project.CellPicTable[static_cast<std::size_t>(j)].signature, sample, enhance);
        int worst = 0;
        for (int i = 1; i < kSlots; ++i)
            if (slots[i].distance > slots[worst].distance)
                worst = i;
        // The allowance test has no side effects, so testing it only for a
        // candidate that would be kept gives the same slots with far fewer
        // radius tests.
        if (d < slots[worst].distance && allowed(project, x, y, j, level, index))
            slots[worst] = Slot{d, j};
    }
    return pickFromSlots(project, slots);
}

// The use-all scan of every cell from start: the allowed cell of smallest
// unshifted, unmirrored distance, the first in scan order among equal ones.
CellPos scanForFreeCell(const MosaicProject& project, int p, int start, const PlacementIndex* index)
{
    const tmosaicproject& s = project.settings;
    const int t = cellCount(s);
    CellPos best{-1, -1};
    if (p < 0 || p >= kTableSize)
        return best;
    const ColorSignature& signature = project.CellPicTable[static_cast<std::size_t>(p)].signature;
    int bestDistance = kNoCell;
    for (int k = 0; k < t; ++k) {
        int c = start + k;
        if (c >= t)
            c -= t;
        const int x = c % s.cellsX, y = c / s.cellsX;
        if (project.MosaicGrid.at(x, y).placed)
            continue;  // fullCheck refuses it; skip the sampling
        const int d = plainDistance(signature, readCellSample(project, x, y), 0);
        if (d < bestDistance && allowed(project, x, y, p, CheckLevel::fullCheck, index)) {
            bestDistance = d;
            best = CellPos{x, y};
        }
    }
    return best;
}

CellPos bestFreeCell(MosaicProject& project, int p, const PlacementIndex* index)
{
    const int start = static_cast<int>(project.random(cellCount(project.settings)));
    return scanForFreeCell(project, p, start, index);
}

} // namespace

bool candidateAllowed(const MosaicProject& project, int x, int y, int p, CheckLevel level)
{
    return allowed(project, x, y, p, level, nullptr);
}

int chooseLibraryPicture(MosaicProject& project, int libraryCount, int x, int y, const CellSample& sample,
                         CheckLevel level)
{
    return choose(project, libraryCount, x, y, sample, level, nullptr);
}

CellPos bestFreeCellFor(MosaicProject& project, int p)
{
    return bestFreeCell(project, p, nullptr);
}

void placePicture(MosaicProject& project, int p, int x, int y)
{
    if (p < 0 || p >= kTableSize || x < 0 || y < 0 || x >= kGridSize || y >= kGridSize)
        return;
    const tmosaicproject& s = project.settings;
    const CellSample b = readCellSample(project, x, y);
    CellPicEntry& entry = project.CellPicTable[static_cast<std::size_t>(p)];
    const ColorSignature& a = entry.signature;
    MosaicCell& cell = project.MosaicGrid.at(x, y);
    cell.redOffset = int{a.mean().red} - int{b.mean().red};
    cell.greenOffset = int{a.mean().green} - int{b.mean().green};
    cell.blueOffset = int{a.mean().blue} - int{b.mean().blue};
    cell.picture = p;
    cell.placed = 1;
    ++entry.usageCount;
    const MatchResult m = matchDistance(a, b, s.colorEnhance, s.allowVFlip != 0, s.allowHFlip != 0);
    cell.vFlip = m.vFlip ? 1 : 0;
    cell.hFlip = m.hFlip ? 1 : 0;
}

namespace {

// Every cell of the main picture itself: offsets toward the cell and random
// flips. No gauge, no pump.
void matchSelfMosaic(MosaicProject& project)
{
    const tmosaicproject& s = project.settings;
    const ColorSignature m = computeSignature(project.MainImage);
    for (int y = 0; y < s.cellsY; ++y)
        for (int x = 0; x < s.cellsX; ++x) {
            const CellSample b = readCellSample(project, x, y);
            MosaicCell& cell = project.MosaicGrid.at(x, y);
            cell.redOffset = int{m.mean().red} - int{b.mean().red};
            cell.greenOffset = int{m.mean().green} - int{b.mean().green};
            cell.blueOffset = int{m.mean().blue} - int{b.mean().blue};
            // Vertical first, and a draw only for an allowed flip.
            cell.vFlip = (s.allowVFlip && project.random(2) == 1) ? 1 : 0;
            cell.hFlip = (s.allowHFlip && project.random(2) == 1) ? 1 : 0;
            cell.placed = 1;
        }
}

// One visiting pass: T steps, each from a random cell to the first free one
// at or after it in row-major order.
void visitCells(MosaicProject& project, int n, int t, CheckLevel level, int& placedCount, PlacementIndex& index,
                ProgressObserver& observer)
{
    if (t <= 0)
        return;
    const int cols = project.settings.cellsX, rows = project.settings.cellsY;
    for (int step = 0; step < t; ++step) {
        int c = step + static_cast<int>(project.random(t));
        if (c >= t)
            c -= t;
        int x = c % cols, y = c / cols;
        for (int probes = 0; project.MosaicGrid.at(x, y).placed && probes < t; ++probes) {
            if (++x == cols) {
                x = 0;
                if (++y == rows)
                    y = 0;
            }
        }
        if (project.MosaicGrid.at(x, y).placed)
            continue;
        const CellSample b = readCellSample(project, x, y);
        const int p = choose(project, n, x, y, b, level, &index);
        if (p >= 0) {
            placePicture(project, p, x, y);
            index.add(p, x, y);
            ++placedCount;
        }
        reportPlaced(observer, placedCount, t);
    }
}

void matchStandard(MosaicProject& project, int n, ProgressObserver& observer)
{
    tmosaicproject& s = project.settings;
    const int t = cellCount(s);
    int placedCount = 0;
    PlacementIndex index(n);

    bool useAllPass = s.useAllPhotos != 0;
    if (t < n) {
        useAllPass = false;
        s.maxRepeat = 1;
    }

    if (useAllPass) {
        for (int p = 0; p < n; ++p) {
            const CellPos cell = bestFreeCell(project, p, &index);
            // No cell can be found only when the repeat limit refuses every
            // photograph (a maximum below 1 from a file); the photograph then
            // waits for the fill pass like any other.
            if (cell.x >= 0) {
                placePicture(project, p, cell.x, cell.y);
                index.add(p, cell.x, cell.y);
                ++placedCount;
            }
            reportPlaced(observer, placedCount, t);
        }
    }

    visitCells(project, n, t, CheckLevel::fullCheck, placedCount, index, observer);
    if (placedCount < t)
        visitCells(project, n, t, CheckLevel::noCheck, placedCount, index, observer);
}

// ---------------------------------------------------------------- in bulk

// Cells whose candidate lists one worker job fills.
constexpr int kListChunk = 1024;
// Photographs measured at a time while a scan may still take any of them:
// few at first, more as the scan goes on.
constexpr int kFirstScanBlock = 32;
constexpr int kLastScanBlock = 1024;
// Memory the per-cell lists may take, which sets their length on big grids.
constexpr std::uint64_t kCandidateListBytes = std::uint64_t{96} << 20;
constexpr int kMaxPhotosPerCell = 64;
constexpr int kMinPhotosPerCell = 8;
constexpr int kDefaultCellsPerPhoto = 64;

bool placedAt(const MosaicProject& project, int cell)
{
    const int cols = project.settings.cellsX;
    return project.MosaicGrid.at(cell % cols, cell / cols).placed != 0;
}

// The first free cell at or after a cell in row-major order, round the end
// of the grid to its start: what the visiting passes' probe finds by
// stepping over placed cells, which near the end of a pass means walking
// most of the grid for every step. Cells only ever become placed during the
// stage, so each placed cell points past itself and the pointers are
// shortened as they are followed.
class FreeCells {
public:
    FreeCells(const MosaicProject& project, int t) : next_(static_cast<std::size_t>(t) + 1)
    {
        for (int c = 0; c <= t; ++c)
            next_[static_cast<std::size_t>(c)] = c < t && placedAt(project, c) ? c + 1 : c;
    }
    // -1 when every cell is placed.
    int firstFrom(int c)
    {
        const int t = static_cast<int>(next_.size()) - 1;
        int f = find(c);
        if (f == t)
            f = find(0);
        return f == t ? -1 : f;
    }
    void take(int c) { next_[static_cast<std::size_t>(c)] = c + 1; }

private:
    int find(int c)
    {
        while (next_[static_cast<std::size_t>(c)] != c) {
            int& link = next_[static_cast<std::size_t>(c)];
            link = next_[static_cast<std::size_t>(link)];
            c = link;
        }
        return c;
    }
    std::vector<int> next_;
};

// What the bulk passes share: the columns measured from, the lists, the
// photograph each cell holds in this stage (-1: none; row after row, so
// that the radius test reads its window a row at a time rather than a
// column of 20-byte grid cells at a time), and the scratch of this thread.
struct BulkMatch {
    int n = 0, t = 0, cols = 0;
    ColourColumns photos, cells;
    CandidateLists candidates;
    CellLists cellLists;
    std::vector<std::int16_t> holder;
    std::vector<std::uint16_t> scratch;

    void place(MosaicProject& project, PlacementIndex& index, int p, int x, int y)
    {
        placePicture(project, p, x, y);
        index.add(p, x, y);
        holder[static_cast<std::size_t>(y) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(x)] =
            static_cast<std::int16_t>(p);
    }
};

// The holders are padded so that window tests may read past the last row.
constexpr std::size_t kHolderPad = kWindowPad;

// candidateAllowed as the stage asks it, the window read from the holders.
// The stage cleared every placed flag first and places only through
// BulkMatch::place, so a cell's holder is p exactly when the cell is placed
// and holds p.
bool allowedInBulk(const MosaicProject& project, const BulkMatch& bulk, int x, int y, int p, CheckLevel level,
                   const PlacementIndex& index)
{
    if (level == CheckLevel::noCheck)
        return true;
    const tmosaicproject& s = project.settings;
    const std::int16_t* holder = bulk.holder.data();
    const auto cols = static_cast<std::size_t>(bulk.cols);
    if (level == CheckLevel::fullCheck && holder[static_cast<std::size_t>(y) * cols + static_cast<std::size_t>(x)] >= 0)
        return false;
    if (s.repeatLimitOff == 0 && s.limitRepeat &&
        std::int64_t{project.CellPicTable[static_cast<std::size_t>(p)].usageCount} + 1 > s.maxRepeat)
        return false;
    const std::int64_t r = s.repeatRadius;
    const int rows = bulk.t / bulk.cols;
    const int x0 = static_cast<int>(std::max<std::int64_t>(0, x - r));
    const int x1 = static_cast<int>(std::min<std::int64_t>(bulk.cols - 1, x + r));
    const int y0 = static_cast<int>(std::max<std::int64_t>(0, y - r));
    const int y1 = static_cast<int>(std::min<std::int64_t>(rows - 1, y + r));
    if (x0 > x1 || y0 > y1)
        return true;
    // Whichever is shorter: the photograph's cells, or the window's rows
    // read up to sixteen holders at a time.
    const std::vector<CellPos>* placedAt = index.cellsOf(p);
    if (placedAt && static_cast<std::int64_t>(placedAt->size()) < std::int64_t{(x1 - x0) / 16 + 1} * (y1 - y0 + 1)) {
        for (const CellPos& c : *placedAt)
            if (c.x >= x0 && c.x <= x1 && c.y >= y0 && c.y <= y1)
                return false;
        return true;
    }
    return !windowHolds(holder, cols, x0, x1, y0, y1, static_cast<std::int16_t>(p));
}

// chooseLibraryPicture replayed from the cell's list. Its scan offers every
// photograph from a random start, and a photograph enters the slots when it
// beats the first slot of largest distance and is allowed. Photographs left
// off the list are at or beyond its cut, so once no slot is beyond the cut
// none of them can enter any more: the photographs up to that point are
// measured here, in the scan's order, and after it only the listed ones are
// offered. The slots, and so the result and the Random calls, are the
// scan's.
int chooseFromList(MosaicProject& project, BulkMatch& bulk, int cell, int x, int y, const CellSample& sample,
                   CheckLevel level, const PlacementIndex& index)
{
    const int n = bulk.n;
    const int enhance = project.settings.colorEnhance;
    const int start = static_cast<int>(project.random(n));
    // The list is read after the first blocks are measured; on a big grid
    // it is far from the cache by then unless asked for now.
    {
        const auto* from = reinterpret_cast<const char*>(bulk.candidates.begin(cell));
        const auto* to = reinterpret_cast<const char*>(bulk.candidates.end(cell));
        for (const char* line = from; line < to; line += 64)
            __builtin_prefetch(line);
    }

    Slots slots;
    slots.fill(Slot{kNoCandidate, -1});
    int worst = 0;  // the first slot of largest distance
    auto offer = [&](int j, int d) {
        if (d < slots[worst].distance && allowedInBulk(project, bulk, x, y, j, level, index)) {
            slots[worst] = Slot{d, j};
            worst = 0;
            for (int i = 1; i < kSlots; ++i)
                if (slots[i].distance > slots[worst].distance)
                    worst = i;
        }
    };

    const int cut = bulk.candidates.cut(cell);
    int pos = start, left = n;
    for (int block = kFirstScanBlock; left > 0 && slots[worst].distance > cut;
         block = std::min(2 * block, kLastScanBlock)) {
        const int len = std::min({block, left, n - pos});
        distancesToPhotos(bulk.photos, pos, pos + len, sample, enhance, bulk.scratch.data());
        // Distances not below the worst slot change nothing: skip them.
        int i = firstBelow(bulk.scratch.data(), len, static_cast<std::uint16_t>(slots[worst].distance));
        for (; i < len && slots[worst].distance > cut;) {
            offer(pos + i, bulk.scratch[static_cast<std::size_t>(i)]);
            ++i;
            i += firstBelow(bulk.scratch.data() + i, len - i, static_cast<std::uint16_t>(slots[worst].distance));
        }
        i = std::min(i, len);
        pos += i;
        left -= i;
        if (pos == n)
            pos = 0;
    }
    if (left > 0) {
        const CandidateLists::Entry* first = bulk.candidates.begin(cell);
        const CandidateLists::Entry* last = bulk.candidates.end(cell);
        const auto byPhoto = [](const CandidateLists::Entry& e, int photo) { return e.photo < photo; };
        const int stop = pos + left;  // past n: the scan goes round to the start of the library
        for (auto it = std::lower_bound(first, last, pos, byPhoto); it != last && it->photo < stop; ++it)
            offer(it->photo, it->distance);
        if (stop > n)
            for (auto it = first; it != last && it->photo < stop - n; ++it)
                offer(it->photo, it->distance);
    }
    return pickFromSlots(project, slots);
}

// bestFreeCellFor replayed from the photograph's list. In the use-all pass
// the photograph is placed nowhere yet, so the radius test passes in every
// cell and the repeat test gives the same answer for all: the allowed cells
// are the free ones or none. The nearest free cell is the first free one of
// the list (in order of distance) unless none is free; among cells of that
// distance, all of them listed, the scan takes the first from its start.
CellPos freeCellFromList(MosaicProject& project, BulkMatch& bulk, int p, const PlacementIndex& index)
{
    const int t = bulk.t, cols = project.settings.cellsX;
    const int start = static_cast<int>(project.random(t));
    const std::vector<CellPos>* placed = index.cellsOf(p);
    if (!placed || !placed->empty())
        return scanForFreeCell(project, p, start, &index);

    auto order = [&](int c) { return c >= start ? c - start : c + t - start; };
    int best = -1;
    const CellLists::Entry* it = bulk.cellLists.begin(p);
    const CellLists::Entry* last = bulk.cellLists.end(p);
    while (it != last && placedAt(project, it->cell))
        ++it;
    if (it != last) {
        best = it->cell;
        for (const std::uint16_t d = it->distance; it != last && it->distance == d; ++it)
            if (!placedAt(project, it->cell) && order(it->cell) < order(best))
                best = it->cell;
    } else if (bulk.cellLists.cut(p) != kListHoldsAll) {
        // Every listed cell is taken: measure the whole grid.
        const ColorSignature signature = bulk.photos.get(p);
        int bestDistance = kNoCell;
        for (int k = 0; k < t;) {
            const int from = start + k < t ? start + k : start + k - t;
            const int len = std::min(t - k, std::min(t - from, static_cast<int>(bulk.scratch.size())));
            distancesToCells(bulk.cells, from, from + len, signature, bulk.scratch.data());
            for (int i = 0; i < len; ++i)
                if (bulk.scratch[static_cast<std::size_t>(i)] < bestDistance && !placedAt(project, from + i)) {
                    bestDistance = bulk.scratch[static_cast<std::size_t>(i)];
                    best = from + i;
                }
            k += len;
        }
    }
    if (best < 0 || !allowedInBulk(project, bulk, best % cols, best / cols, p, CheckLevel::fullCheck, index))
        return CellPos{-1, -1};
    return CellPos{best % cols, best / cols};
}

// One visiting pass as visitCells runs it, with the probe through FreeCells
// and the choice from the lists (each list waited for when first needed).
void visitCellsInBulk(MosaicProject& project, BulkMatch& bulk, JobPool& lists, CheckLevel level, int& placedCount,
                      PlacementIndex& index, ProgressObserver& observer)
{
    const int t = bulk.t;
    if (t <= 0)
        return;
    const int cols = project.settings.cellsX;
    FreeCells free(project, t);
    // Lists already waited for: a pool wait takes a lock, once per chunk
    // is enough.
    std::vector<char> listed(static_cast<std::size_t>(t / kListChunk) + 1, 0);
    for (int step = 0; step < t; ++step) {
        int c = step + static_cast<int>(project.random(t));
        if (c >= t)
            c -= t;
        const int f = free.firstFrom(c);
        if (f < 0)
            continue;
        const int x = f % cols, y = f / cols;
        if (!listed[static_cast<std::size_t>(f / kListChunk)]) {
            lists.wait(static_cast<std::size_t>(f / kListChunk));
            listed[static_cast<std::size_t>(f / kListChunk)] = 1;
        }
        const CellSample b = readCellSample(project, x, y);
        const int p = chooseFromList(project, bulk, f, x, y, b, level, index);
        if (p >= 0) {
            bulk.place(project, index, p, x, y);
            free.take(f);
            ++placedCount;
        }
        reportPlaced(observer, placedCount, t);
    }
}

int photosPerCell(int n, int t, int requested)
{
    if (requested > 0)
        return std::min(requested, std::max(n, 1));
    const std::uint64_t fit = kCandidateListBytes / (std::uint64_t(std::max(t, 1)) * sizeof(CandidateLists::Entry));
    const int length = static_cast<int>(std::clamp<std::uint64_t>(fit, kMinPhotosPerCell, kMaxPhotosPerCell));
    return std::min(length, std::max(n, 1));
}

void matchStandardInBulk(MosaicProject& project, int n, unsigned threads, MatchListLengths lengths,
                         ProgressObserver& observer)
{
    tmosaicproject& s = project.settings;
    BulkMatch bulk;
    bulk.n = n;
    bulk.t = cellCount(s);
    bulk.cols = s.cellsX;
    const int t = bulk.t;
    bulk.holder.assign(static_cast<std::size_t>(t) + kHolderPad, std::int16_t{-1});
    int placedCount = 0;
    PlacementIndex index(n);

    bool useAllPass = s.useAllPhotos != 0;
    if (t < n) {
        useAllPass = false;
        s.maxRepeat = 1;
    }

    bulk.photos = signatureColumns(project, n);
    bulk.cells = sampleColumns(project);
    bulk.scratch.resize(std::max(4096, kLastScanBlock));

    if (useAllPass) {
        const int perPhoto = lengths.cellsPerPhoto > 0 ? lengths.cellsPerPhoto : kDefaultCellsPerPhoto;
        bulk.cellLists = CellLists(n, perPhoto);
        // Photographs in groups that keep every worker busy.
        const std::size_t groups = std::min<std::size_t>(static_cast<std::size_t>(n), std::size_t{threads} * 8);
        JobPool pool(groups, threads, 0, [&](std::size_t g) {
            const int first = static_cast<int>(std::size_t(n) * g / groups);
            const int last = static_cast<int>(std::size_t(n) * (g + 1) / groups);
            bulk.cellLists.build(bulk.photos, bulk.cells, first, last);
        });
        for (std::size_t g = 0; g < groups; ++g)
            pool.wait(g);
    }

    // The per-cell lists are made by the workers while this thread runs the
    // use-all pass.
    bulk.candidates = CandidateLists(t, photosPerCell(n, t, lengths.photosPerCell));
    const std::size_t chunks = (static_cast<std::size_t>(t) + kListChunk - 1) / kListChunk;
    const int enhance = s.colorEnhance;
    JobPool lists(chunks, threads, 0, [&](std::size_t j) {
        const int first = static_cast<int>(j) * kListChunk;
        bulk.candidates.build(bulk.photos, bulk.cells, enhance, first, std::min(t, first + kListChunk));
    });

    if (useAllPass) {
        for (int p = 0; p < n; ++p) {
            const CellPos cell = freeCellFromList(project, bulk, p, index);
            if (cell.x >= 0) {
                bulk.place(project, index, p, cell.x, cell.y);
                ++placedCount;
            }
            reportPlaced(observer, placedCount, t);
        }
    }

    visitCellsInBulk(project, bulk, lists, CheckLevel::fullCheck, placedCount, index, observer);
    if (placedCount < t)
        visitCellsInBulk(project, bulk, lists, CheckLevel::noCheck, placedCount, index, observer);
}
} // namespace

std::uint64_t matchingMemory(std::int64_t cells, std::int64_t photos, const EngineOptions& options)
{
    const auto t = static_cast<std::uint64_t>(std::clamp<std::int64_t>(cells, 0, std::int64_t{kGridSize} * kGridSize));
    const auto n = static_cast<std::uint64_t>(std::clamp<std::int64_t>(photos, 0, kTableSize));
    // Every placement's cell in the photographs' lists, with the slack of
    // growing vectors.
    const std::uint64_t placements = 2 * t * sizeof(CellPos) + n * sizeof(std::vector<CellPos>);
    if (options.referencePath)
        return placements;
    const std::uint64_t perCell = static_cast<std::uint64_t>(photosPerCell(static_cast<int>(n), static_cast<int>(t), 0));
    const std::uint64_t candidates = t * (perCell * sizeof(CandidateLists::Entry) + 2 * sizeof(std::uint16_t));
    const std::uint64_t cellLists = n * (kDefaultCellsPerPhoto * sizeof(CellLists::Entry) + 2 * sizeof(std::uint16_t));
    const std::uint64_t columns = 15 * (t + n) + t * sizeof(std::int16_t) + (t + 1) * sizeof(int);
    // Each worker measures one cell against every photograph at a time.
    const std::uint64_t workers = std::uint64_t{resolveThreadCount(options.threads)} * n * 3 * sizeof(std::uint16_t);
    return placements + candidates + cellLists + columns + workers;
}

void matchCells(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                const EngineOptions& options)
{
    matchCells(project, library, observer, options, MatchListLengths{});
}

void matchCells(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                const EngineOptions& options, MatchListLengths lengths)
{
    checkGridDimensions(project.settings);
    checkLibraryCapacity(library);

    observer.setJobLabel(kJobMatching);
    observer.setProgress(0);

    for (std::size_t i = 0; i < project.MosaicGrid.size(); ++i)
        project.MosaicGrid.data()[i].placed = 0;

    const int n = usableCount(static_cast<std::ptrdiff_t>(library.count()));
    if (project.settings.renderMode == RenderMode::SelfMosaic) {
        matchSelfMosaic(project);
    } else if (project.settings.renderMode == RenderMode::Standard) {
        // The bulk distances hold the enhance values the wizard offers; a
        // record from a file with another one is matched the plain way.
        if (options.referencePath || n == 0 || !bulkEnhanceSupported(project.settings.colorEnhance))
            matchStandard(project, n, observer);
        else
            matchStandardInBulk(project, n, resolveThreadCount(options.threads), lengths, observer);
    }
}

} // namespace tw
