#pragma once
// The averaging ("halftone") stretch used everywhere.
//
// Each axis is mapped on its own by integer weights (AxisWeights); a
// destination pixel's channel value is
//
//     value = (S + T / 2) / T        (integer division, T = Tx * Ty)
//
// where S = sum over its source pixels (x, y) of wx(x) * wy(y) * channel(x, y)
// is the exact weighted sum and Tx, Ty are the per-axis weight totals. Only
// that one rounding happens, at the very end, so:
//   - a uniform picture stays exactly uniform;
//   - the weights of an axis are mirror-symmetric, so mirroring before or
//     after the stretch gives identical bytes;
//   - anyone can reproduce a destination pixel from axisWeights() alone.
//
// Per-axis weights for a source length S and destination length D:
//   Reducing (D < S): area averaging. Destination pixel i covers the source
//     interval [i*S, (i+1)*S) measured in 1/D of a source pixel, source
//     pixel j covers [j*D, (j+1)*D); the weight of j is the length of the
//     overlap. The weights of i sum to S, so the total is S.
//   Enlarging (D > S): linear interpolation between pixel centres. The centre
//     of destination pixel i lies at source position p = ((2i+1)*S - D) / (2D)
//     (pixel centres at whole numbers). With n = (2i+1)*S - D: for n <= 0
//     source pixel 0 takes the whole weight; otherwise j = n div 2D and
//     f = n mod 2D give weights 2D - f to pixel j and f to pixel j + 1, and
//     the last source pixel takes the whole weight beyond its centre. The
//     total is 2D.
//   Equal (D = S): pixel i takes pixel i with weight 1, total 1: a plain copy.
// Mixed stretches (one axis reduced, the other enlarged) combine the two
// axes' weights as above. Totals stay below 2^19, so the per-row sums fit in
// 32 bits and the full sums in 53 bits.
#include "imaging/picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

// The weights of one axis for destination indices [begin, end) of a
// destination length mapped from a source length. Source indices are
// relative to the start of the source span.
struct AxisWeights {
    struct Tap {
        int firstSource = 0;       // first source index with a weight
        int count = 0;             // number of consecutive source indices
        std::size_t offset = 0;    // index of the first weight in weights
    };
    int sourceLength = 0;
    int destLength = 0;
    int begin = 0;                 // first destination index described
    std::uint32_t total = 0;       // sum of every tap's weights
    std::vector<Tap> taps;         // taps[i - begin] for destination index i
    std::vector<std::uint32_t> weights;

    const Tap& tap(int destIndex) const { return taps[static_cast<std::size_t>(destIndex - begin)]; }
    std::uint32_t weight(const Tap& t, int k) const { return weights[t.offset + static_cast<std::size_t>(k)]; }
};

// Largest source or destination length (in pixels along one axis) a stretch
// accepts; keeps every weight total below 2^19.
constexpr int kMaxStretchLength = Picture::kMaxDimension;

// The weights for destination indices [begin, end) (0 <= begin <= end <=
// destLength) of a stretch from sourceLength to destLength pixels, both in
// 1..kMaxStretchLength. Throws std::invalid_argument otherwise.
AxisWeights axisWeights(int sourceLength, int destLength, int begin, int end);
inline AxisWeights axisWeights(int sourceLength, int destLength)
{
    return axisWeights(sourceLength, destLength, 0, destLength);
}

// Rounds an exact weighted sum to a byte as described above.
constexpr std::uint8_t roundWeightedSum(std::uint64_t sum, std::uint64_t total)
{
    return static_cast<std::uint8_t>((sum + total / 2) / total);
}

// roundWeightedSum for many sums of one total, faster: a double reciprocal
// estimates the quotient, which is then corrected to the exact integer
// division. Sums stay below 2^53, so the estimate is off by at most one.
class RoundingDivider {
public:
    explicit RoundingDivider(std::uint64_t total) : total_(total), half_(total / 2), inverse_(1.0 / double(total)) {}
    std::uint8_t operator()(std::uint64_t sum) const noexcept
    {
        const std::uint64_t n = sum + half_;
        std::uint64_t q = static_cast<std::uint64_t>(double(n) * inverse_);
        if (q * total_ > n)
            --q;
        else if ((q + 1) * total_ <= n)
            ++q;
        return static_cast<std::uint8_t>(q);
    }

private:
    std::uint64_t total_, half_;
    double inverse_;
};

// Resamples the srcRect part of src onto the dstRect part of dst. dstRect
// may reach outside dst: the mapping is computed for the whole rectangle and
// only the pixels inside dst are written. srcRect must lie inside src.
// Nothing happens when either rectangle is empty. src and dst may be the
// same picture (the source part is copied first). Throws
// std::invalid_argument when srcRect leaves src or either rectangle is
// wider or taller than kMaxStretchLength.
void stretchRect(const Picture& src, Rect srcRect, Picture& dst, Rect dstRect);

// target := the whole source resampled to width x height (source and
// target may be the same picture). An empty source gives a black target.
void stretchTo(const Picture& source, Picture& target, int width, int height);

} // namespace tw
