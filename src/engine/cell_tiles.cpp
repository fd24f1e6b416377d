#include "engine/cell_tiles.h"

#include "imaging/transforms.h"

#include <algorithm>

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

ReducedPicture::ReducedPicture(const Picture& prepared, Size dest)
    : source_(prepared), dest_(dest), wx_(axisWeights(prepared.width(), dest.width)),
      wy_(axisWeights(prepared.height(), dest.height))
{
    usable_ = totalsConsistent(wx_) && totalsConsistent(wy_);
    if (!usable_)
        return;
    symmetricX_ = mirrorSymmetric(wx_);
    symmetricY_ = mirrorSymmetric(wy_);

    base_.resizeUninitialized(dest.width, dest.height);
    stretchRect(prepared, Rect{0, 0, prepared.width(), prepared.height()}, base_,
                Rect{0, 0, dest.width, dest.height});

    // Smallest and largest byte per channel read by each destination pixel:
    // first down the source rows each destination row reads (whole rows of
    // bytes at a time), then across the columns each pixel reads.
    const std::size_t rowBytes = static_cast<std::size_t>(dest.width) * 3;
    const std::size_t sourceBytes = prepared.stride();
    std::vector<std::uint8_t> columnLow(sourceBytes), columnHigh(sourceBytes);
    low_.resize(rowBytes * static_cast<std::size_t>(dest.height));
    high_.resize(low_.size());
    for (int j = 0; j < dest.height; ++j) {
        const AxisWeights::Tap& ty = wy_.tap(j);
        std::fill(columnLow.begin(), columnLow.end(), std::uint8_t{255});
        std::fill(columnHigh.begin(), columnHigh.end(), std::uint8_t{0});
        std::uint8_t* cl = columnLow.data();
        std::uint8_t* ch = columnHigh.data();
        for (int k = 0; k < ty.count; ++k) {
            const std::uint8_t* row = prepared.row(ty.firstSource + k);
            for (std::size_t b = 0; b < sourceBytes; ++b) {
                cl[b] = std::min(cl[b], row[b]);
                ch[b] = std::max(ch[b], row[b]);
            }
        }
        std::uint8_t* lo = low_.data() + rowBytes * static_cast<std::size_t>(j);
        std::uint8_t* hi = high_.data() + rowBytes * static_cast<std::size_t>(j);
        for (int i = 0; i < dest.width; ++i) {
            const AxisWeights::Tap& tx = wx_.tap(i);
            std::uint8_t l[3] = {255, 255, 255}, u[3] = {0, 0, 0};
            const std::size_t first = static_cast<std::size_t>(tx.firstSource) * 3;
            for (int k = 0; k < tx.count; ++k)
                for (int c = 0; c < 3; ++c) {
                    const std::size_t at = first + static_cast<std::size_t>(k) * 3 + static_cast<std::size_t>(c);
                    l[c] = std::min(l[c], cl[at]);
                    u[c] = std::max(u[c], ch[at]);
                }
            for (int c = 0; c < 3; ++c) {
                lo[i * 3 + c] = l[c];
                hi[i * 3 + c] = u[c];
            }
        }
    }
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

// The histogram's running totals: weight[t] and weighted value[t] over the
// source values below t.
struct HistogramSums {
    std::array<std::int64_t, 257> weight{};
    std::array<std::int64_t, 257> value{};

    void build(const std::array<std::uint64_t, 256>& h)
    {
        for (int v = 0; v < 256; ++v) {
            const auto w = static_cast<std::int64_t>(h[static_cast<std::size_t>(v)]);
            weight[static_cast<std::size_t>(v) + 1] = weight[static_cast<std::size_t>(v)] + w;
            value[static_cast<std::size_t>(v) + 1] = value[static_cast<std::size_t>(v)] + w * v;
        }
    }

    // The weighted sum of clampByte(v + a) over the histogram.
    std::uint64_t shiftedSum(int a) const
    {
        const int first = std::max(0, -a), last = std::min(255, 255 - a);  // values that do not clamp
        const auto lo = static_cast<std::size_t>(first), hi = static_cast<std::size_t>(last) + 1;
        const std::int64_t inside = value[hi] - value[lo] + std::int64_t{a} * (weight[hi] - weight[lo]);
        const std::int64_t clampedHigh = 255 * (weight[256] - weight[hi]);
        return static_cast<std::uint64_t>(inside + clampedHigh);
    }
};

int clampedCount(int count, int limit) { return std::clamp(count, 0, limit); }

} // namespace

CompactTile::CompactTile(const ReducedPicture& reduced, const ChannelRanges& ranges, std::uint64_t limitBytes)
    : dest_(reduced.destSize()), sourceWidth_(reduced.source_.width()), sourceHeight_(reduced.source_.height()),
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
    std::array<std::array<std::uint64_t, 256>, 3> histogram{};
    HistogramSums sums;
    for (int j = 0; j < h; ++j) {
        const AxisWeights::Tap& ty = reduced.wy_.tap(j);
        for (int i = 0; i < w; ++i) {
            const std::size_t at =
                (static_cast<std::size_t>(j) * static_cast<std::size_t>(w) + static_cast<std::size_t>(i)) * 3;
            int below[3], above[3];
            bool any = false;
            for (std::size_t c = 0; c < 3; ++c) {
                const AmountRange r = ranges_[c];
                const int span = r.high >= r.low ? r.high - r.low + 1 : 0;
                below[c] = clampedCount(-int{reduced.low_[at + c]} - r.low, span);
                above[c] = clampedCount(r.high - (255 - int{reduced.high_[at + c]}), span);
                below_[at + c] = static_cast<std::uint8_t>(below[c]);
                above_[at + c] = static_cast<std::uint8_t>(above[c]);
                any = any || below[c] > 0 || above[c] > 0;
            }
            if (!any)
                continue;
            for (auto& one : histogram)
                one.fill(0);
            const AxisWeights::Tap& tx = reduced.wx_.tap(i);
            for (int k = 0; k < ty.count; ++k) {
                const std::uint64_t wy = reduced.wy_.weight(ty, k);
                const std::uint8_t* p =
                    reduced.source_.row(ty.firstSource + k) + static_cast<std::size_t>(tx.firstSource) * 3;
                for (int m = 0; m < tx.count; ++m, p += 3) {
                    const std::uint64_t weight = wy * reduced.wx_.weight(tx, m);
                    histogram[0][p[0]] += weight;
                    histogram[1][p[1]] += weight;
                    histogram[2][p[2]] += weight;
                }
            }
            for (std::size_t c = 0; c < 3; ++c) {
                if (below[c] == 0 && above[c] == 0)
                    continue;
                sums.build(histogram[c]);
                const AmountRange r = ranges_[c];
                for (int a = r.low; a < r.low + below[c]; ++a)
                    results_.push_back(roundWeightedSum(sums.shiftedSum(a), total));
                for (int a = r.high - above[c] + 1; a <= r.high; ++a)
                    results_.push_back(roundWeightedSum(sums.shiftedSum(a), total));
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
