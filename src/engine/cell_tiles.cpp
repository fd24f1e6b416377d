#include "engine/cell_tiles.h"

#include "imaging/transforms.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace tw {

namespace {

// Every destination pixel's weights add up to the axis total (the shift
// moves each sum by exactly amount x total).
bool totalsConsistent(const AxisWeights& w)
{
    for (int i = w.begin; i < w.begin + static_cast<int>(w.taps.size()); ++i) {
        const AxisWeights::Tap& t = w.tap(i);
        std::uint64_t sum = 0;
        for (int k = 0; k < t.count; ++k)
            sum += w.weight(t, k);
        if (sum != w.total)
            return false;
    }
    return true;
}

// Destination pixel i reads the mirror image of what pixel n-1-i reads.
bool mirrorSymmetric(const AxisWeights& w)
{
    const int n = w.destLength, s = w.sourceLength;
    for (int i = 0; i < n; ++i) {
        const AxisWeights::Tap& t = w.tap(i);
        const AxisWeights::Tap& u = w.tap(n - 1 - i);
        if (t.count != u.count || t.firstSource != s - (u.firstSource + u.count))
            return false;
        for (int k = 0; k < t.count; ++k)
            if (w.weight(t, k) != w.weight(u, t.count - 1 - k))
                return false;
    }
    return true;
}

using ByteTable = std::array<std::uint8_t, 256>;

ByteTable shiftTable(int amount)
{
    ByteTable t{};
    for (int i = 0; i < 256; ++i)
        t[static_cast<std::size_t>(i)] = clampByte(i + amount);
    return t;
}

} // namespace

void drawTile(const CellTile& tile, Picture& mosaic)
{
    for (int i = 0; i < tile.count; ++i) {
        const TilePiece& p = tile.piece[static_cast<std::size_t>(i)];
        copyRect(p.pixels, 0, 0, mosaic, p.left, p.top, p.pixels.width(), p.pixels.height());
    }
}

CellTile renderTileDirect(const Picture& prepared, const CellCopies& copies, const ShiftAmounts& amounts, bool hFlip,
                          bool vFlip)
{
    CellTile tile;
    if (copies.count == 0)
        return tile;
    Picture shifted;
    shiftColors(prepared, shifted, amounts.red, amounts.green, amounts.blue);
    flipPicture(shifted, shifted, hFlip, vFlip);
    for (int i = 0; i < copies.count; ++i) {
        const CellCopy& c = copies.copy[static_cast<std::size_t>(i)];
        TilePiece& p = tile.piece[static_cast<std::size_t>(i)];
        p.left = c.dest.left;
        p.top = c.dest.top;
        p.pixels.resizeUninitialized(c.dest.width(), c.dest.height());
        stretchRect(shifted, c.source, p.pixels, Rect{0, 0, c.dest.width(), c.dest.height()});
    }
    tile.count = copies.count;
    return tile;
}

ReducedPicture::ReducedPicture(const Picture& prepared, Size dest) : source_(prepared), dest_(dest)
{
    RowReducer reduction(prepared.width(), prepared.height(), dest, true);
    reduction.addRows(prepared, 0, prepared.height());
    adopt(std::move(reduction));
}

ReducedPicture::ReducedPicture(const PictureView& prepared, RowReducer&& reduction)
    : source_(prepared), dest_(reduction.destSize())
{
    if (!reduction.complete() || reduction.low().empty() || reduction.sourceWidth() != prepared.width ||
        reduction.sourceHeight() != prepared.height)
        throw std::invalid_argument("a reduction of another picture, or an unfinished one");
    adopt(std::move(reduction));
}

void ReducedPicture::adopt(RowReducer&& reduction)
{
    wx_ = reduction.xWeights();
    wy_ = reduction.yWeights();
    usable_ = totalsConsistent(wx_) && totalsConsistent(wy_);
    if (!usable_)
        return;
    symmetricX_ = mirrorSymmetric(wx_);
    symmetricY_ = mirrorSymmetric(wy_);
    base_ = reduction.reduced();
    sums_ = reduction.sums();
    low_ = reduction.low();
    high_ = reduction.high();
}

std::uint8_t ReducedPicture::recompute(int dx, int dy, int channel, const std::array<std::uint8_t, 256>& table) const
{
    const AxisWeights::Tap& tx = wx_.tap(dx);
    const AxisWeights::Tap& ty = wy_.tap(dy);
    std::uint64_t sum = 0;
    for (int k = 0; k < ty.count; ++k) {
        const std::uint8_t* p = source_.row(ty.firstSource + k) + static_cast<std::size_t>(tx.firstSource) * 3 +
                                static_cast<std::size_t>(channel);
        std::uint64_t rowSum = 0;
        for (int m = 0; m < tx.count; ++m, p += 3)
            rowSum += std::uint64_t{wx_.weight(tx, m)} * table[*p];
        sum += std::uint64_t{wy_.weight(ty, k)} * rowSum;
    }
    return roundWeightedSum(sum, std::uint64_t{wx_.total} * wy_.total);
}

