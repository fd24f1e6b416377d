#include "engine/matching.h"

#include "engine/grid.h"
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

int choose(MosaicProject& project, int libraryCount, int x, int y, const CellSample& sample, CheckLevel level,
           const PlacementIndex* index)
{
    const int n = usableCount(libraryCount);
    const int enhance = project.settings.colorEnhance;
    const int start = static_cast<int>(project.random(n));

    struct Slot {
        int distance;
        int index;
    };
    std::array<Slot, kSlots> slots;
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

CellPos bestFreeCell(MosaicProject& project, int p, const PlacementIndex* index)
{
    const tmosaicproject& s = project.settings;
    const int t = cellCount(s);
    const int start = static_cast<int>(project.random(t));
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
        observer.setProgress(static_cast<int>(std::int64_t{placedCount} * 100 / t));
        observer.pump();
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
            observer.setProgress(t > 0 ? static_cast<int>(std::int64_t{placedCount} * 100 / t) : 0);
            observer.pump();
        }
    }

    visitCells(project, n, t, CheckLevel::fullCheck, placedCount, index, observer);
    if (placedCount < t)
        visitCells(project, n, t, CheckLevel::noCheck, placedCount, index, observer);
}

} // namespace

void matchCells(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer)
{
    checkGridDimensions(project.settings);
    checkLibraryCapacity(library);

    observer.setJobLabel(kJobMatching);
    observer.setProgress(0);

    for (std::size_t i = 0; i < project.MosaicGrid.size(); ++i)
        project.MosaicGrid.data()[i].placed = 0;

    const int n = usableCount(static_cast<std::ptrdiff_t>(library.count()));
    if (project.settings.renderMode == RenderMode::SelfMosaic)
        matchSelfMosaic(project);
    else if (project.settings.renderMode == RenderMode::Standard)
        matchStandard(project, n, observer);
}

} // namespace tw
