#include "imaging/resample.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tw {

AxisWeights axisWeights(int sourceLength, int destLength, int begin, int end)
{
    if (sourceLength < 1 || sourceLength > kMaxStretchLength || destLength < 1 || destLength > kMaxStretchLength)
        throw std::invalid_argument("stretch length out of range: " + std::to_string(sourceLength) + " -> " +
                                    std::to_string(destLength));
    if (begin < 0 || end < begin || end > destLength)
        throw std::invalid_argument("stretch index range out of range: [" + std::to_string(begin) + ", " +
                                    std::to_string(end) + ")");
    AxisWeights aw;
    aw.sourceLength = sourceLength;
    aw.destLength = destLength;
    aw.begin = begin;
    aw.taps.reserve(static_cast<std::size_t>(end - begin));
    const std::int64_t S = sourceLength, D = destLength;

    if (D == S) {
        aw.total = 1;
        aw.weights.assign(static_cast<std::size_t>(end - begin), 1u);
        for (int i = begin; i < end; ++i)
            aw.taps.push_back({i, 1, static_cast<std::size_t>(i - begin)});
    } else if (D < S) {
        aw.total = static_cast<std::uint32_t>(S);
        for (int i = begin; i < end; ++i) {
            const std::int64_t a = i * S, b = (i + 1) * S;   // in 1/D source pixels
            const std::int64_t j0 = a / D, j1 = (b - 1) / D;   // first and last source pixel touched
            AxisWeights::Tap t{static_cast<int>(j0), static_cast<int>(j1 - j0 + 1), aw.weights.size()};
            for (std::int64_t j = j0; j <= j1; ++j) {
                const std::int64_t lo = std::max(a, j * D), hi = std::min(b, (j + 1) * D);
                aw.weights.push_back(static_cast<std::uint32_t>(hi - lo));
            }
            aw.taps.push_back(t);
        }
    } else {
        const std::int64_t twoD = 2 * D;
        aw.total = static_cast<std::uint32_t>(twoD);
        for (int i = begin; i < end; ++i) {
            const std::int64_t n = (2 * std::int64_t{i} + 1) * S - D;
            AxisWeights::Tap t{0, 1, aw.weights.size()};
            if (n <= 0) {
                aw.weights.push_back(static_cast<std::uint32_t>(twoD));
            } else if (n >= twoD * (S - 1)) {
                t.firstSource = static_cast<int>(S - 1);
                aw.weights.push_back(static_cast<std::uint32_t>(twoD));
            } else {
                const std::int64_t j = n / twoD, f = n % twoD;
                t.firstSource = static_cast<int>(j);
                aw.weights.push_back(static_cast<std::uint32_t>(twoD - f));
                if (f != 0) {
                    t.count = 2;
                    aw.weights.push_back(static_cast<std::uint32_t>(f));
                }
            }
            aw.taps.push_back(t);
        }
    }
    return aw;
}

namespace {

// Horizontal pass over one source row: out[3k..3k+2] = weighted sums of
// destination column begin + k.
void filterRow(const std::uint8_t* row, const AxisWeights& xw, std::uint32_t* out)
{
    const std::uint32_t* weights = xw.weights.data();
    for (const AxisWeights::Tap& t : xw.taps) {
        const std::uint8_t* p = row + static_cast<std::size_t>(t.firstSource) * 3;
        const std::uint32_t* w = weights + t.offset;
        std::uint32_t b = 0, g = 0, r = 0;
        for (int k = 0; k < t.count; ++k, p += 3) {
            b += w[k] * p[0];
            g += w[k] * p[1];
            r += w[k] * p[2];
        }
        out[0] = b;
        out[1] = g;
        out[2] = r;
        out += 3;
    }
}

// Horizontally filtered source rows, the two most recent kept: windows of
// neighbouring destination rows share at most their boundary rows.
class FilteredRows {
public:
    FilteredRows(const Picture& src, Rect srcRect, const AxisWeights& xw)
        : src_(src), rect_(srcRect), xw_(xw), length_(xw.taps.size() * 3)
    {
        for (Slot& s : slots_)
            s.values.resize(length_);
    }

