#include "engine/match_distances.h"

#include "engine/grid.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tw {

namespace {

constexpr int kColumns = 15;
constexpr int kColourColumns = 12;

// Columns are padded so a 16-byte load starting at any item stays inside.
constexpr std::size_t kPad = 16;

std::uint8_t channel(const SignatureColor& c, int k)
{
    return k == 0 ? c.blue : k == 1 ? c.green : c.red;
}

// The twelve colour bytes in column order.
void colourBytes(const ColorSignature& s, std::uint8_t out[kColourColumns])
{
    for (int k = 0; k < kColourColumns; ++k)
        out[k] = channel(s.c[static_cast<std::size_t>(k / 3)], k % 3);
}

// matchDistance's colour shift for one channel, enhance 0..100.
int shiftOf(int photoMean, int sampleMean, int enhance)
{
    return enhance > 0 ? (photoMean - sampleMean) * enhance / 100 : 0;
}

} // namespace

ColourColumns::ColourColumns(int count)
    : count_(std::max(count, 0)), stride_(static_cast<std::size_t>(count_) + kPad),
      bytes_(stride_ * kColumns, 0)
{
}

void ColourColumns::set(int i, const ColorSignature& colours)
{
    std::uint8_t bytes[kColourColumns];
    colourBytes(colours, bytes);
    for (int k = 0; k < kColourColumns; ++k)
        bytes_[static_cast<std::size_t>(k) * stride_ + static_cast<std::size_t>(i)] = bytes[k];
    for (int c = 0; c < 3; ++c)
        bytes_[static_cast<std::size_t>(kColourColumns + c) * stride_ + static_cast<std::size_t>(i)] =
            channel(colours.mean(), c);
}

ColorSignature ColourColumns::get(int i) const
{
    ColorSignature s;
    const auto at = [&](int k) { return column(k)[i]; };
    for (int q = 0; q < 5; ++q) {
        s.c[static_cast<std::size_t>(q)].blue = at(3 * q);
        s.c[static_cast<std::size_t>(q)].green = at(3 * q + 1);
        s.c[static_cast<std::size_t>(q)].red = at(3 * q + 2);
    }
    return s;
}

ColourColumns signatureColumns(const MosaicProject& project, int n)
{
    ColourColumns columns(n);
    for (int i = 0; i < n; ++i)
        columns.set(i, project.CellPicTable[static_cast<std::size_t>(i)].signature);
    return columns;
}

ColourColumns sampleColumns(const MosaicProject& project)
{
    const int cols = std::max(project.settings.cellsX, 0), rows = std::max(project.settings.cellsY, 0);
    ColourColumns columns(cols * rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            columns.set(y * cols + x, readCellSample(project, x, y));
    return columns;
}

// ---------------------------------------------------------------- one at a time

void distancesToPhotosPlain(const ColourColumns& photos, int first, int last, const CellSample& sample, int enhance,
                            std::uint16_t* out)
{
    std::uint8_t b[kColourColumns];
    colourBytes(sample, b);
    const int mean[3] = {sample.mean().blue, sample.mean().green, sample.mean().red};
    for (int i = first; i < last; ++i) {
        int shift[3];
        for (int c = 0; c < 3; ++c)
            shift[c] = shiftOf(photos.column(kColourColumns + c)[i], mean[c], enhance);
        int d = 0;
        for (int k = 0; k < kColourColumns; ++k)
            d += std::abs(photos.column(k)[i] - shift[k % 3] - b[k]);
        out[i - first] = static_cast<std::uint16_t>(d);
    }
}

void distancesToCellsPlain(const ColourColumns& cells, int first, int last, const ColorSignature& signature,
                           std::uint16_t* out)
{
    std::uint8_t a[kColourColumns];
    colourBytes(signature, a);
    for (int i = first; i < last; ++i) {
        int d = 0;
        for (int k = 0; k < kColourColumns; ++k)
            d += std::abs(cells.column(k)[i] - a[k]);
        out[i - first] = static_cast<std::uint16_t>(d);
    }
}

// ---------------------------------------------------------------- in vectors

#if defined(__SSE2__)

int firstBelow(const std::uint16_t* distances, int count, std::uint16_t limit)
{
    // Distances stay below 32768, so a signed comparison with the limit
    // (capped there) orders them correctly.
    const __m128i bound = _mm_set1_epi16(static_cast<short>(std::min<int>(limit, 32767)));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(distances + i));
        const int mask = _mm_movemask_epi8(_mm_cmplt_epi16(d, bound));
        if (mask != 0)
            return i + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
    }
    for (; i < count; ++i)
        if (distances[i] < limit)
            return i;
    return count;
}

