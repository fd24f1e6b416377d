#include "engine/match_distances.h"

#include "engine/grid.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#define TW_BULK_AVX2 1
#include <immintrin.h>
#else
#define TW_BULK_AVX2 0
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

namespace {

void photosPlain(const ColourColumns& photos, int first, int last, const CellSample& sample, int enhance,
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

void unshiftedPlain(const ColourColumns& columns, int first, int last, const std::uint8_t ref[kColourColumns],
                    std::uint16_t* out)
{
    for (int i = first; i < last; ++i) {
        int d = 0;
        for (int k = 0; k < kColourColumns; ++k)
            d += std::abs(columns.column(k)[i] - ref[k]);
        out[i - first] = static_cast<std::uint16_t>(d);
    }
}

// ---------------------------------------------------------------- in vectors
// For an enhance above 0 the shift is (mean difference x enhance) / 100
// truncated toward zero, from the magnitude a <= 25500 with its sign put
// back: floor(a / 100) = (a * 41944) >> 22 for every such a, since the
// rounded-up reciprocal's error stays below 0.006, less than the 0.01 gap
// to the next integer.
constexpr short kDivideBy100 = static_cast<short>(41944);

#if defined(__SSE2__)

// Sixteen items at a time in bytes, widened to 16-bit sums.
void unshiftedSse2(const ColourColumns& columns, int first, int last, const std::uint8_t ref[kColourColumns],
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
    unshiftedPlain(columns, i, last, ref, out + (i - first));
}

// Eight photographs at a time in 16-bit lanes; enhance 1..100.
void shiftedSse2(const ColourColumns& photos, int first, int last, const CellSample& sample, int enhance,
                 std::uint16_t* out)
{
    std::uint8_t b[kColourColumns];
    colourBytes(sample, b);
    const __m128i zero = _mm_setzero_si128();
    __m128i bb[kColourColumns];
    for (int k = 0; k < kColourColumns; ++k)
        bb[k] = _mm_set1_epi16(b[k]);
    const __m128i means[3] = {_mm_set1_epi16(sample.mean().blue), _mm_set1_epi16(sample.mean().green),
                              _mm_set1_epi16(sample.mean().red)};
    const __m128i e = _mm_set1_epi16(static_cast<short>(enhance));
    const __m128i magic = _mm_set1_epi16(kDivideBy100);
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
            shift[c] = _mm_sub_epi16(_mm_xor_si128(quotient, sign), sign);
        }
        __m128i d = zero;
        for (int k = 0; k < kColourColumns; ++k) {
            const __m128i t = _mm_sub_epi16(load(k, i), shift[k % 3]);
            d = _mm_add_epi16(d, _mm_sub_epi16(_mm_max_epi16(t, bb[k]), _mm_min_epi16(t, bb[k])));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - first)), d);
    }
    photosPlain(photos, i, last, sample, enhance, out + (i - first));
}

#endif

#if TW_BULK_AVX2

// The same sixteen items at a time in 16-bit lanes of the wider unit.
__attribute__((target("avx2"))) void unshiftedAvx2(const ColourColumns& columns, int first, int last,
                                                   const std::uint8_t ref[kColourColumns], std::uint16_t* out)
{
    __m256i r[kColourColumns];
    for (int k = 0; k < kColourColumns; ++k)
        r[k] = _mm256_set1_epi16(ref[k]);
    int i = first;
    for (; i + 16 <= last; i += 16) {
        __m256i d = _mm256_setzero_si256();
        for (int k = 0; k < kColourColumns; ++k) {
            const __m256i v =
                _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(columns.column(k) + i)));
            d = _mm256_add_epi16(d, _mm256_abs_epi16(_mm256_sub_epi16(v, r[k])));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + (i - first)), d);
    }
    unshiftedPlain(columns, i, last, ref, out + (i - first));
}

__attribute__((target("avx2"))) void shiftedAvx2(const ColourColumns& photos, int first, int last,
                                                 const CellSample& sample, int enhance, std::uint16_t* out)
{
    std::uint8_t b[kColourColumns];
    colourBytes(sample, b);
    __m256i bb[kColourColumns];
    for (int k = 0; k < kColourColumns; ++k)
        bb[k] = _mm256_set1_epi16(b[k]);
    const __m256i means[3] = {_mm256_set1_epi16(sample.mean().blue), _mm256_set1_epi16(sample.mean().green),
                              _mm256_set1_epi16(sample.mean().red)};
    const __m256i e = _mm256_set1_epi16(static_cast<short>(enhance));
    const __m256i magic = _mm256_set1_epi16(kDivideBy100);
    auto load = [&](int k, int at) __attribute__((target("avx2"))) {
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(photos.column(k) + at)));
    };
    int i = first;
    for (; i + 16 <= last; i += 16) {
        __m256i shift[3];
        for (int c = 0; c < 3; ++c) {
            const __m256i x = _mm256_mullo_epi16(_mm256_sub_epi16(load(kColourColumns + c, i), means[c]), e);
            const __m256i sign = _mm256_srai_epi16(x, 15);
            const __m256i magnitude = _mm256_sub_epi16(_mm256_xor_si256(x, sign), sign);
            const __m256i quotient = _mm256_srli_epi16(_mm256_mulhi_epu16(magnitude, magic), 6);
            shift[c] = _mm256_sub_epi16(_mm256_xor_si256(quotient, sign), sign);
        }
        __m256i d = _mm256_setzero_si256();
        for (int k = 0; k < kColourColumns; ++k) {
            const __m256i t = _mm256_sub_epi16(load(k, i), shift[k % 3]);
            d = _mm256_add_epi16(d, _mm256_abs_epi16(_mm256_sub_epi16(t, bb[k])));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + (i - first)), d);
    }
    photosPlain(photos, i, last, sample, enhance, out + (i - first));
}

