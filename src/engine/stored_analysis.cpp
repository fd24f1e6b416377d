#include "engine/stored_analysis.h"

#include "cache/content_hash.h"
#include "engine/cell_layout.h"
#include "imaging/jpeg.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace tw {

namespace {

constexpr std::uint8_t kMagic[4] = {'T', 'W', 'A', 1};
constexpr std::uint8_t kHasTile = 1;
constexpr std::uint8_t kSymmetricX = 1, kSymmetricY = 2;
enum class ResultCoding : std::uint8_t { Bytes = 0, Steps = 1 };

// Changes whenever what is stored, or how it is worked out, changes.
constexpr const char* kAnalysisGeneration = "a1";

std::string hex64(std::uint64_t v)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

// What this program's libjpeg decodes, in short.
const std::string& decoderGeneration()
{
    static const std::string generation = [] {
        try {
            const Bytes probe = jpegDecoderProbe();
            return "j" + hex64(checksum64(probe.data(), probe.size()));
        } catch (const std::exception&) {
            // Nothing is known of the decoder: this run's results match no
            // other run's.
            const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
            return "unknown-" + std::to_string(::getpid()) + "-" + std::to_string(now);
        }
    }();
    return generation;
}

class Writer {
public:
    void u8(std::uint8_t v) { out.push_back(v); }
    void u16(std::uint16_t v)
    {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void i16(int v) { u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(v))); }
    void u32(std::uint32_t v)
    {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void bytes(const std::vector<std::uint8_t>& b) { out.insert(out.end(), b.begin(), b.end()); }
    std::vector<std::uint8_t> out;
};

class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& in) : in_(in) {}
    std::size_t left() const { return in_.size() - at_; }
    void need(std::size_t n, const char* what) const
    {
        if (n > left())
            refuse(std::string(what) + " runs past the end");
    }
    std::uint8_t u8(const char* what)
    {
        need(1, what);
        return in_[at_++];
    }
    std::uint16_t u16(const char* what)
    {
        need(2, what);
        const auto v = static_cast<std::uint16_t>(in_[at_] | in_[at_ + 1] << 8);
        at_ += 2;
        return v;
    }
    int i16(const char* what) { return static_cast<std::int16_t>(u16(what)); }
    std::uint32_t u32(const char* what)
    {
        const std::uint32_t low = u16(what);
        return low | std::uint32_t{u16(what)} << 16;
    }
    std::vector<std::uint8_t> bytes(std::size_t n, const char* what)
    {
        need(n, what);
        std::vector<std::uint8_t> b(in_.begin() + static_cast<std::ptrdiff_t>(at_),
                                    in_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
        at_ += n;
        return b;
    }
    const std::uint8_t* take(std::size_t n, const char* what)
    {
        need(n, what);
        const std::uint8_t* p = in_.data() + at_;
        at_ += n;
        return p;
    }
    [[noreturn]] static void refuse(const std::string& what)
    {
        throw std::invalid_argument("stored analysis: " + what);
    }

private:
    const std::vector<std::uint8_t>& in_;
    std::size_t at_ = 0;
};

// The results of each destination byte come in runs (those clamping at 0,
// then those clamping at 255), each rising by 0 or 1 per amount: a first
// value per run, then one bit per step. Empty when some step is neither.
std::vector<std::uint8_t> encodeSteps(const CompactTile::Parts& p)
{
    std::vector<std::uint8_t> firsts, bits;
    std::size_t at = 0, stepCount = 0;
    auto run = [&](std::size_t length) {
        if (length == 0)
            return true;
        firsts.push_back(p.results[at]);
        for (std::size_t k = 1; k < length; ++k, ++stepCount) {
            const int step = p.results[at + k] - p.results[at + k - 1];
            if (step != 0 && step != 1)
                return false;
            if (stepCount % 8 == 0)
                bits.push_back(0);
            bits.back() = static_cast<std::uint8_t>(bits.back() | step << (stepCount % 8));
        }
        at += length;
        return true;
    };
    for (std::size_t b = 0; b < p.base.size(); ++b)
        if (!run(p.below[b]) || !run(p.above[b]))
            return {};
    firsts.insert(firsts.end(), bits.begin(), bits.end());
    return firsts;
}