void ReducedPicture::render(const ShiftAmounts& amounts, bool hFlip, bool vFlip, Picture& out) const
{
    const int w = dest_.width, h = dest_.height;
    out.resizeUninitialized(w, h);
    const int amount[3] = {amounts.blue, amounts.green, amounts.red};
    std::array<ByteTable, 3> tables{};
    bool tablesBuilt = false;
    for (int j = 0; j < h; ++j) {
        const int sj = vFlip ? h - 1 - j : j;
        const std::size_t rowAt = static_cast<std::size_t>(sj) * static_cast<std::size_t>(w) * 3;
        std::uint8_t* o = out.row(j);
        for (int i = 0; i < w; ++i, o += 3) {
            const int si = hFlip ? w - 1 - i : i;
            const std::size_t at = rowAt + static_cast<std::size_t>(si) * 3;
            for (int c = 0; c < 3; ++c) {
                const int a = amount[c];
                if (low_[at + c] + a >= 0 && high_[at + c] + a <= 255) {
                    o[c] = static_cast<std::uint8_t>(base_.data()[at + c] + a);
                    continue;
                }
                if (!tablesBuilt) {
                    for (int k = 0; k < 3; ++k)
                        tables[static_cast<std::size_t>(k)] = shiftTable(amount[k]);
                    tablesBuilt = true;
                }
                o[c] = recompute(si, sj, c, tables[static_cast<std::size_t>(c)]);
            }
        }
    }
}

namespace {

int clampedCount(int count, int limit) { return std::clamp(count, 0, limit); }

// Where the values of each channel clamp for some amount of its range: the
// values below low (amounts down to -low clamp them at 0) and above high
// (amounts up to 255 - high clamp them at 255). Whether a destination byte
// needs results at all follows from its smallest and largest value alone.
struct Zones {
    std::array<int, 3> low{}, high{};

    explicit Zones(const ChannelRanges& ranges)
    {
        for (std::size_t c = 0; c < 3; ++c) {
            low[c] = std::clamp(-ranges[c].low, 0, 255);
            high[c] = std::clamp(255 - ranges[c].high, 0, 255);
        }
    }
};

#if defined(__x86_64__) && defined(__GNUC__)
#define TW_ZONE_PICKING 1
#endif

#ifdef TW_ZONE_PICKING
// The zones as 64-byte masks for picking values out of interleaved pixels:
// per set of wanted channels and per phase (the channel of a vector's first
// byte, which moves on by one each 64 bytes), the bounds of every byte's
// channel (none for channels not wanted), and each byte's counter offset.
struct alignas(64) ZoneVectors {
    struct alignas(64) Phase {
        std::uint8_t low[64], high[64];
        std::uint16_t offset[64];
    };
    Phase phase[8][3];

