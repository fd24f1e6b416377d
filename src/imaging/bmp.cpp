#include "imaging/bmp.h"

#include "platform/errors.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

// Reader policy, in the order the header is checked:
//  - magic "BM"; information header size one of 12 (OS/2 core), 40, 52, 56,
//    64 (OS/2 2.x), 108 (V4) or 124 (V5);
//  - width and height within 1..Picture::kMaxDimension (a negative height
//    means rows stored from the top). A file of exactly 0 x 0 pixels is the
//    empty picture (our own writer stores an empty picture that way); a file
//    with only one zero dimension contradicts itself and is refused;
//  - one plane; 1, 2, 4, 8, 16, 24 or 32 bits; uncompressed, RLE8 (8 bits),
//    RLE4 (4 bits) or colour masks (16 and 32 bits). Compressed files must be
//    stored bottom-up;
//  - palette pictures: the palette holds biClrUsed colours (2^bits when 0,
//    more than 2^bits is refused); only the entries that lie between the
//    headers and the pixel data are read, and an index beyond them gives
//    black;
//  - the pixel data offset lies after the headers and inside the file, and
//    uncompressed data holds at least stride x height bytes;
//  - RLE: the picture may hold at most 256 pixels per compressed byte plus
//    65536, so a tiny file cannot make us allocate gigabytes. Runs past the
//    row end, moves past the picture and a missing end-of-bitmap marker are
//    refused. Pixels the stream skips are black, not palette colour 0.
// Mask channels of any width are scaled to 8 bits as
// (value * 255 + max / 2) / max with max = 2^width - 1 (rounded to nearest),
// so a full channel always gives 255. Alpha is dropped.
// Only after all of this, and after its memory is reserved in the decode
// budget, is the picture allocated; it is decoded into a local picture and
// swapped into the target at the end.