// The stored results, coded either way, read one run at a time.
class StoredResults {
public:
    // Bytes: count results one after another. Steps: runs first values,
    // then the bit stream of count - runs steps.
    StoredResults(Reader& in, ResultCoding coding, std::size_t count, std::size_t runs) : coding_(coding)
    {
        if (coding == ResultCoding::Bytes) {
            values_ = in.take(count, "results");
            return;
        }
        const std::size_t steps = count - runs;
        values_ = in.take(runs, "first results");
        bits_ = in.take((steps + 7) / 8, "result steps");
        bitCount_ = steps;
        if (steps % 8 != 0 && bits_[steps / 8] >> (steps % 8) != 0)
            Reader::refuse("result steps beyond the last");
    }

    // Appends results from .. from + count - 1 of the next run, which holds
    // length results, and moves on to the run after it.
    void take(std::size_t length, std::size_t from, std::size_t count, std::vector<std::uint8_t>& out)
    {
        if (length == 0)
            return;
        if (coding_ == ResultCoding::Bytes) {
            out.insert(out.end(), values_ + next_ + from, values_ + next_ + from + count);
            next_ += length;
            return;
        }
        if (count > 0) {
            int v = values_[next_] + static_cast<int>(countBits(bit_, bit_ + from));
            for (std::size_t k = 0; k < count; ++k) {
                if (k > 0)
                    v += bitAt(bit_ + from + k - 1);
                if (v > 255)
                    Reader::refuse("result steps beyond 255");
                out.push_back(static_cast<std::uint8_t>(v));
            }
        }
        ++next_;
        bit_ += length - 1;
    }

    // Whether every run and step was taken.
    bool used() const
    {
        return coding_ == ResultCoding::Bytes ? true : bit_ == bitCount_;
    }

private:
    int bitAt(std::size_t i) const { return bits_[i / 8] >> (i % 8) & 1; }
    std::size_t countBits(std::size_t from, std::size_t to) const
    {
        std::size_t n = 0;
        for (; from < to && from % 8 != 0; ++from)
            n += static_cast<std::size_t>(bitAt(from));
        for (; from + 8 <= to; from += 8)
            n += static_cast<std::size_t>(std::popcount(static_cast<unsigned>(bits_[from / 8])));
        for (; from < to; ++from)
            n += static_cast<std::size_t>(bitAt(from));
        return n;
    }

    ResultCoding coding_;
    const std::uint8_t* values_ = nullptr;
    const std::uint8_t* bits_ = nullptr;
    std::size_t bitCount_ = 0;
    std::size_t next_ = 0;  // the next run (steps) or result (bytes)
    std::size_t bit_ = 0;   // its first step
};

// A run of stored results for the amounts of one side of range stored,
// cut to the same side of range wanted (inside stored): where the cut run
// starts in the stored one and how long it is. below: the run holds the
// amounts stored.low .. stored.low + length - 1; otherwise stored.high -
// length + 1 .. stored.high. A run that fills its whole range says only
// that every amount of it clamps, so every wanted amount does too.
struct Cut {
    std::size_t from = 0, count = 0;
};
Cut cutRun(int length, bool below, const AmountRange& stored, const AmountRange& wanted)
{
    const int storedSpan = stored.high - stored.low + 1, wantedSpan = wanted.high - wanted.low + 1;
    const bool full = length == storedSpan;
    if (below) {
        const int count = full ? wantedSpan : std::clamp(stored.low + length - wanted.low, 0, wantedSpan);
        return Cut{static_cast<std::size_t>(count > 0 ? wanted.low - stored.low : 0), static_cast<std::size_t>(count)};
    }
    const int count = full ? wantedSpan : std::clamp(wanted.high - stored.high + length, 0, wantedSpan);
    const int firstAmount = wanted.high - count + 1, runFirst = stored.high - length + 1;
    return Cut{static_cast<std::size_t>(count > 0 ? firstAmount - runFirst : 0), static_cast<std::size_t>(count)};
}

} // namespace

