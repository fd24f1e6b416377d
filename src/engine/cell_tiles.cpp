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