    ZoneVectors(const Zones& zones, std::size_t channelStride)
    {
        for (unsigned wanted = 0; wanted < 8; ++wanted)
            for (std::size_t p = 0; p < 3; ++p)
                for (std::size_t lane = 0; lane < 64; ++lane) {
                    const std::size_t c = (lane + p) % 3;
                    const bool on = (wanted >> c) & 1u;
                    Phase& ph = phase[wanted][p];
                    // Bounds no byte passes: 0 below, 255 above.
                    ph.low[lane] = static_cast<std::uint8_t>(on ? zones.low[c] : 0);
                    ph.high[lane] = static_cast<std::uint8_t>(on ? zones.high[c] : 255);
                    ph.offset[lane] = static_cast<std::uint16_t>(c * channelStride);
                }
    }
};

// Writes the counter index (channel offset + value) of every byte that
// lies in its channel's zone to out, in order, and gives their number: rows
// rows of n bytes each, stride apart from rowsStart, each starting at a
// pixel. out needs room for rows x n + 32 indices.
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,popcnt"))) std::size_t
pickZoneValues(const std::uint8_t* rowsStart, std::size_t stride, int rows, std::size_t n,
               const ZoneVectors::Phase* phases, std::uint16_t* out)
{
    std::size_t count = 0;
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* p = rowsStart + stride * static_cast<std::size_t>(r);
        std::size_t phase = 0;
        for (std::size_t o = 0; o < n; o += 64) {
            const ZoneVectors::Phase& z = phases[phase];
            phase = phase == 2 ? 0 : phase + 1;
            const __mmask64 inside = n - o >= 64 ? ~__mmask64{0} : (__mmask64{1} << (n - o)) - 1;
            const __m512i v = _mm512_maskz_loadu_epi8(inside, p + o);
            const __mmask64 below = _mm512_cmplt_epu8_mask(v, _mm512_load_si512(z.low));
            const __mmask64 above = _mm512_cmpgt_epu8_mask(v, _mm512_load_si512(z.high));
            const __mmask64 zone = (below | above) & inside;
            // Each half widened from its own load (casting the halves out of v
            // trips a false warning in some compilers' headers).
            const auto insideLo = static_cast<__mmask32>(inside), insideHi = static_cast<__mmask32>(inside >> 32);
            const __m512i lo = _mm512_add_epi16(_mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(insideLo, p + o)),
                                                _mm512_load_si512(z.offset));
            const __m512i hi = _mm512_add_epi16(_mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(insideHi, p + o + 32)),
                                                _mm512_load_si512(z.offset + 32));
            const auto zoneLo = static_cast<__mmask32>(zone), zoneHi = static_cast<__mmask32>(zone >> 32);
            _mm512_storeu_si512(out + count, _mm512_maskz_compress_epi16(zoneLo, lo));
            count += static_cast<std::size_t>(__builtin_popcount(zoneLo));
            _mm512_storeu_si512(out + count, _mm512_maskz_compress_epi16(zoneHi, hi));
            count += static_cast<std::size_t>(__builtin_popcount(zoneHi));
        }
    }
    return count;
}
#endif

// The weighted histograms of one destination pixel's source values, a
// channel each, of which only the clamping zones are read: cumulated from
// the smallest value up for amounts that clamp at 0, from the largest down
// for those that clamp at 255.
class ZoneHistograms {
public:
    ZoneHistograms(const Zones& zones, CompactTile::Gather how, int longestTap)
        : zones_(zones), how_(how)
    {
        counts_.fill(0);
        for (auto& channel : weighted_)
            channel.fill(0);
        for (auto& side : edges_)
            for (auto& channel : side)
                channel.fill(0);
#ifdef TW_ZONE_PICKING
        if (how_ == CompactTile::Gather::ZoneValues) {
            vectors_ = std::make_unique<ZoneVectors>(zones, kChannelStride);
            picked_.resize(std::max<std::size_t>(4096, static_cast<std::size_t>(longestTap) * 3 + 32));
        }
#else
        (void)longestTap;
#endif
    }