ChannelRanges storedAmountRanges(const ColorSignature& signature, std::int32_t colorEnhance,
                                 const std::optional<ChannelRanges>& earlier)
{
    ChannelRanges ranges = amountRanges(signature, colorEnhance);
    if (earlier)
        for (std::size_t c = 0; c < 3; ++c)
            ranges[c] = AmountRange{std::min(ranges[c].low, (*earlier)[c].low),
                                    std::max(ranges[c].high, (*earlier)[c].high)};
    return ranges;
}

std::string storedAnalysisVariant(PictureFormat format, const tmosaicproject& s)
{
    std::string v = std::string(kAnalysisGeneration) + " " + decoderGeneration();
    v += format == PictureFormat::Jpeg ? " jpeg" : " bmp";
    v += s.cropCell ? " crop " + std::to_string(s.cellWidth) + ":" + std::to_string(s.cellHeight) : " whole";
    v += s.monoCell ? " grey" : " colour";
    const Size cell = wholeCellSize(s);
    if (cell.width > 0 && cell.height > 0)
        v += " cells " + std::to_string(cell.width) + "x" + std::to_string(cell.height);
    else
        v += " no cells";
    return v;
}

std::vector<std::uint8_t> encodeStoredAnalysis(const ColorSignature& signature, const CompactTile* tile)
{
    Writer w;
    for (std::uint8_t m : kMagic)
        w.u8(m);
    for (const SignatureColor& c : signature.c) {
        w.u8(c.blue);
        w.u8(c.green);
        w.u8(c.red);
        w.u8(c.luma);
    }
    const bool withTile = tile && tile->complete();
    w.u8(withTile ? kHasTile : 0);
    if (!withTile)
        return std::move(w.out);
    const CompactTile::Parts p = tile->parts();
    w.u8(static_cast<std::uint8_t>((p.symmetricX ? kSymmetricX : 0) | (p.symmetricY ? kSymmetricY : 0)));
    w.u16(static_cast<std::uint16_t>(p.dest.width));
    w.u16(static_cast<std::uint16_t>(p.dest.height));
    w.u32(static_cast<std::uint32_t>(p.sourceWidth));
    w.u32(static_cast<std::uint32_t>(p.sourceHeight));
    for (const AmountRange& r : p.ranges) {
        w.i16(r.low);
        w.i16(r.high);
    }
    w.bytes(p.base);
    w.bytes(p.below);
    w.bytes(p.above);
    const std::vector<std::uint8_t> steps = p.results.empty() ? std::vector<std::uint8_t>{} : encodeSteps(p);
    if (!p.results.empty() && steps.empty()) {
        w.u8(static_cast<std::uint8_t>(ResultCoding::Bytes));
        w.bytes(p.results);
    } else {
        w.u8(static_cast<std::uint8_t>(ResultCoding::Steps));
        w.bytes(steps);
    }
    return std::move(w.out);
}