namespace {

// Sum of |column byte - reference byte| over the twelve colour columns,
// sixteen items at a time in bytes widened to 16-bit sums.
void unshiftedDistances(const ColourColumns& columns, int first, int last, const std::uint8_t ref[kColourColumns],
                        std::uint16_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i r[kColourColumns];
    for (int k = 0; k < kColourColumns; ++k)
        r[k] = _mm_set1_epi8(static_cast<char>(ref[k]));
    int i = first;
    for (; i + 16 <= last; i += 16) {
        __m128i low = zero, high = zero;
        for (int k = 0; k < kColourColumns; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns.column(k) + i));
            const __m128i diff = _mm_or_si128(_mm_subs_epu8(v, r[k]), _mm_subs_epu8(r[k], v));
            low = _mm_add_epi16(low, _mm_unpacklo_epi8(diff, zero));
            high = _mm_add_epi16(high, _mm_unpackhi_epi8(diff, zero));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - first)), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - first) + 8), high);
    }
    for (; i < last; ++i) {
        int d = 0;
        for (int k = 0; k < kColourColumns; ++k)
            d += std::abs(columns.column(k)[i] - ref[k]);
        out[i - first] = static_cast<std::uint16_t>(d);
    }
}

} // namespace

void distancesToPhotos(const ColourColumns& photos, int first, int last, const CellSample& sample, int enhance,
                       std::uint16_t* out)
{
    std::uint8_t b[kColourColumns];
    colourBytes(sample, b);
    if (enhance <= 0) {
        unshiftedDistances(photos, first, last, b, out);
        return;
    }
    const __m128i zero = _mm_setzero_si128();
    __m128i bb[kColourColumns];
    for (int k = 0; k < kColourColumns; ++k)
        bb[k] = _mm_set1_epi16(b[k]);
    const __m128i means[3] = {_mm_set1_epi16(sample.mean().blue), _mm_set1_epi16(sample.mean().green),
                              _mm_set1_epi16(sample.mean().red)};
    const __m128i e = _mm_set1_epi16(static_cast<short>(enhance));
    // floor(a / 100) = (a * 41944) >> 22 for every a of 0..25500 (the
    // largest |mean difference x enhance|): the error of the rounded-up
    // reciprocal stays below 0.006, less than the 0.01 gap to the next
    // integer.
    const __m128i magic = _mm_set1_epi16(static_cast<short>(41944));
    auto load = [&](int k, int at) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(photos.column(k) + at)), zero);
    };
    int i = first;
    for (; i + 8 <= last; i += 8) {
        __m128i shift[3];
        for (int c = 0; c < 3; ++c) {
            const __m128i x = _mm_mullo_epi16(_mm_sub_epi16(load(kColourColumns + c, i), means[c]), e);
            const __m128i sign = _mm_srai_epi16(x, 15);
            const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(x, sign), sign);
            const __m128i quotient = _mm_srli_epi16(_mm_mulhi_epu16(magnitude, magic), 6);
            shift[c] = _mm_sub_epi16(_mm_xor_si128(quotient, sign), sign);  // truncated toward zero
        }
        __m128i d = zero;
        for (int k = 0; k < kColourColumns; ++k) {
            const __m128i t = _mm_sub_epi16(load(k, i), shift[k % 3]);
            d = _mm_add_epi16(d, _mm_sub_epi16(_mm_max_epi16(t, bb[k]), _mm_min_epi16(t, bb[k])));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - first)), d);
    }
    distancesToPhotosPlain(photos, i, last, sample, enhance, out + (i - first));
}