    // Takes in the source values of destination pixel (dx, dy) in the
    // channels marked in wanted (values smallest[c]..largest[c]): a value
    // of an inner row and column of a reduced axis has the full weight of
    // both axes and is only counted; the others (the partly covered edge
    // rows and columns, or an axis that is not reduced) add their own
    // weight, or nothing outside the zones. Counting takes every value and
    // leaves the zones to be read, with four partial counts that keep runs
    // of one value from waiting on each other, each pixel's three bytes in
    // one pass when every channel is wanted (as with wide amount ranges);
    // or, with ZoneValues, only the values inside the zones, picked out 64
    // bytes at a time.
    void gather(const PictureView& source, const AxisWeights& wx, const AxisWeights& wy, int dx, int dy,
                const std::array<bool, 3>& wanted, const std::array<int, 3>& smallest,
                const std::array<int, 3>& largest)
    {
        smallest_ = smallest;
        largest_ = largest;
        const AxisWeights::Tap& tx = wx.tap(dx);
        const AxisWeights::Tap& ty = wy.tap(dy);
        const std::uint32_t* xw = wx.weights.data() + tx.offset;
        const bool reducedX = wx.destLength < wx.sourceLength, reducedY = wy.destLength < wy.sourceLength;
        const auto fullX = static_cast<std::uint32_t>(wx.destLength), fullY = static_cast<std::uint32_t>(wy.destLength);
        unit_ = std::uint64_t{fullX} * fullY;
        int first = 0, end = reducedX ? tx.count : 0;  // the columns of full weight
        while (first < end && xw[first] != fullX)
            ++first;
        while (end > first && xw[end - 1] != fullX)
            --end;
        const bool edgeCounts = first <= 1 && tx.count - end <= 1;
        edgeWeight_[0] = edgeCounts && first == 1 ? std::uint64_t{fullY} * xw[0] : 0;
        edgeWeight_[1] = edgeCounts && end < tx.count ? std::uint64_t{fullY} * xw[tx.count - 1] : 0;
        const bool all = wanted[0] && wanted[1] && wanted[2];
        const unsigned wantedSet = (wanted[0] ? 1u : 0u) | (wanted[1] ? 2u : 0u) | (wanted[2] ? 4u : 0u);
        for (int k = 0; k < ty.count; ++k) {
            const std::uint32_t rowWeight = wy.weight(ty, k);
            const std::uint8_t* row = source.row(ty.firstSource + k) + static_cast<std::size_t>(tx.firstSource) * 3;
            const bool counted = reducedY && rowWeight == fullY && first != end;
            auto weigh = [&](int from, int to) {
                for (std::size_t c = 0; c < 3; ++c) {
                    if (!wanted[c])
                        continue;
                    for (int m = from; m < to; ++m)
                        weighted_[c][row[m * 3 + static_cast<int>(c)]] += std::uint64_t{rowWeight} * xw[m];
                }
            };
            // The edge columns of a counted row: one each side is counted
            // per column and weighed once in results.
            auto edges = [&] {
                if (!edgeCounts) {
                    weigh(0, first);
                    weigh(end, tx.count);
                    return;
                }
                const std::uint8_t* right = row + static_cast<std::size_t>(tx.count - 1) * 3;
                for (std::size_t c = 0; c < 3; ++c)
                    if (wanted[c]) {
                        if (first == 1)
                            ++edge(0, c, row[c]);
                        if (end < tx.count)
                            ++edge(1, c, right[c]);
                    }
            };
            if (!counted) {
                weigh(0, tx.count);
                continue;
            }
            edges();
            const std::uint8_t* inner = row + static_cast<std::size_t>(first) * 3;
#ifdef TW_ZONE_PICKING
            if (how_ == CompactTile::Gather::ZoneValues) {
                // This row and the counted ones after it, as many as the
                // picking buffer holds, picked out together; their edge
                // columns taken first.
                const std::size_t bytes = static_cast<std::size_t>(end - first) * 3;
                int rows = 1;
                const int most = static_cast<int>(std::max<std::size_t>(1, (picked_.size() - 32) / bytes));
                while (rows < most && k + rows < ty.count && wy.weight(ty, k + rows) == fullY) {
                    row = source.row(ty.firstSource + k + rows) + static_cast<std::size_t>(tx.firstSource) * 3;
                    edges();
                    ++rows;
                }
                const std::size_t n = pickZoneValues(inner, source.stride, rows, bytes,
                                                     vectors_->phase[wantedSet], picked_.data());
                k += rows - 1;
                const std::uint16_t* q = picked_.data();
                std::size_t i = 0;
                for (; i + kParts <= n; i += kParts)
                    for (std::size_t part = 0; part < kParts; ++part)
                        ++counts_[q[i + part] + part * 256];
                for (; i < n; ++i)
                    ++counts_[q[i]];
                continue;
            }
#endif
            if (all) {
                const std::uint8_t* q = inner;
                int m = first;
                for (; m + static_cast<int>(kParts) <= end; m += static_cast<int>(kParts), q += 3 * kParts)
                    for (std::size_t part = 0; part < kParts; ++part)
                        for (std::size_t c = 0; c < 3; ++c)
                            ++count(c, part, q[part * 3 + c]);
                for (; m < end; ++m, q += 3)
                    for (std::size_t c = 0; c < 3; ++c)
                        ++count(c, 0, q[c]);
                continue;
            }
            for (std::size_t c = 0; c < 3; ++c) {
                if (!wanted[c])
                    continue;
                const std::uint8_t* q = inner + c;
                int m = first;
                for (; m + static_cast<int>(kParts) <= end; m += static_cast<int>(kParts), q += 3 * kParts)
                    for (std::size_t part = 0; part < kParts; ++part)
                        ++count(c, part, q[part * 3]);
                for (; m < end; ++m, q += 3)
                    ++count(c, 0, q[0]);
            }
        }
    }

