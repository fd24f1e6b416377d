#include "imaging/row_reducer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tw {

RowReducer::RowReducer(int sourceWidth, int sourceHeight, Size dest, bool withRanges)
    : sourceWidth_(sourceWidth), sourceHeight_(sourceHeight), dest_(dest), withRanges_(withRanges),
      reducing_(dest.height < sourceHeight), wx_(axisWeights(sourceWidth, dest.width)),
      wy_(axisWeights(sourceHeight, dest.height)), rowBytes_(static_cast<std::size_t>(sourceWidth) * 3)
{
    const std::size_t destBytes = static_cast<std::size_t>(dest.width) * static_cast<std::size_t>(dest.height) * 3;
    reduced_.resizeUninitialized(dest.width, dest.height);
    sums_.resize(destBytes);
    if (withRanges_) {
        low_.resize(destBytes);
        high_.resize(destBytes);
    }
    const int slots = reducing_ ? 2 : 1;
    for (int s = 0; s < slots; ++s) {
        slots_[s].sum.resize(rowBytes_);
        if (reducing_)
            slots_[s].plain.resize(rowBytes_);
        if (withRanges_) {
            slots_[s].low.resize(rowBytes_);
            slots_[s].high.resize(rowBytes_);
        }
    }
    if (!reducing_) {
        previous_.resize(rowBytes_);
        current_.resize(rowBytes_);
    }
}

void RowReducer::open(Columns& c, int destRow)
{
    c.row = destRow;
    std::fill(c.sum.begin(), c.sum.end(), 0u);
    std::fill(c.plain.begin(), c.plain.end(), std::uint16_t{0});
    c.plainRows = 0;
    if (withRanges_) {
        std::fill(c.low.begin(), c.low.end(), std::uint8_t{255});
        std::fill(c.high.begin(), c.high.end(), std::uint8_t{0});
    }
}

namespace {

// A row of full weight into the 16-bit sums and, with Ranges, the smallest
// and largest values: the loop every decoded byte goes through, plain
// element-wise operations that the compiler turns into vector instructions
// of whatever width the function it is inlined into allows.
template <bool Ranges>
[[gnu::always_inline]] inline void addFullRow(std::uint16_t* __restrict plain, std::uint8_t* __restrict lo,
                                              std::uint8_t* __restrict hi, const std::uint8_t* __restrict row,
                                              std::size_t n)
{
    for (std::size_t b = 0; b < n; ++b) {
        const std::uint8_t v = row[b];
        plain[b] = static_cast<std::uint16_t>(plain[b] + v);
        if constexpr (Ranges) {
            lo[b] = std::min(lo[b], v);
            hi[b] = std::max(hi[b], v);
        }
    }
}

// Two rows of full weight at once: the sums and ranges are read and
// written once for both.
template <bool Ranges>
[[gnu::always_inline]] inline void addFullRows(std::uint16_t* __restrict plain, std::uint8_t* __restrict lo,
                                               std::uint8_t* __restrict hi, const std::uint8_t* __restrict a,
                                               const std::uint8_t* __restrict b, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t u = a[i], v = b[i];
        plain[i] = static_cast<std::uint16_t>(plain[i] + u + v);
        if constexpr (Ranges) {
            lo[i] = std::min(lo[i], std::min(u, v));
            hi[i] = std::max(hi[i], std::max(u, v));
        }
    }
}

using FullRowAdder = void (*)(std::uint16_t*, std::uint8_t*, std::uint8_t*, const std::uint8_t*, std::size_t);
using FullRowsAdder = void (*)(std::uint16_t*, std::uint8_t*, std::uint8_t*, const std::uint8_t*,
                               const std::uint8_t*, std::size_t);

template <bool Ranges>
void addFullRowBase(std::uint16_t* plain, std::uint8_t* lo, std::uint8_t* hi, const std::uint8_t* row, std::size_t n)
{
    addFullRow<Ranges>(plain, lo, hi, row, n);
}

template <bool Ranges>
void addFullRowsBase(std::uint16_t* plain, std::uint8_t* lo, std::uint8_t* hi, const std::uint8_t* a,
                     const std::uint8_t* b, std::size_t n)
{
    addFullRows<Ranges>(plain, lo, hi, a, b, n);
}

#if defined(__x86_64__) && defined(__GNUC__)
template <bool Ranges>
__attribute__((target("avx2"))) void addFullRowsAvx2(std::uint16_t* plain, std::uint8_t* lo, std::uint8_t* hi,
                                                     const std::uint8_t* a, const std::uint8_t* b, std::size_t n)
{
    addFullRows<Ranges>(plain, lo, hi, a, b, n);
}