    const std::uint32_t* get(int sourceRow)
    {
        for (Slot& s : slots_)
            if (s.row == sourceRow) {
                s.used = ++clock_;
                return s.values.data();
            }
        Slot& s = slots_[0].used <= slots_[1].used ? slots_[0] : slots_[1];
        filterRow(src_.row(rect_.top + sourceRow) + static_cast<std::size_t>(rect_.left) * 3, xw_, s.values.data());
        s.row = sourceRow;
        s.used = ++clock_;
        return s.values.data();
    }

private:
    struct Slot {
        int row = -1;
        std::uint64_t used = 0;
        std::vector<std::uint32_t> values;
    };
    const Picture& src_;
    Rect rect_;
    const AxisWeights& xw_;
    std::size_t length_;
    std::array<Slot, 2> slots_;
    std::uint64_t clock_ = 0;
};

// The destination indices of [rectStart, rectStart + length) that lie in
// [0, limit), relative to rectStart.
bool clipSpan(std::int64_t rectStart, std::int64_t length, int limit, int& begin, int& end)
{
    const std::int64_t lo = std::max<std::int64_t>(rectStart, 0);
    const std::int64_t hi = std::min<std::int64_t>(rectStart + length, limit);
    if (lo >= hi)
        return false;
    begin = static_cast<int>(lo - rectStart);
    end = static_cast<int>(hi - rectStart);
    return true;
}

void checkLength(std::int64_t length, const char* what)
{
    if (length > kMaxStretchLength)
        throw std::invalid_argument(std::string("stretch ") + what + " too large: " + std::to_string(length));
}

} // namespace

void stretchRect(const Picture& src, Rect srcRect, Picture& dst, Rect dstRect)
{
    const std::int64_t sw = std::int64_t{srcRect.right} - srcRect.left;
    const std::int64_t sh = std::int64_t{srcRect.bottom} - srcRect.top;
    const std::int64_t dw = std::int64_t{dstRect.right} - dstRect.left;
    const std::int64_t dh = std::int64_t{dstRect.bottom} - dstRect.top;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    if (srcRect.left < 0 || srcRect.top < 0 || srcRect.right > src.width() || srcRect.bottom > src.height())
        throw std::invalid_argument("stretch source rectangle outside the picture");
    checkLength(sw, "source width");
    checkLength(sh, "source height");
    checkLength(dw, "destination width");
    checkLength(dh, "destination height");

    if (&src == &dst) {
        Picture part(static_cast<int>(sw), static_cast<int>(sh));
        copyRect(src, srcRect.left, srcRect.top, part, 0, 0, part.width(), part.height());
        stretchRect(part, Rect{0, 0, part.width(), part.height()}, dst, dstRect);
        return;
    }

    int x0, x1, y0, y1;
    if (!clipSpan(dstRect.left, dw, dst.width(), x0, x1) || !clipSpan(dstRect.top, dh, dst.height(), y0, y1))
        return;

    if (sw == dw && sh == dh) {
        copyRect(src, srcRect.left + x0, srcRect.top + y0, dst, dstRect.left + x0, dstRect.top + y0, x1 - x0,
                 y1 - y0);
        return;
    }

    const AxisWeights xw = axisWeights(static_cast<int>(sw), static_cast<int>(dw), x0, x1);
    const AxisWeights yw = axisWeights(static_cast<int>(sh), static_cast<int>(dh), y0, y1);
    const RoundingDivider divide(std::uint64_t{xw.total} * yw.total);
    const std::size_t values = static_cast<std::size_t>(x1 - x0) * 3;
    std::vector<std::uint64_t> acc(values);
    FilteredRows rows(src, srcRect, xw);

    for (int y = y0; y < y1; ++y) {
        const AxisWeights::Tap& t = yw.tap(y);
        std::fill(acc.begin(), acc.end(), std::uint64_t{0});
        for (int k = 0; k < t.count; ++k) {
            const std::uint64_t w = yw.weight(t, k);
            const std::uint32_t* h = rows.get(t.firstSource + k);
            for (std::size_t v = 0; v < values; ++v)
                acc[v] += w * h[v];
        }
        std::uint8_t* out = dst.row(dstRect.top + y) + static_cast<std::size_t>(dstRect.left + x0) * 3;
        for (std::size_t v = 0; v < values; ++v)
            out[v] = divide(acc[v]);
    }
}

void stretchTo(const Picture& source, Picture& target, int width, int height)
{
    Picture result(width, height);
    if (!source.empty())
        stretchRect(source, Rect{0, 0, source.width(), source.height()}, result,
                    Rect{0, 0, result.width(), result.height()});
    target.swap(result);
}

} // namespace tw