    // Results of channel c for the amounts lowFirst .. lowFirst + lowCount
    // - 1 (all clamping at 0, lowFirst + lowCount - 1 < -smallest) and
    // highFirst .. highFirst + highCount - 1 (all clamping at 255), appended
    // in that order, from the byte's unshifted sum and the weight total.
    // Clears what gather wrote for the channel.
    void results(std::size_t c, std::uint64_t sum, std::uint64_t total, int lowFirst, int lowCount, int highFirst,
                 int highCount, std::vector<std::uint8_t>& out)
    {
        const int smallest = smallest_[c], largest = largest_[c];
        const auto base = static_cast<std::int64_t>(sum);
        const auto weight = static_cast<std::int64_t>(total);
        // Every zone value's weight in one place, and the counts cleared
        // for the next pixel: every value gather wrote lies in
        // smallest..largest, and the weighed ones in the zones.
        std::array<std::int64_t, 256> w;
        const int lowEnd = std::min(largest + 1, zones_.low[c]);               // smallest..lowEnd - 1
        const int highFrom = std::max({smallest, zones_.high[c] + 1, lowEnd});  // highFrom..largest
        auto take = [&](int from, int to) {
            for (int v = from; v < to; ++v) {
                const auto i = static_cast<std::size_t>(v);
                std::uint64_t counted = 0;
                for (std::size_t part = 0; part < kParts; ++part) {
                    counted += count(c, part, i);
                    count(c, part, i) = 0;
                }
                w[i] = static_cast<std::int64_t>(counted * unit_ + weighted_[c][i] + edge(0, c, i) * edgeWeight_[0] +
                                                 edge(1, c, i) * edgeWeight_[1]);
                weighted_[c][i] = 0;
                edge(0, c, i) = 0;
                edge(1, c, i) = 0;
            }
        };
        take(smallest, lowEnd);
        take(highFrom, largest + 1);
        for (int v = std::max(smallest, lowEnd); v < highFrom; ++v) {
            weighted_[c][static_cast<std::size_t>(v)] = 0;
            edge(0, c, static_cast<std::size_t>(v)) = 0;
            edge(1, c, static_cast<std::size_t>(v)) = 0;
            if (how_ == CompactTile::Gather::EveryValue)
                for (std::size_t part = 0; part < kParts; ++part)
                    count(c, part, static_cast<std::size_t>(v)) = 0;
        }
        // Amounts that clamp every value read weights beyond the values
        // there are: those are none.
        if (lowCount > 0)
            for (int v = largest + 1; v < -lowFirst; ++v)
                w[static_cast<std::size_t>(v)] = 0;
        if (highCount > 0)
            for (int v = 256 - (highFirst + highCount); v < smallest; ++v)
                w[static_cast<std::size_t>(v)] = 0;
        // Each result is floor((exact sum + half) / total). From one amount
        // to the next the exact sum moves by at most the total (the amount
        // adds it, the clamp takes back the weight of the values it holds),
        // so after one division the quotient is followed by its remainder.
        if (lowCount > 0) {
            // cut(t) = sum over v < t of w(v) x (t - v), built upward from
            // the smallest value, where it is 0; the amount -t takes it. The
            // sum falls by total - below from t to t + 1.
            const int top = -lowFirst;                      // the largest t wanted
            const int first = 1 - (lowFirst + lowCount);    // the smallest t wanted
            std::int64_t below = 0, cut = 0;
            const std::size_t at = out.size();
            out.resize(at + static_cast<std::size_t>(lowCount));
            std::uint8_t* o = out.data() + at;  // the result of amount a at o[a - lowFirst]
            int t = smallest + 1;
            for (; t < first; ++t) {
                below += w[static_cast<std::size_t>(t - 1)];
                cut += below;
            }
            below += w[static_cast<std::size_t>(t - 1)];
            cut += below;
            std::uint64_t q = 0;
            std::int64_t r = 0;
            {
                const auto n = static_cast<std::uint64_t>(base - t * weight + cut) + total / 2;
                q = n / total;
                r = static_cast<std::int64_t>(n - q * total);
            }
            o[-t - lowFirst] = static_cast<std::uint8_t>(q);
            for (++t; t <= top; ++t) {
                below += w[static_cast<std::size_t>(t - 1)];
                r -= weight - below;
                if (r < 0) {
                    r += weight;
                    --q;
                }
                o[-t - lowFirst] = static_cast<std::uint8_t>(q);
            }
        }
        if (highCount > 0) {
            // cut(s) = sum over v > s of w(v) x (v - s), built downward from
            // the largest value; the amount 255 - s takes it. The sum rises
            // by total - above from s to s - 1.
            const int bottom = 255 - (highFirst + highCount - 1);  // the smallest s wanted
            const int first = 255 - highFirst;                     // the largest s wanted
            std::int64_t above = 0, cut = 0;
            const std::size_t at = out.size();
            out.resize(at + static_cast<std::size_t>(highCount));
            std::uint8_t* o = out.data() + at;  // the result of amount a at o[a - highFirst]
            int s = largest - 1;
            for (; s > first; --s) {
                above += w[static_cast<std::size_t>(s + 1)];
                cut += above;
            }
            above += w[static_cast<std::size_t>(s + 1)];
            cut += above;
            std::uint64_t q = 0;
            std::int64_t r = 0;
            {
                const auto n = static_cast<std::uint64_t>(base + (255 - s) * weight - cut) + total / 2;
                q = n / total;
                r = static_cast<std::int64_t>(n - q * total);
            }
            o[255 - s - highFirst] = static_cast<std::uint8_t>(q);
            for (--s; s >= bottom; --s) {
                above += w[static_cast<std::size_t>(s + 1)];
                r += weight - above;
                if (r >= weight) {
                    r -= weight;
                    ++q;
                }
                o[255 - s - highFirst] = static_cast<std::uint8_t>(q);
            }
        }
    }

private:
    // Four parts of at most a source row's length / 4 + 3 per row each: a
    // footprint of at most 2^17 rows keeps every count inside 32 bits. A
    // channel's parts lie one after another, the channels a little more
    // than their size apart, so that equal values of a pixel's channels
    // do not fall on addresses 4 KiB apart.
    static constexpr std::size_t kParts = 4;
    static constexpr std::size_t kChannelStride = kParts * 256 + 16;
    std::uint32_t& count(std::size_t c, std::size_t part, std::size_t v)
    {
        return counts_[c * kChannelStride + part * 256 + v];
    }