#endif

BulkVectors bestVectors()
{
    static const BulkVectors best = bulkVectorsAvailable(BulkVectors::Avx2)   ? BulkVectors::Avx2
                                    : bulkVectorsAvailable(BulkVectors::Sse2) ? BulkVectors::Sse2
                                                                              : BulkVectors::Plain;
    return best;
}

} // namespace

bool bulkVectorsAvailable(BulkVectors vectors)
{
    switch (vectors) {
    case BulkVectors::Plain:
        return true;
    case BulkVectors::Sse2:
#if defined(__SSE2__)
        return true;
#else
        return false;
#endif
    case BulkVectors::Avx2:
#if TW_BULK_AVX2
        return __builtin_cpu_supports("avx2") != 0;
#else
        return false;
#endif
    }
    return false;
}

void distancesToPhotosWith(BulkVectors vectors, const ColourColumns& photos, int first, int last,
                           const CellSample& sample, int enhance, std::uint16_t* out)
{
    if (enhance <= 0) {
        // Unshifted, |photograph byte - sample byte| is what the cells' form sums.
        distancesToCellsWith(vectors, photos, first, last, sample, out);
        return;
    }
    switch (vectors) {
#if TW_BULK_AVX2
    case BulkVectors::Avx2:
        shiftedAvx2(photos, first, last, sample, enhance, out);
        return;
#endif
#if defined(__SSE2__)
    case BulkVectors::Sse2:
        shiftedSse2(photos, first, last, sample, enhance, out);
        return;
#endif
    default:
        photosPlain(photos, first, last, sample, enhance, out);
    }
}

void distancesToCellsWith(BulkVectors vectors, const ColourColumns& cells, int first, int last,
                          const ColorSignature& signature, std::uint16_t* out)
{
    std::uint8_t a[kColourColumns];
    colourBytes(signature, a);
    switch (vectors) {
#if TW_BULK_AVX2
    case BulkVectors::Avx2:
        unshiftedAvx2(cells, first, last, a, out);
        return;
#endif
#if defined(__SSE2__)
    case BulkVectors::Sse2:
        unshiftedSse2(cells, first, last, a, out);
        return;
#endif
    default:
        unshiftedPlain(cells, first, last, a, out);
    }
}

void distancesToPhotos(const ColourColumns& photos, int first, int last, const CellSample& sample, int enhance,
                       std::uint16_t* out)
{
    distancesToPhotosWith(bestVectors(), photos, first, last, sample, enhance, out);
}

void distancesToCells(const ColourColumns& cells, int first, int last, const ColorSignature& signature,
                      std::uint16_t* out)
{
    distancesToCellsWith(bestVectors(), cells, first, last, signature, out);
}

namespace {

// The 16-bit lanes of a block starting at x that lie within x1, as a
// movemask of bytes.
unsigned lanesUpTo(int x, int x1, int lanes)
{
    const int inside = std::min(lanes, x1 - x + 1);
    return inside >= 16 ? 0xffffffffu : (1u << (2 * inside)) - 1;
}

bool windowPlain(const std::int16_t* grid, std::size_t cols, int x0, int x1, int y0, int y1, std::int16_t value)
{
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (grid[static_cast<std::size_t>(y) * cols + static_cast<std::size_t>(x)] == value)
                return true;
    return false;
}

#if defined(__SSE2__)
bool windowSse2(const std::int16_t* grid, std::size_t cols, int x0, int x1, int y0, int y1, std::int16_t value)
{
    const __m128i wanted = _mm_set1_epi16(value);
    for (int x = x0; x <= x1; x += 8) {
        const std::int16_t* at = grid + static_cast<std::size_t>(y0) * cols + static_cast<std::size_t>(x);
        __m128i any = _mm_setzero_si128();
        for (int y = y0; y <= y1; ++y, at += cols)
            any = _mm_or_si128(any, _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), wanted));
        if ((static_cast<unsigned>(_mm_movemask_epi8(any)) & lanesUpTo(x, x1, 8)) != 0)
            return true;
    }
    return false;
}
#endif