void distancesToCells(const ColourColumns& cells, int first, int last, const ColorSignature& signature,
                      std::uint16_t* out)
{
    std::uint8_t a[kColourColumns];
    colourBytes(signature, a);
    unshiftedDistances(cells, first, last, a, out);
}

#else

int firstBelow(const std::uint16_t* distances, int count, std::uint16_t limit)
{
    int i = 0;
    while (i < count && distances[i] >= limit)
        ++i;
    return i;
}

void distancesToPhotos(const ColourColumns& photos, int first, int last, const CellSample& sample, int enhance,
                       std::uint16_t* out)
{
    distancesToPhotosPlain(photos, first, last, sample, enhance, out);
}

void distancesToCells(const ColourColumns& cells, int first, int last, const ColorSignature& signature,
                      std::uint16_t* out)
{
    distancesToCellsPlain(cells, first, last, signature, out);
}

#endif

// ---------------------------------------------------------------- per cell

namespace {

// The (rank + 1)-th smallest distance, through a histogram of coarse bins
// (distance / 32) and an exact selection inside the one bin that holds it:
// cheaper than a heap while the list is a good part of the library.
constexpr int kBinShift = 5;
constexpr int kBins = (kMaxBulkDistance >> kBinShift) + 1;
constexpr int kHistogramRatio = 32;  // up to this many photographs per listed one

std::uint16_t selectByHistogram(const std::vector<std::uint16_t>& distances, int rank, std::vector<std::uint16_t>& bins,
                                std::vector<std::uint16_t>& inBin)
{
    std::fill(bins.begin(), bins.end(), std::uint16_t{0});
    for (const std::uint16_t d : distances)
        ++bins[d >> kBinShift];
    int below = 0, bin = 0;  // distances in the bins before bin
    while (below + bins[static_cast<std::size_t>(bin)] <= rank)
        below += bins[static_cast<std::size_t>(bin++)];
    inBin.clear();
    for (const std::uint16_t d : distances)
        if ((d >> kBinShift) == bin)
            inBin.push_back(d);
    const auto nth = inBin.begin() + (rank - below);
    std::nth_element(inBin.begin(), nth, inBin.end());
    return *nth;
}

} // namespace

CandidateLists::CandidateLists(int cells, int perCell)
    : perCell_(std::max(perCell, 1)), entries_(static_cast<std::size_t>(std::max(cells, 0)) * perCell_),
      count_(static_cast<std::size_t>(std::max(cells, 0)), 0),
      cut_(static_cast<std::size_t>(std::max(cells, 0)), kListHoldsAll)
{
}

void CandidateLists::build(const ColourColumns& photos, const ColourColumns& cells, int enhance, int first, int last)
{
    const int n = photos.count();
    std::vector<std::uint16_t> distances(static_cast<std::size_t>(n));
    std::vector<std::uint16_t> nearest;  // max-heap of the perCell + 1 smallest distances so far
    const auto keep = static_cast<std::size_t>(perCell_) + 1;
    nearest.reserve(keep);
    std::vector<std::uint16_t> bins(kBins), inBin;
    inBin.reserve(static_cast<std::size_t>(n));
    for (int cell = first; cell < last; ++cell) {
        distancesToPhotos(photos, 0, n, cells.get(cell), enhance, distances.data());
        std::uint16_t cut = kListHoldsAll;
        if (n > perCell_ && n <= kHistogramRatio * static_cast<int>(keep)) {
            cut = selectByHistogram(distances, perCell_, bins, inBin);
        } else if (n > perCell_) {
            nearest.assign(distances.begin(), distances.begin() + static_cast<std::ptrdiff_t>(keep));
            std::make_heap(nearest.begin(), nearest.end());
            // Only a distance below the largest kept one changes the heap.
            for (int i = static_cast<int>(keep);;) {
                i += firstBelow(distances.data() + i, n - i, nearest.front());
                if (i >= n)
                    break;
                std::pop_heap(nearest.begin(), nearest.end());
                nearest.back() = distances[static_cast<std::size_t>(i)];
                std::push_heap(nearest.begin(), nearest.end());
                ++i;
            }
            cut = nearest.front();
        }
        Entry* list = entries_.data() + static_cast<std::size_t>(cell) * perCell_;
        int count = 0;
        for (int i = firstBelow(distances.data(), n, cut); i < n; i += 1 + firstBelow(distances.data() + i + 1, n - i - 1, cut))
            list[count++] = Entry{static_cast<std::uint16_t>(i), distances[static_cast<std::size_t>(i)]};
        count_[static_cast<std::size_t>(cell)] = static_cast<std::uint16_t>(count);
        cut_[static_cast<std::size_t>(cell)] = cut;
    }
}