    std::uint32_t& edge(std::size_t side, std::size_t c, std::size_t v) { return edges_[side][c][v]; }

    Zones zones_;
    CompactTile::Gather how_;
    std::array<std::uint32_t, 3 * kChannelStride> counts_;
    std::array<std::array<std::uint64_t, 256>, 3> weighted_;
    std::array<std::array<std::array<std::uint32_t, 256>, 3>, 2> edges_;  // left and right edge column
    std::array<std::uint64_t, 2> edgeWeight_{};
    std::uint64_t unit_ = 0;
    std::array<int, 3> smallest_{}, largest_{};
#ifdef TW_ZONE_PICKING
    std::unique_ptr<ZoneVectors> vectors_;
    std::vector<std::uint16_t> picked_;
#endif
};

// Reads the source rows of a destination row once, front to back, so that
// the footprints gathered next find them in the cache: walked footprint by
// footprint, row segments a whole row apart, they would each wait for
// memory on their own.
void touchRows(const PictureView& source, const AxisWeights::Tap& rows)
{
    const std::size_t bytes = static_cast<std::size_t>(source.width) * 3;
    std::uint8_t seen = 0;
    for (int k = 0; k < rows.count; ++k) {
        const std::uint8_t* p = source.row(rows.firstSource + k);
        for (std::size_t b = 0; b < bytes; b += 64)
            seen |= p[b];
    }
    // Keeps the reads from being left out as unused.
    asm volatile("" : : "r"(seen));
}

} // namespace

bool CompactTile::gatherAvailable(Gather how)
{
    if (how == Gather::EveryValue)
        return true;
#ifdef TW_ZONE_PICKING
    static const bool picking = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                                __builtin_cpu_supports("avx512vl") &&
                                __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt");
    return picking;
#else
    return false;
#endif
}

CompactTile::CompactTile(const ReducedPicture& reduced, const ChannelRanges& ranges, std::uint64_t limitBytes)
    : CompactTile(reduced, ranges, limitBytes,
                  gatherAvailable(Gather::ZoneValues) ? Gather::ZoneValues : Gather::EveryValue)
{
}