template <bool Ranges>
__attribute__((target("avx2"))) void addFullRowAvx2(std::uint16_t* plain, std::uint8_t* lo, std::uint8_t* hi,
                                                    const std::uint8_t* row, std::size_t n)
{
    addFullRow<Ranges>(plain, lo, hi, row, n);
}
#endif

// Whether the AVX2 forms run here; every form gives the same sums.
bool avx2Available()
{
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
#else
    return false;
#endif
}

// The widest form of each adder this processor runs.
template <bool Ranges>
FullRowAdder fullRowAdder()
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (avx2Available())
        return &addFullRowAvx2<Ranges>;
#endif
    return &addFullRowBase<Ranges>;
}

template <bool Ranges>
FullRowsAdder fullRowsAdder()
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (avx2Available())
        return &addFullRowsAvx2<Ranges>;
#endif
    return &addFullRowsBase<Ranges>;
}

} // namespace

// The inner loops are plain element-wise operations over a row of bytes,
// written so that the compiler turns them into vector instructions.
void RowReducer::foldPlain(Columns& c)
{
    if (c.plainRows == 0)
        return;
    const auto full = static_cast<std::uint32_t>(dest_.height);
    std::uint32_t* __restrict sum = c.sum.data();
    std::uint16_t* __restrict plain = c.plain.data();
    for (std::size_t b = 0; b < rowBytes_; ++b) {
        sum[b] += full * plain[b];
        plain[b] = 0;
    }
    c.plainRows = 0;
}

void RowReducer::accumulate(Columns& c, const std::uint8_t* row, std::uint32_t weight)
{
    const std::size_t n = rowBytes_;
    std::uint8_t* __restrict lo = c.low.data();
    std::uint8_t* __restrict hi = c.high.data();
    if (reducing_ && weight == static_cast<std::uint32_t>(dest_.height)) {
        // 257 rows of 255 still fit 16 bits.
        if (c.plainRows == 257)
            foldPlain(c);
        ++c.plainRows;
        static const FullRowAdder withRanges = fullRowAdder<true>(), withoutRanges = fullRowAdder<false>();
        (withRanges_ ? withRanges : withoutRanges)(c.plain.data(), lo, hi, row, n);
        return;
    }
    std::uint32_t* __restrict sum = c.sum.data();
    if (weight == 1)
        for (std::size_t b = 0; b < n; ++b)
            sum[b] += row[b];
    else
        for (std::size_t b = 0; b < n; ++b)
            sum[b] += weight * row[b];
    if (withRanges_)
        for (std::size_t b = 0; b < n; ++b) {
            lo[b] = std::min(lo[b], row[b]);
            hi[b] = std::max(hi[b], row[b]);
        }
}

void RowReducer::finish(Columns& c)
{
    foldPlain(c);
    const int j = c.row;
    const std::uint64_t total = this->total();
    const std::size_t rowAt = static_cast<std::size_t>(j) * static_cast<std::size_t>(dest_.width) * 3;
    std::uint8_t* out = reduced_.row(j);
    const std::uint32_t* weights = wx_.weights.data();
    for (int i = 0; i < dest_.width; ++i) {
        const AxisWeights::Tap& t = wx_.tap(i);
        const std::size_t first = static_cast<std::size_t>(t.firstSource) * 3;
        const std::uint32_t* w = weights + t.offset;
        std::uint64_t s0 = 0, s1 = 0, s2 = 0;
        const std::uint32_t* s = c.sum.data() + first;
        for (int m = 0; m < t.count; ++m, s += 3) {
            s0 += std::uint64_t{w[m]} * s[0];
            s1 += std::uint64_t{w[m]} * s[1];
            s2 += std::uint64_t{w[m]} * s[2];
        }
        const std::size_t at = rowAt + static_cast<std::size_t>(i) * 3;
        sums_[at] = s0;
        sums_[at + 1] = s1;
        sums_[at + 2] = s2;
        out[i * 3] = roundWeightedSum(s0, total);
        out[i * 3 + 1] = roundWeightedSum(s1, total);
        out[i * 3 + 2] = roundWeightedSum(s2, total);
        if (withRanges_) {
            std::uint8_t l[3] = {255, 255, 255}, h[3] = {0, 0, 0};
            const std::uint8_t* lo = c.low.data() + first;
            const std::uint8_t* hi = c.high.data() + first;
            for (int m = 0; m < t.count; ++m, lo += 3, hi += 3)
                for (int ch = 0; ch < 3; ++ch) {
                    l[ch] = std::min(l[ch], lo[ch]);
                    h[ch] = std::max(h[ch], hi[ch]);
                }
            for (int ch = 0; ch < 3; ++ch) {
                low_[at + static_cast<std::size_t>(ch)] = l[ch];
                high_[at + static_cast<std::size_t>(ch)] = h[ch];
            }
        }
    }
}