// ---------------------------------------------------------------- per photograph

CellLists::CellLists(int photos, int perPhoto)
    : perPhoto_(std::max(perPhoto, 1)), entries_(static_cast<std::size_t>(std::max(photos, 0)) * perPhoto_),
      count_(static_cast<std::size_t>(std::max(photos, 0)), 0),
      cut_(static_cast<std::size_t>(std::max(photos, 0)), kListHoldsAll)
{
}

void CellLists::build(const ColourColumns& photos, const ColourColumns& cells, int first, int last)
{
    // Cells are measured a block at a time against every photograph of the
    // range, so a block's columns are read from memory once per range.
    constexpr int kBlock = 4096;
    const int t = cells.count();
    const auto before = [](const Entry& a, const Entry& b) {
        return a.distance != b.distance ? a.distance < b.distance : a.cell < b.cell;
    };
    const int photosInRange = std::max(last - first, 0);
    std::vector<std::vector<Entry>> nearest(static_cast<std::size_t>(photosInRange));  // max-heaps by (distance, cell)
    std::vector<ColorSignature> signatures(static_cast<std::size_t>(photosInRange));
    for (int p = first; p < last; ++p) {
        nearest[static_cast<std::size_t>(p - first)].reserve(static_cast<std::size_t>(perPhoto_));
        signatures[static_cast<std::size_t>(p - first)] = photos.get(p);
    }
    std::vector<std::uint16_t> distances(kBlock);
    for (int from = 0; from < t; from += kBlock) {
        const int to = std::min(t, from + kBlock);
        for (int p = first; p < last; ++p) {
            std::vector<Entry>& heap = nearest[static_cast<std::size_t>(p - first)];
            distancesToCells(cells, from, to, signatures[static_cast<std::size_t>(p - first)], distances.data());
            int c = from;
            for (; c < to && heap.size() < static_cast<std::size_t>(perPhoto_); ++c) {
                heap.push_back(Entry{c, distances[static_cast<std::size_t>(c - from)]});
                std::push_heap(heap.begin(), heap.end(), before);
            }
            // Cells arrive in increasing order, so only a smaller distance
            // goes before the largest kept one.
            for (;;) {
                c += firstBelow(distances.data() + (c - from), to - c, heap.empty() ? 0 : heap.front().distance);
                if (c >= to)
                    break;
                std::pop_heap(heap.begin(), heap.end(), before);
                heap.back() = Entry{c, distances[static_cast<std::size_t>(c - from)]};
                std::push_heap(heap.begin(), heap.end(), before);
                ++c;
            }
        }
    }
    for (int p = first; p < last; ++p) {
        std::vector<Entry>& heap = nearest[static_cast<std::size_t>(p - first)];
        std::uint16_t cut = kListHoldsAll;
        if (t > perPhoto_)
            cut = heap.front().distance;
        std::sort_heap(heap.begin(), heap.end(), before);
        Entry* list = entries_.data() + static_cast<std::size_t>(p) * perPhoto_;
        int count = 0;
        for (const Entry& e : heap)
            if (e.distance < cut)
                list[count++] = e;
        count_[static_cast<std::size_t>(p)] = static_cast<std::uint16_t>(count);
        cut_[static_cast<std::size_t>(p)] = cut;
    }
}

} // namespace tw