CompactTile::CompactTile(const ReducedPicture& reduced, const ChannelRanges& ranges, std::uint64_t limitBytes,
                         Gather how)
    : dest_(reduced.destSize()), sourceWidth_(reduced.source_.width), sourceHeight_(reduced.source_.height),
      symmetricX_(reduced.mirrorsHorizontally()), symmetricY_(reduced.mirrorsVertically())
{
    for (std::size_t c = 0; c < 3; ++c)
        ranges_[c] = AmountRange{std::max(ranges[c].low, -255), std::min(ranges[c].high, 255)};
    if (!reduced.usable())
        return;  // no exact reduction to start from: incomplete
    const int w = dest_.width, h = dest_.height;
    const std::size_t bytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3;
    base_.assign(reduced.base_.data(), reduced.base_.data() + bytes);
    below_.assign(bytes, 0);
    above_.assign(bytes, 0);
    rowStart_.assign(static_cast<std::size_t>(h) + 1, 0);
    auto giveUp = [this] {
        base_ = {};
        below_ = {};
        above_ = {};
        rowStart_ = {};
        results_ = {};
    };
    if (byteSize() > limitBytes) {
        giveUp();
        return;
    }

    const std::uint64_t total = std::uint64_t{reduced.wx_.total} * reduced.wy_.total;
    if (!gatherAvailable(how))
        throw std::invalid_argument("compact tile: a gathering this processor cannot run");
    int longestTap = 0;
    for (const AxisWeights::Tap& t : reduced.wx_.taps)
        longestTap = std::max(longestTap, t.count);
    ZoneHistograms histograms(Zones(ranges_), how, longestTap);
    for (int j = 0; j < h; ++j) {
        touchRows(reduced.source_, reduced.wy_.tap(j));
        for (int i = 0; i < w; ++i) {
            const std::size_t at =
                (static_cast<std::size_t>(j) * static_cast<std::size_t>(w) + static_cast<std::size_t>(i)) * 3;
            std::array<int, 3> smallest{}, largest{};
            std::array<bool, 3> wanted{};
            for (std::size_t c = 0; c < 3; ++c) {
                const AmountRange r = ranges_[c];
                const int span = r.high >= r.low ? r.high - r.low + 1 : 0;
                smallest[c] = reduced.low_[at + c];
                largest[c] = reduced.high_[at + c];
                const int below = clampedCount(-smallest[c] - r.low, span);
                const int above = clampedCount(r.high - (255 - largest[c]), span);
                below_[at + c] = static_cast<std::uint8_t>(below);
                above_[at + c] = static_cast<std::uint8_t>(above);
                // One value throughout (a blown highlight, a black border)
                // needs no histogram: every amount that clamps gives 0 or 255.
                wanted[c] = (below > 0 || above > 0) && smallest[c] != largest[c];
            }
            if (wanted[0] || wanted[1] || wanted[2])
                histograms.gather(reduced.source_, reduced.wx_, reduced.wy_, i, j, wanted, smallest, largest);
            for (std::size_t c = 0; c < 3; ++c) {
                const AmountRange r = ranges_[c];
                const int below = below_[at + c], above = above_[at + c];
                if (wanted[c]) {
                    histograms.results(c, reduced.sums_[at + c], total, r.low, below, r.high - above + 1, above,
                                       results_);
                    continue;
                }
                results_.insert(results_.end(), static_cast<std::size_t>(below), std::uint8_t{0});
                results_.insert(results_.end(), static_cast<std::size_t>(above), std::uint8_t{255});
            }
        }
        rowStart_[static_cast<std::size_t>(j) + 1] = results_.size();
        if (byteSize() > limitBytes) {
            giveUp();
            return;
        }
    }
    results_.shrink_to_fit();
    complete_ = true;
}

CompactTile::Parts CompactTile::parts() const
{
    if (!complete_)
        throw std::logic_error("the parts of an incomplete compact tile");
    return Parts{dest_,  sourceWidth_, sourceHeight_, symmetricX_, symmetricY_, ranges_, base_, below_, above_,
                 std::vector<std::uint64_t>(rowStart_.begin(), rowStart_.end()), results_};
}

CompactTile::CompactTile(Parts p)
{
    auto refuse = [](const char* what) { throw std::invalid_argument(std::string("compact tile parts: ") + what); };
    if (p.dest.width < 1 || p.dest.height < 1 || p.dest.width > kMaxCellSide || p.dest.height > kMaxCellSide)
        refuse("destination size out of range");
    if (p.sourceWidth < 1 || p.sourceHeight < 1 || p.sourceWidth > Picture::kMaxDimension ||
        p.sourceHeight > Picture::kMaxDimension)
        refuse("source size out of range");
    for (const AmountRange& r : p.ranges)
        if (r.low < -255 || r.high > 255 || r.low > r.high)
            refuse("amount range out of order or beyond -255..255");
    const std::size_t rowBytes = static_cast<std::size_t>(p.dest.width) * 3;
    const std::size_t bytes = rowBytes * static_cast<std::size_t>(p.dest.height);
    if (p.base.size() != bytes || p.below.size() != bytes || p.above.size() != bytes)
        refuse("byte arrays do not fit the destination size");
    if (p.rowStart.size() != static_cast<std::size_t>(p.dest.height) + 1 || p.rowStart[0] != 0)
        refuse("row starts do not fit the destination height");
    std::uint64_t counted = 0;
    for (int j = 0; j < p.dest.height; ++j) {
        for (std::size_t b = 0; b < rowBytes; ++b) {
            const std::size_t at = static_cast<std::size_t>(j) * rowBytes + b;
            const AmountRange& r = p.ranges[b % 3];
            if (p.below[at] + p.above[at] > r.high - r.low + 1)
                refuse("more results for a byte than its range has amounts");
            counted += std::uint64_t{p.below[at]} + p.above[at];
        }
        if (p.rowStart[static_cast<std::size_t>(j) + 1] != counted)
            refuse("row starts do not match the result counts");
    }
    if (counted != p.results.size())
        refuse("result count does not match the results");
    dest_ = p.dest;
    sourceWidth_ = p.sourceWidth;
    sourceHeight_ = p.sourceHeight;
    symmetricX_ = p.symmetricX;
    symmetricY_ = p.symmetricY;
    ranges_ = p.ranges;
    base_ = std::move(p.base);
    below_ = std::move(p.below);
    above_ = std::move(p.above);
    rowStart_.assign(p.rowStart.begin(), p.rowStart.end());
    results_ = std::move(p.results);
    complete_ = true;
}