#if TW_BULK_AVX2
__attribute__((target("avx2"))) bool windowAvx2(const std::int16_t* grid, std::size_t cols, int x0, int x1, int y0,
                                                int y1, std::int16_t value)
{
    const __m256i wanted = _mm256_set1_epi16(value);
    for (int x = x0; x <= x1; x += 16) {
        const std::int16_t* at = grid + static_cast<std::size_t>(y0) * cols + static_cast<std::size_t>(x);
        __m256i any = _mm256_setzero_si256();
        for (int y = y0; y <= y1; ++y, at += cols)
            any = _mm256_or_si256(
                any, _mm256_cmpeq_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), wanted));
        if ((static_cast<unsigned>(_mm256_movemask_epi8(any)) & lanesUpTo(x, x1, 16)) != 0)
            return true;
    }
    return false;
}
#endif

} // namespace

bool windowHoldsWith(BulkVectors vectors, const std::int16_t* grid, std::size_t cols, int x0, int x1, int y0, int y1,
                     std::int16_t value)
{
    switch (vectors) {
#if TW_BULK_AVX2
    case BulkVectors::Avx2:
        return windowAvx2(grid, cols, x0, x1, y0, y1, value);
#endif
#if defined(__SSE2__)
    case BulkVectors::Sse2:
        return windowSse2(grid, cols, x0, x1, y0, y1, value);
#endif
    default:
        return windowPlain(grid, cols, x0, x1, y0, y1, value);
    }
}

bool windowHolds(const std::int16_t* grid, std::size_t cols, int x0, int x1, int y0, int y1, std::int16_t value)
{
    return windowHoldsWith(bestVectors(), grid, cols, x0, x1, y0, y1, value);
}

int firstBelow(const std::uint16_t* distances, int count, std::uint16_t limit)
{
    int i = 0;
#if defined(__SSE2__)
    // Distances stay below 32768, so a signed comparison with the limit
    // (capped there) orders them correctly.
    const __m128i bound = _mm_set1_epi16(static_cast<short>(std::min<int>(limit, 32767)));
    for (; i + 8 <= count; i += 8) {
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(distances + i));
        const int mask = _mm_movemask_epi8(_mm_cmplt_epi16(d, bound));
        if (mask != 0)
            return i + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
    }
#endif
    while (i < count && distances[i] >= limit)
        ++i;
    return i;
}

// ---------------------------------------------------------------- per cell

namespace {

// The (rank + 1)-th smallest distance, through a histogram of coarse bins
// (distance / 32) and an exact selection inside the one bin that holds it:
// cheaper than a heap while the list is a good part of the library.
constexpr int kBinShift = 5;
constexpr int kBins = (kMaxBulkDistance >> kBinShift) + 1;
constexpr int kHistogramRatio = 32;  // up to this many photographs per listed one

// bins holds 2 x kBins counts: neighbouring distances, often of one bin,
// count into separate halves so that the increments do not wait on each
// other. inBin holds room for every distance.
std::uint16_t selectByHistogram(const std::vector<std::uint16_t>& distances, int rank, std::vector<std::uint32_t>& bins,
                                std::vector<std::uint16_t>& inBin)
{
    std::fill(bins.begin(), bins.end(), 0u);
    const std::size_t n = distances.size();
    std::uint32_t* even = bins.data();
    std::uint32_t* odd = bins.data() + kBins;
    std::size_t i = 0;
    for (; i + 2 <= n; i += 2) {
        ++even[distances[i] >> kBinShift];
        ++odd[distances[i + 1] >> kBinShift];
    }
    if (i < n)
        ++even[distances[i] >> kBinShift];
    int below = 0, bin = 0;  // distances in the bins before bin
    while (below + static_cast<int>(even[bin] + odd[bin]) <= rank) {
        below += static_cast<int>(even[bin] + odd[bin]);
        ++bin;
    }
    // Those of the bin, gathered without a branch per distance.
    std::uint16_t* out = inBin.data();
    std::size_t count = 0;
    for (const std::uint16_t d : distances) {
        out[count] = d;
        count += (d >> kBinShift) == bin;
    }
    const auto nth = out + (rank - below);
    std::nth_element(out, nth, out + count);
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
    std::vector<std::uint32_t> bins(2 * kBins);
    std::vector<std::uint16_t> inBin(static_cast<std::size_t>(n));
    // The list is gathered here without a branch per photograph, one entry
    // past its length written and not kept.
    std::vector<Entry> gathered(keep);
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
        std::size_t count = 0;
        if (cut == kListHoldsAll) {
            for (int i = 0; i < n; ++i)
                list[count++] = Entry{static_cast<std::uint16_t>(i), distances[static_cast<std::size_t>(i)]};
        } else {
            // Fewer than keep distances lie below the cut.
            Entry* g = gathered.data();
            for (int i = 0; i < n; ++i) {
                const std::uint16_t d = distances[static_cast<std::size_t>(i)];
                g[count] = Entry{static_cast<std::uint16_t>(i), d};
                count += d < cut;
            }
            std::copy(g, g + count, list);
        }
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