namespace tw {
namespace {

constexpr const char* kInvalidBitmap = "Bitmap image is not valid";

[[noreturn]] void invalid()
{
    throw Error(kInvalidBitmap);
}

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kV2HeaderSize = 52;
constexpr std::uint32_t kV3HeaderSize = 56;
constexpr std::uint32_t kOs2HeaderSize = 64;
constexpr std::uint32_t kV4HeaderSize = 108;
constexpr std::uint32_t kV5HeaderSize = 124;
constexpr std::size_t kWrittenHeadersSize = kFileHeaderSize + kInfoHeaderSize;
static_assert(kWrittenHeadersSize == 54, "file header + BITMAPINFOHEADER is 54 bytes");
static_assert(kFileHeaderSize + kCoreHeaderSize == 26, "file header + BITMAPCOREHEADER is 26 bytes");

// Values of biCompression as stored in the file.
enum class Compression { Rgb, Rle8, Rle4, Bitfields };
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

// Bound on the decoded size of an RLE picture relative to its data.
constexpr std::uint64_t kRlePixelsPerByte = 256;
constexpr std::uint64_t kRleFreePixels = 65536;

std::uint16_t readU16le(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t readU32le(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t readS32le(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(readU32le(p)); // modular since C++20
}

void putU16le(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putU32le(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

// 256 entries whatever the file declares, so any 8-bit index is safe;
// entries the file does not provide stay black.
using Palette = std::array<Bgr, 256>;

// One colour channel of a 16- or 32-bit pixel.
class MaskChannel {
public:
    MaskChannel() = default;
    explicit MaskChannel(std::uint32_t mask)
    {
        if (mask == 0)
            return;
        shift_ = static_cast<unsigned>(std::countr_zero(mask));
        max_ = mask >> shift_;
        if (max_ <= 0xFFFF) {
            lut_.resize(std::size_t{max_} + 1);
            for (std::uint32_t v = 0; v <= max_; ++v)
                lut_[v] = scaled(v);
        }
    }

    std::uint8_t operator()(std::uint32_t pixel) const
    {
        if (max_ == 0)
            return 0;
        std::uint32_t v = (pixel >> shift_) & max_;
        return lut_.empty() ? scaled(v) : lut_[v];
    }

private:
    std::uint8_t scaled(std::uint32_t v) const
    {
        return static_cast<std::uint8_t>((std::uint64_t{v} * 255 + max_ / 2) / max_);
    }

    unsigned shift_ = 0;
    std::uint32_t max_ = 0;
    std::vector<std::uint8_t> lut_;
};

bool contiguous(std::uint32_t mask)
{
    if (mask == 0)
        return true;
    std::uint32_t m = mask >> std::countr_zero(mask);
    return (m & (m + 1)) == 0; // all ones from bit 0 (wraps to 0 for 0xFFFFFFFF)
}

struct BmpHeader {
    int width = 0;
    int height = 0;
    bool topDown = false;
    unsigned bits = 0;
    Compression compression = Compression::Rgb;
    std::array<std::uint32_t, 3> masks{}; // red, green, blue
    std::size_t pixelOffset = 0;
    std::size_t stride = 0;
    Palette palette{};
};

bool paletted(unsigned bits)
{
    return bits <= 8;
}

// Checks everything about the file except the pixel data itself.
BmpHeader parseHeader(const std::uint8_t* data, std::size_t size)
{
    BmpHeader h;
    if (data == nullptr || size < kFileHeaderSize + 4 || data[0] != 'B' || data[1] != 'M')
        invalid();
    const std::uint32_t pixelOffset = readU32le(data + 10);
    const std::uint32_t headerSize = readU32le(data + kFileHeaderSize);
    switch (headerSize) {
    case kCoreHeaderSize:
    case kInfoHeaderSize:
    case kV2HeaderSize:
    case kV3HeaderSize:
    case kOs2HeaderSize:
    case kV4HeaderSize:
    case kV5HeaderSize:
        break;
    default:
        invalid();
    }
    if (size - kFileHeaderSize < headerSize)
        invalid();
    const std::uint8_t* info = data + kFileHeaderSize;
    const bool core = headerSize == kCoreHeaderSize;

    std::int64_t width = 0, height = 0;
    unsigned planes = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t colorsUsed = 0;
    if (core) {
        width = readU16le(info + 4);
        height = readU16le(info + 6);
        planes = readU16le(info + 8);
        h.bits = readU16le(info + 10);
    } else {
        width = readS32le(info + 4);
        height = readS32le(info + 8);
        planes = readU16le(info + 12);
        h.bits = readU16le(info + 14);
        compression = readU32le(info + 16);
        colorsUsed = readU32le(info + 32);
    }

    // Dimensions.
    if (height < 0) {
        h.topDown = true;
        height = -height;
    }
    const bool empty = width == 0 && height == 0;
    if (!empty && (width < 1 || height < 1 || width > Picture::kMaxDimension || height > Picture::kMaxDimension))
        invalid();
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height);

    // Planes, bit depth, compression.
    if (planes != 1)
        invalid();
    switch (h.bits) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 24:
        break;
    case 16:
    case 32:
        if (core)
            invalid();
        break;
    default:
        invalid();
    }
    std::size_t maskBytesAfterHeader = 0;
    switch (compression) {
    case kBiRgb:
        h.compression = Compression::Rgb;
        break;
    case kBiRle8:
        if (h.bits != 8)
            invalid();
        h.compression = Compression::Rle8;
        break;
    case kBiRle4:
        if (h.bits != 4)
            invalid();
        h.compression = Compression::Rle4;
        break;
    case kBiBitfields:
    case kBiAlphaBitfields:
        // In the OS/2 2.x header these two values mean Huffman and RLE24.
        if (headerSize == kOs2HeaderSize || (h.bits != 16 && h.bits != 32))
            invalid();
        h.compression = Compression::Bitfields;
        if (headerSize == kInfoHeaderSize)
            maskBytesAfterHeader = compression == kBiAlphaBitfields ? 16 : 12;
        break;
    default:
        invalid();
    }
    if (h.topDown && (h.compression == Compression::Rle8 || h.compression == Compression::Rle4))
        invalid();

    // Colour masks.
    const std::size_t headersEnd = kFileHeaderSize + headerSize + maskBytesAfterHeader;
    if (headersEnd > size)
        invalid();
    if (h.compression == Compression::Bitfields) {
        const std::uint8_t* m = data + kFileHeaderSize + kInfoHeaderSize; // inside V2+ headers or just after
        h.masks = {readU32le(m), readU32le(m + 4), readU32le(m + 8)};
        const std::uint64_t limit = h.bits == 16 ? 0xFFFF : 0xFFFFFFFF;
        std::uint32_t seen = 0;
        for (std::uint32_t mask : h.masks) {
            if (mask > limit || !contiguous(mask) || (mask & seen) != 0)
                invalid();
            seen |= mask;
        }
        if (seen == 0)
            invalid();
    } else if (h.bits == 16) {
        h.masks = {0x7C00, 0x03E0, 0x001F};
    } else if (h.bits == 32) {
        h.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    }

    // Pixel data offset, then the palette that lies before it.
    if (pixelOffset < headersEnd || pixelOffset > size)
        invalid();
    h.pixelOffset = pixelOffset;
    if (paletted(h.bits)) {
        const std::size_t maxColors = std::size_t{1} << h.bits;
        const std::size_t declared = colorsUsed == 0 ? maxColors : colorsUsed;
        if (declared > maxColors)
            invalid();
        const std::size_t entrySize = core ? 3 : 4;
        const std::size_t count = std::min(declared, (pixelOffset - headersEnd) / entrySize);
        if (count == 0)
            invalid();
        const std::uint8_t* p = data + headersEnd;
        for (std::size_t i = 0; i < count; ++i, p += entrySize)
            h.palette[i] = Bgr{p[0], p[1], p[2]};
    }

    // Pixel data size. Dimensions are at most 2^17 and bits at most 32, so
    // none of these products comes near 64-bit overflow.
    const std::size_t available = size - pixelOffset;
    h.stride = (static_cast<std::size_t>(h.width) * h.bits + 31) / 32 * 4;
    const std::uint64_t pixels = std::uint64_t(h.width) * std::uint64_t(h.height);
    if (h.compression == Compression::Rle8 || h.compression == Compression::Rle4) {
        if (pixels > kRleFreePixels && available < (std::uint64_t{1} << 48) &&
            pixels - kRleFreePixels > kRlePixelsPerByte * available)
            invalid();
    } else if (std::uint64_t(h.stride) * std::uint64_t(h.height) > available) {
        invalid();
    }
    return h;
}

void decodePackedRow(const std::uint8_t* src, std::uint8_t* dst, int width, unsigned bits, const Palette& palette)
{
    const unsigned perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (int x = 0; x < width; ++x, dst += 3) {
        const unsigned slot = static_cast<unsigned>(x) % perByte;
        const unsigned index = (src[static_cast<unsigned>(x) / perByte] >> (8 - bits * (slot + 1))) & mask;
        const Bgr c = palette[index];
        dst[0] = c.b;
        dst[1] = c.g;
        dst[2] = c.r;
    }
}

void decodeUncompressed(const BmpHeader& h, const std::uint8_t* pixels, Picture& pic)
{
    const std::size_t rowBytes = static_cast<std::size_t>(h.width) * 3;
    const bool standard32 = h.bits == 32 && h.masks == std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
    MaskChannel red, green, blue;
    if ((h.bits == 16 || h.bits == 32) && !standard32) {
        red = MaskChannel(h.masks[0]);
        green = MaskChannel(h.masks[1]);
        blue = MaskChannel(h.masks[2]);
    }
    for (int y = 0; y < h.height; ++y) {
        const int fileRow = h.topDown ? y : h.height - 1 - y;
        const std::uint8_t* src = pixels + static_cast<std::size_t>(fileRow) * h.stride;
        std::uint8_t* dst = pic.row(y);
        switch (h.bits) {
        case 24:
            std::memcpy(dst, src, rowBytes);
            break;
        case 8:
            for (int x = 0; x < h.width; ++x, dst += 3) {
                const Bgr c = h.palette[src[x]];
                dst[0] = c.b;
                dst[1] = c.g;
                dst[2] = c.r;
            }
            break;
        case 16:
            for (int x = 0; x < h.width; ++x, dst += 3, src += 2) {
                const std::uint32_t v = readU16le(src);
                dst[0] = blue(v);
                dst[1] = green(v);
                dst[2] = red(v);
            }
            break;
        case 32:
            if (standard32) {
                for (int x = 0; x < h.width; ++x, dst += 3, src += 4) {
                    dst[0] = src[0];
                    dst[1] = src[1];
                    dst[2] = src[2];
                }
            } else {
                for (int x = 0; x < h.width; ++x, dst += 3, src += 4) {
                    const std::uint32_t v = readU32le(src);
                    dst[0] = blue(v);
                    dst[1] = green(v);
                    dst[2] = red(v);
                }
            }
            break;
        default:
            decodePackedRow(src, dst, h.width, h.bits, h.palette);
            break;
        }
    }
}

// Expects pic black. Rows count from the bottom of the picture here.
void decodeRle(const BmpHeader& h, const std::uint8_t* p, std::size_t n, Picture& pic)
{
    const bool rle4 = h.compression == Compression::Rle4;
    const int width = h.width, height = h.height;
    std::size_t i = 0;
    int x = 0, y = 0;
    auto target = [&](int count) {
        if (y >= height || count > width - x)
            invalid();
        return pic.row(height - 1 - y) + static_cast<std::size_t>(x) * 3;
    };
    auto put = [](std::uint8_t*& d, Bgr c) {
        d[0] = c.b;
        d[1] = c.g;
        d[2] = c.r;
        d += 3;
    };
    for (;;) {
        if (n - i < 2)
            invalid(); // the end-of-bitmap marker is missing
        const unsigned first = p[i], second = p[i + 1];
        i += 2;
        if (first > 0) { // a run of one index (RLE8) or two alternating ones (RLE4)
            std::uint8_t* d = target(static_cast<int>(first));
            const Bgr even = h.palette[rle4 ? second >> 4 : second];
            const Bgr odd = h.palette[rle4 ? second & 0xF : second];
            for (unsigned k = 0; k < first; ++k)
                put(d, (k & 1) ? odd : even);
            x += static_cast<int>(first);
        } else if (second == 0) { // end of line
            x = 0;
            if (++y > height)
                invalid();
        } else if (second == 1) { // end of bitmap
            return;
        } else if (second == 2) { // move right and up
            if (n - i < 2)
                invalid();
            x += p[i];
            y += p[i + 1];
            i += 2;
            if (x > width || y >= height)
                invalid();
        } else { // literal indices, padded to a 16-bit boundary
            const std::size_t bytes = rle4 ? (second + 1) / 2 : second;
            const std::size_t padded = (bytes + 1) & ~std::size_t{1};
            if (n - i < padded)
                invalid();
            std::uint8_t* d = target(static_cast<int>(second));
            for (unsigned k = 0; k < second; ++k) {
                unsigned index = rle4 ? (p[i + k / 2] >> ((k & 1) ? 0 : 4)) & 0xF : p[i + k];
                put(d, h.palette[index]);
            }
            x += static_cast<int>(second);
            i += padded;
        }
    }
}

} // namespace

void decodeBmp(const std::uint8_t* data, std::size_t size, Picture& target)
{
    DecodeBudget::Reservation reservation = sharedDecodeBudget().reserve(0);
    decodeBmp(data, size, target, reservation);
}

void decodeBmp(const std::uint8_t* data, std::size_t size, Picture& target, DecodeBudget::Reservation& reservation)
{
    const BmpHeader header = parseHeader(data, size);
    Picture pic;
    if (header.width > 0 && header.height > 0) {
        const std::uint64_t pictureBytes = std::uint64_t(header.width) * std::uint64_t(header.height) * 3;
        reservation.resize(reservation.bytes() + pictureBytes, 0, pictureOfSize(header.width, header.height));
        const std::uint8_t* pixels = data + header.pixelOffset;
        if (header.compression == Compression::Rle8 || header.compression == Compression::Rle4) {
            pic.resize(header.width, header.height); // skipped pixels stay black
            decodeRle(header, pixels, size - header.pixelOffset, pic);
        } else {
            pic.resizeUninitialized(header.width, header.height);
            decodeUncompressed(header, pixels, pic);
        }
    }
    target.swap(pic);
}

bool bmpCanHold(std::uint64_t width, std::uint64_t height)
{
    // The format stores the file size and the pixel data size in 32 bits;
    // checked one factor at a time so the product cannot overflow.
    constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFu;
    if (width > kMaxFileSize || height > kMaxFileSize)
        return false;
    const std::uint64_t stride = (width * 3 + 3) / 4 * 4;
    if (height != 0 && stride > (kMaxFileSize - kWrittenHeadersSize) / height)
        return false;
    return true;
}

void writeBmp(const Picture& picture, const ByteSink& sink)
{
    const std::uint64_t width = picture.empty() ? 0 : static_cast<std::uint64_t>(picture.width());
    const std::uint64_t height = picture.empty() ? 0 : static_cast<std::uint64_t>(picture.height());
    if (!bmpCanHold(width, height))
        throw Error("Picture is too large for a BMP file (" + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels)");

    const std::uint64_t stride = (width * 3 + 3) / 4 * 4;
    const std::uint64_t imageSize = stride * height;
    const std::uint64_t fileSize = kWrittenHeadersSize + imageSize;
    // Pieces of about kPieceSize bytes, whole rows each (a row alone may be
    // larger); row padding stays zero.
    constexpr std::size_t kPieceSize = std::size_t{1} << 20;
    const auto rowStride = static_cast<std::size_t>(stride);
    std::vector<std::uint8_t> piece(kWrittenHeadersSize + std::max(kPieceSize, rowStride), std::uint8_t{0});
    std::uint8_t* p = piece.data();
    p[0] = 'B';
    p[1] = 'M';
    putU32le(p + 2, static_cast<std::uint32_t>(fileSize));
    // bytes 6..9: two reserved words, zero
    putU32le(p + 10, static_cast<std::uint32_t>(kWrittenHeadersSize));
    std::uint8_t* info = p + kFileHeaderSize;
    putU32le(info + 0, kInfoHeaderSize);
    putU32le(info + 4, static_cast<std::uint32_t>(width));
    putU32le(info + 8, static_cast<std::uint32_t>(height)); // positive: rows bottom-up
    putU16le(info + 12, 1);                                  // planes
    putU16le(info + 14, 24);                                 // bits per pixel
    putU32le(info + 16, kBiRgb);
    putU32le(info + 20, static_cast<std::uint32_t>(imageSize));
    // Resolution (24, 28), colours used (32) and important (36) stay 0: the
    // working picture carries no resolution, and 0 is "unspecified".

    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    std::size_t used = kWrittenHeadersSize;
    for (std::uint64_t y = height; y-- > 0;) {
        if (used + rowStride > piece.size()) {
            sink(piece.data(), used);
            used = 0;
        }
        std::memcpy(piece.data() + used, picture.row(static_cast<int>(y)), rowBytes);
        std::memset(piece.data() + used + rowBytes, 0, rowStride - rowBytes);
        used += rowStride;
    }
    sink(piece.data(), used);
}

Bytes encodeBmp(const Picture& picture)
{
    Bytes out;
    writeBmp(picture, [&out](const std::uint8_t* data, std::size_t size) { out.insert(out.end(), data, data + size); });
    return out;
}

void saveBmp(const Picture& picture, const std::string& path)
{
    writeFileAtomicStreamed(path, [&](const ByteSink& write) { writeBmp(picture, write); });
}

} // namespace tw