std::uint64_t CompactTile::byteSize() const
{
    return base_.size() + below_.size() + above_.size() + rowStart_.size() * sizeof(std::size_t) +
           results_.size();
}

bool CompactTile::draws(const CellCopies& copies, const ShiftAmounts& amounts, bool hFlip, bool vFlip) const
{
    if (!complete_ || copies.count != 1 || copies.split || (hFlip && !symmetricX_) || (vFlip && !symmetricY_))
        return false;
    const CellCopy& c = copies.copy[0];
    if (!(c.source == Rect{0, 0, sourceWidth_, sourceHeight_}) || c.dest.width() != dest_.width ||
        c.dest.height() != dest_.height)
        return false;
    const int amount[3] = {amounts.blue, amounts.green, amounts.red};
    for (std::size_t k = 0; k < 3; ++k)
        if (amount[k] < ranges_[k].low || amount[k] > ranges_[k].high)
            return false;
    return true;
}

CellTile CompactTile::tile(const CellCopies& copies, const ShiftAmounts& amounts, bool hFlip, bool vFlip) const
{
    const int w = dest_.width, h = dest_.height;
    CellTile tile;
    tile.count = 1;
    TilePiece& piece = tile.piece[0];
    piece.left = copies.copy[0].dest.left;
    piece.top = copies.copy[0].dest.top;
    Picture& out = piece.pixels;
    out.resizeUninitialized(w, h);
    const int amount[3] = {amounts.blue, amounts.green, amounts.red};
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
    std::vector<std::size_t> first(rowBytes);  // per byte of the source row: its first result
    for (int j = 0; j < h; ++j) {
        const auto sj = static_cast<std::size_t>(vFlip ? h - 1 - j : j);
        const std::size_t rowAt = sj * rowBytes;
        std::size_t next = rowStart_[sj];
        const bool rowHasResults = rowStart_[sj + 1] != next;
        if (rowHasResults)
            for (std::size_t b = 0; b < rowBytes; ++b) {
                first[b] = next;
                next += std::size_t{below_[rowAt + b]} + above_[rowAt + b];
            }
        std::uint8_t* o = out.row(j);
        for (int i = 0; i < w; ++i, o += 3) {
            const int si = hFlip ? w - 1 - i : i;
            const std::size_t inRow = static_cast<std::size_t>(si) * 3;
            for (std::size_t c = 0; c < 3; ++c) {
                const std::size_t at = rowAt + inRow + c;
                const int a = amount[c];
                const int fromLow = a - ranges_[c].low, fromHigh = ranges_[c].high - a;
                if (rowHasResults && fromLow < below_[at])
                    o[c] = results_[first[inRow + c] + static_cast<std::size_t>(fromLow)];
                else if (rowHasResults && fromHigh < above_[at])
                    o[c] = results_[first[inRow + c] + below_[at] +
                                    static_cast<std::size_t>(above_[at] - 1 - fromHigh)];
                else
                    o[c] = static_cast<std::uint8_t>(base_[at] + a);
            }
        }
    }
    return tile;
}

CellTile renderTile(const Picture& prepared, const ReducedPicture* reduced, const CellCopies& copies,
                    const ShiftAmounts& amounts, bool hFlip, bool vFlip)
{
    const bool shortcut = reduced && reduced->usable() && copies.count == 1 && !copies.split &&
                          (!hFlip || reduced->mirrorsHorizontally()) && (!vFlip || reduced->mirrorsVertically());
    if (shortcut) {
        const CellCopy& c = copies.copy[0];
        const Size d = reduced->destSize();
        if (c.source == Rect{0, 0, prepared.width(), prepared.height()} && c.dest.width() == d.width &&
            c.dest.height() == d.height) {
            CellTile tile;
            tile.count = 1;
            tile.piece[0].left = c.dest.left;
            tile.piece[0].top = c.dest.top;
            reduced->render(amounts, hFlip, vFlip, tile.piece[0].pixels);
            return tile;
        }
    }
    return renderTileDirect(prepared, copies, amounts, hFlip, vFlip);
}

} // namespace tw