void RowReducer::addRow(const std::uint8_t* row)
{
    if (rowsAdded_ >= sourceHeight_)
        return;
    const int y = rowsAdded_++;
    if (reducing_) {
        // A source row belongs to one destination row, or to two where it
        // straddles their boundary.
        for (int j = nextDest_; j < dest_.height; ++j) {
            const AxisWeights::Tap& t = wy_.tap(j);
            if (t.firstSource > y)
                break;
            const int last = t.firstSource + t.count - 1;
            if (y > last)
                continue;
            Columns* c = slots_[0].row == j ? &slots_[0] : slots_[1].row == j ? &slots_[1] : nullptr;
            if (!c) {
                c = slots_[0].row < 0 ? &slots_[0] : &slots_[1];
                open(*c, j);
            }
            accumulate(*c, row, wy_.weight(t, y - t.firstSource));
            if (y == last) {
                finish(*c);
                c->row = -1;
                nextDest_ = j + 1;
            }
        }
        return;
    }
    // Stretching (or copying): every destination row reads at most the two
    // latest source rows; it is made as soon as its last one is here.
    previous_.swap(current_);
    std::memcpy(current_.data(), row, rowBytes_);
    while (nextDest_ < dest_.height) {
        const AxisWeights::Tap& t = wy_.tap(nextDest_);
        if (t.firstSource + t.count - 1 != y)
            break;
        Columns& c = slots_[0];
        open(c, nextDest_);
        for (int k = 0; k < t.count; ++k) {
            const int source = t.firstSource + k;
            accumulate(c, source == y ? current_.data() : previous_.data(), wy_.weight(t, k));
        }
        finish(c);
        c.row = -1;
        ++nextDest_;
    }
}

bool RowReducer::addFullPair(const std::uint8_t* a, const std::uint8_t* b)
{
    // Both rows inside one destination row's footprint with its full
    // weight, the first not its last row, and neither read by the next
    // destination row.
    const int y = rowsAdded_;
    if (!reducing_ || y + 1 >= sourceHeight_ || nextDest_ >= dest_.height)
        return false;
    const int j = nextDest_;
    const AxisWeights::Tap& t = wy_.tap(j);
    const auto full = static_cast<std::uint32_t>(dest_.height);
    const int last = t.firstSource + t.count - 1;
    if (y < t.firstSource || y + 1 > last || wy_.weight(t, y - t.firstSource) != full ||
        wy_.weight(t, y + 1 - t.firstSource) != full ||
        (j + 1 < dest_.height && wy_.tap(j + 1).firstSource <= y + 1))
        return false;
    Columns* c = slots_[0].row == j ? &slots_[0] : slots_[1].row == j ? &slots_[1] : nullptr;
    if (!c) {
        c = slots_[0].row < 0 ? &slots_[0] : &slots_[1];
        open(*c, j);
    }
    // 257 rows of 255 still fit 16 bits.
    if (c->plainRows > 255)
        foldPlain(*c);
    c->plainRows += 2;
    static const FullRowsAdder withRanges = fullRowsAdder<true>(), withoutRanges = fullRowsAdder<false>();
    (withRanges_ ? withRanges : withoutRanges)(c->plain.data(), c->low.data(), c->high.data(), a, b, rowBytes_);
    rowsAdded_ += 2;
    if (y + 1 == last) {
        finish(*c);
        c->row = -1;
        nextDest_ = j + 1;
    }
    return true;
}

void RowReducer::addRows(const PictureView& rows, int first, int count)
{
    // Rows of full weight go in two at a time where they can: the sums
    // are then read and written half as often.
    for (int k = 0; k < count;) {
        if (k + 1 < count && addFullPair(rows.row(first + k), rows.row(first + k + 1))) {
            k += 2;
            continue;
        }
        addRow(rows.row(first + k));
        ++k;
    }
}

} // namespace tw