StoredAnalysis decodeStoredAnalysis(const std::vector<std::uint8_t>& value, std::optional<std::int32_t> colorEnhance)
{
    Reader in(value);
    for (std::uint8_t m : kMagic)
        if (in.u8("magic") != m)
            Reader::refuse("another magic or version");
    StoredAnalysis out;
    for (SignatureColor& c : out.signature.c) {
        c.blue = in.u8("signature");
        c.green = in.u8("signature");
        c.red = in.u8("signature");
        c.luma = in.u8("signature");
    }
    const std::uint8_t flags = in.u8("flags");
    if ((flags & ~kHasTile) != 0)
        Reader::refuse("unknown flags");
    if (!(flags & kHasTile)) {
        if (in.left() != 0)
            Reader::refuse("bytes after the end");
        return out;
    }
    CompactTile::Parts p;
    const std::uint8_t symmetry = in.u8("symmetry");
    if ((symmetry & ~(kSymmetricX | kSymmetricY)) != 0)
        Reader::refuse("unknown symmetry flags");
    p.symmetricX = (symmetry & kSymmetricX) != 0;
    p.symmetricY = (symmetry & kSymmetricY) != 0;
    p.dest.width = in.u16("cell size");
    p.dest.height = in.u16("cell size");
    if (p.dest.width < 1 || p.dest.height < 1 || p.dest.width > kMaxCellSide || p.dest.height > kMaxCellSide)
        Reader::refuse("cell size out of range");
    const std::uint32_t sw = in.u32("source size"), sh = in.u32("source size");
    if (sw < 1 || sh < 1 || sw > static_cast<std::uint32_t>(Picture::kMaxDimension) ||
        sh > static_cast<std::uint32_t>(Picture::kMaxDimension))
        Reader::refuse("source size out of range");
    p.sourceWidth = static_cast<int>(sw);
    p.sourceHeight = static_cast<int>(sh);
    ChannelRanges stored{};
    for (AmountRange& r : stored) {
        r.low = in.i16("ranges");
        r.high = in.i16("ranges");
        if (r.low < -255 || r.high > 255 || r.low > r.high)
            Reader::refuse("amount range out of order or beyond -255..255");
    }
    // What comes out: the stored ranges, or as much of the wanted ones as
    // they hold.
    p.ranges = stored;
    out.storedRanges = stored;
    if (colorEnhance) {
        const ChannelRanges wanted = amountRanges(out.signature, *colorEnhance);
        for (std::size_t c = 0; c < 3; ++c) {
            // Both hold the amount 0, so they always meet.
            const AmountRange cut{std::max(stored[c].low, wanted[c].low), std::min(stored[c].high, wanted[c].high)};
            if (cut.low <= cut.high)
                p.ranges[c] = cut;
            if (cut.low != wanted[c].low || cut.high != wanted[c].high)
                out.covers = false;
        }
    }
    const std::size_t n = static_cast<std::size_t>(p.dest.width) * static_cast<std::size_t>(p.dest.height) * 3;
    in.need(3 * n, "cell bytes");
    p.base = in.bytes(n, "base");
    const std::uint8_t* below = in.take(n, "counts");
    const std::uint8_t* above = in.take(n, "counts");
    std::size_t count = 0, runs = 0;
    for (std::size_t b = 0; b < n; ++b) {
        const AmountRange& r = stored[b % 3];
        if (below[b] + above[b] > r.high - r.low + 1)
            Reader::refuse("more results for a byte than its range has amounts");
        count += std::size_t{below[b]} + above[b];
        runs += (below[b] > 0) + (above[b] > 0);
    }
    const auto coding = static_cast<ResultCoding>(in.u8("result coding"));
    if (coding != ResultCoding::Bytes && coding != ResultCoding::Steps)
        Reader::refuse("unknown result coding");
    StoredResults results(in, coding, count, runs);
    if (in.left() != 0)
        Reader::refuse("bytes after the end");

    p.below.resize(n);
    p.above.resize(n);
    p.rowStart.assign(static_cast<std::size_t>(p.dest.height) + 1, 0);
    const std::size_t rowBytes = static_cast<std::size_t>(p.dest.width) * 3;
    for (std::size_t b = 0; b < n; ++b) {
        const std::size_t c = b % 3;
        const Cut low = cutRun(below[b], true, stored[c], p.ranges[c]);
        const Cut high = cutRun(above[b], false, stored[c], p.ranges[c]);
        results.take(below[b], low.from, low.count, p.results);
        results.take(above[b], high.from, high.count, p.results);
        p.below[b] = static_cast<std::uint8_t>(low.count);
        p.above[b] = static_cast<std::uint8_t>(high.count);
        if ((b + 1) % rowBytes == 0)
            p.rowStart[(b + 1) / rowBytes] = p.results.size();
    }
    if (!results.used())
        Reader::refuse("result steps left over");
    out.tile = std::make_unique<const CompactTile>(std::move(p));  // checks the parts
    return out;
}

} // namespace tw
