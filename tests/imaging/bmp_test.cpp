#include "imaging/bmp.h"

#include "platform/errors.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tw {
namespace {

const char* const kInvalid = "Bitmap image is not valid";

void putU16(Bytes& b, std::size_t at, std::uint32_t v)
{
    b.at(at) = static_cast<std::uint8_t>(v & 0xFF);
    b.at(at + 1) = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void putU32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

std::uint32_t getU32(const Bytes& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

// Builds BMP files field by field, so every variant and every broken field
// can be produced without checked-in samples.
struct BmpBuilder {
    std::uint32_t headerSize = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t planes = 1;
    std::uint32_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> masks; // inside the header from 52 bytes on, after it for 40
    std::vector<Bgr> palette;
    Bytes pixels;
    std::int64_t offsetOverride = -1;

    std::size_t pixelOffset() const
    {
        std::size_t masksAfter = headerSize == 40 ? masks.size() * 4 : 0;
        return 14 + headerSize + masksAfter + palette.size() * (headerSize == 12 ? 3 : 4);
    }

    Bytes build() const
    {
        const std::size_t offset = pixelOffset();
        Bytes b(offset + pixels.size(), 0);
        b[0] = 'B';
        b[1] = 'M';
        putU32(b, 2, static_cast<std::uint32_t>(b.size()));
        putU32(b, 10, offsetOverride >= 0 ? static_cast<std::uint32_t>(offsetOverride) : static_cast<std::uint32_t>(offset));
        putU32(b, 14, headerSize);
        std::size_t p = 14 + headerSize;
        if (headerSize == 12) {
            putU16(b, 18, static_cast<std::uint32_t>(width));
            putU16(b, 20, static_cast<std::uint32_t>(height));
            putU16(b, 22, planes);
            putU16(b, 24, bits);
        } else {
            putU32(b, 18, static_cast<std::uint32_t>(width));
            putU32(b, 22, static_cast<std::uint32_t>(height));
            putU16(b, 26, planes);
            putU16(b, 28, bits);
            putU32(b, 30, compression);
            putU32(b, 34, static_cast<std::uint32_t>(pixels.size()));
            putU32(b, 46, colorsUsed);
            std::size_t m = 54;
            for (std::uint32_t mask : masks) {
                putU32(b, m, mask);
                m += 4;
            }
            if (headerSize == 40)
                p = m;
        }
        for (const Bgr& c : palette) {
            b[p] = c.b;
            b[p + 1] = c.g;
            b[p + 2] = c.r;
            p += headerSize == 12 ? 3 : 4;
        }
        std::copy(pixels.begin(), pixels.end(), b.begin() + static_cast<std::ptrdiff_t>(offset));
        return b;
    }
};

// Packs rows of values (palette indices or raw pixel words) at the given
// depth, each row padded to 4 bytes. rows[0] is the top row; the result is
// bottom-up unless topDown.
Bytes packRows(const std::vector<std::vector<std::uint32_t>>& rows, unsigned bits, bool topDown = false)
{
    const std::size_t width = rows.empty() ? 0 : rows[0].size();
    const std::size_t stride = (width * bits + 31) / 32 * 4;
    Bytes out(stride * rows.size(), 0);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::size_t fileRow = topDown ? r : rows.size() - 1 - r;
        std::uint8_t* row = out.data() + fileRow * stride;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t v = rows[r][x];
            if (bits < 8) {
                const std::size_t bit = x * bits;
                row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - bits - bit % 8));
            } else {
                for (unsigned k = 0; k < bits / 8; ++k)
                    row[x * (bits / 8) + k] = static_cast<std::uint8_t>((v >> (8 * k)) & 0xFF);
            }
        }
    }
    return out;
}

Picture pictureFrom(const std::vector<std::vector<Bgr>>& rows)
{
    Picture p(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            p.setPixel(x, y, rows[y][x]);
    return p;
}

Picture decode(const Bytes& b)
{
    Picture p;
    decodeBmp(b.data(), b.size(), p);
    return p;
}

// A picture whose every pixel differs from its neighbours.
Picture patternPicture(int w, int h)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y, Bgr{std::uint8_t(x * 37 + y * 11), std::uint8_t(x * 5 + y * 91 + 3), std::uint8_t(x * y + 200)});
    return p;
}

// The decode must fail with exactly our message and leave the target as it was.
::testing::AssertionResult failsCleanly(const std::uint8_t* data, std::size_t size)
{
    Picture target = patternPicture(3, 2);
    const Picture before = target;
    try {
        decodeBmp(data, size, target);
    } catch (const Error& e) {
        if (std::string(e.what()) != kInvalid)
            return ::testing::AssertionFailure() << "wrong message: " << e.what();
        if (!(target == before))
            return ::testing::AssertionFailure() << "target changed by a failed decode";
        return ::testing::AssertionSuccess();
    } catch (const std::exception& e) {
        return ::testing::AssertionFailure() << "unexpected exception: " << e.what();
    }
    return ::testing::AssertionFailure() << "decoded " << target.width() << "x" << target.height()
                                         << " without error";
}

::testing::AssertionResult failsCleanly(const Bytes& b)
{
    return failsCleanly(b.data(), b.size());
}

const std::vector<Bgr> kFourColours = {Bgr{10, 20, 30}, Bgr{40, 50, 60}, Bgr{70, 80, 90}, Bgr{100, 110, 120}};

// --- Writer -----------------------------------------------------------------

TEST(EncodeBmp, RoundTripKeepsEveryPixelForPaddedWidths)
{
    for (Size s : {Size{1, 1}, Size{2, 1}, Size{3, 2}, Size{5, 3}, Size{4, 4}, Size{7, 5}, Size{1, 6}}) {
        SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
        const Picture original = patternPicture(s.width, s.height);
        const Bytes file = encodeBmp(original);
        EXPECT_TRUE(test::samePicture(decode(file), original));
    }
}

TEST(EncodeBmp, HeaderFieldsAndZeroPaddingAreExact)
{
    const Picture original = patternPicture(5, 3); // 15 bytes per row -> stride 16
    const Bytes b = encodeBmp(original);
    ASSERT_EQ(b.size(), 54u + 16u * 3u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(getU32(b, 2), b.size());
    EXPECT_EQ(getU32(b, 6), 0u);
    EXPECT_EQ(getU32(b, 10), 54u);
    EXPECT_EQ(getU32(b, 14), 40u);
    EXPECT_EQ(getU32(b, 18), 5u);
    EXPECT_EQ(getU32(b, 22), 3u); // positive: bottom-up
    EXPECT_EQ(b[26] | (b[27] << 8), 1);
    EXPECT_EQ(b[28] | (b[29] << 8), 24);
    EXPECT_EQ(getU32(b, 30), 0u);
    EXPECT_EQ(getU32(b, 34), 48u);
    for (std::size_t at = 38; at < 54; at += 4)
        EXPECT_EQ(getU32(b, at), 0u) << "at " << at;
    for (int fileRow = 0; fileRow < 3; ++fileRow) {
        const std::uint8_t* row = b.data() + 54 + fileRow * 16;
        EXPECT_EQ(row[15], 0) << "padding of file row " << fileRow;
        // The first file row is the bottom picture row.
        EXPECT_EQ(std::memcmp(row, original.row(2 - fileRow), 15), 0) << "file row " << fileRow;
    }
}

TEST(EncodeBmp, EmptyPictureIsA54ByteFileThatDecodesEmpty)
{
    const Bytes b = encodeBmp(Picture());
    ASSERT_EQ(b.size(), 54u);
    EXPECT_EQ(getU32(b, 2), 54u);
    EXPECT_EQ(getU32(b, 18), 0u);
    EXPECT_EQ(getU32(b, 22), 0u);
    Picture target = patternPicture(4, 4);
    decodeBmp(b.data(), b.size(), target);
    EXPECT_TRUE(target.empty());
    EXPECT_EQ(target.width(), 0);
    EXPECT_EQ(target.height(), 0);
}

TEST(SaveBmp, WritesTheEncodedFile)
{
    const auto dir = test::scratchDir("bmp_save");
    const std::string path = (dir / "out.bmp").string();
    const Picture original = patternPicture(3, 3);
    saveBmp(original, path);
    const Bytes b = readWholeFile(path);
    EXPECT_EQ(b, encodeBmp(original));
    EXPECT_TRUE(test::samePicture(decode(b), original));
}

TEST(SaveBmp, UncreatableFileReportsCannotCreateAndKeepsNothing)
{
    const auto dir = test::scratchDir("bmp_save_fail");
    const std::string path = (dir / "missing-folder" / "out.bmp").string();
    try {
        saveBmp(patternPicture(2, 2), path);
        FAIL() << "saving into a missing folder succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file", 0), 0u) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

// A picture whose pixel bytes all differ along a row (so a misplaced row
// or piece shows).
Picture stripes(int w, int h)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y, Bgr{std::uint8_t(x * 7 + y), std::uint8_t(x >> 3), std::uint8_t(y * 29 + (x >> 8))});
    return p;
}

TEST(WriteBmp, PiecesMakeTheEncodedFileAndStayNearAMegabyte)
{
    struct Row {
        int w, h;
        std::size_t pieces;  // how many pieces the file comes in
    };
    // Pieces of 1 MB hold whole rows: the first after the 54 header bytes
    // takes 349 rows of 3000 bytes, the next ones 349 as well; rows of the
    // widest picture (393216 bytes) go two to a piece.
    const Row rows[] = {{0, 0, 1},      {1, 1, 1},       {5, 3, 1},         {1000, 349, 1},
                        {1000, 350, 2}, {1000, 1000, 3}, {131072, 3, 2},    {131072, 8, 4}};
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.w) + "x" + std::to_string(r.h));
        const Picture picture = stripes(r.w, r.h);
        const std::uint64_t stride = (std::uint64_t(r.w) * 3 + 3) / 4 * 4;
        Bytes joined;
        std::vector<std::size_t> sizes;
        writeBmp(picture, [&](const std::uint8_t* data, std::size_t size) {
            sizes.push_back(size);
            joined.insert(joined.end(), data, data + size);
        });
        EXPECT_EQ(joined, encodeBmp(picture));
        EXPECT_EQ(joined.size(), 54 + stride * std::uint64_t(r.h));
        EXPECT_EQ(sizes.size(), r.pieces);
        for (std::size_t size : sizes)
            EXPECT_LE(size, 54 + (std::size_t{1} << 20));
        if (r.h > 0) {
            EXPECT_TRUE(test::samePicture(decode(joined), picture));
        }
    }
}

TEST(SaveBmp, FailureWhileStreamingKeepsTheOldFileAndNoTemporary)
{
    // A file size limit makes the writes fail after the first pieces.
    const auto dir = test::scratchDir("bmp_save_midway");
    const std::string path = (dir / "out.bmp").string();
    saveBmp(patternPicture(2, 2), path);
    const Bytes old = readWholeFile(path);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = 3u << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    std::string message;
    try {
        saveBmp(stripes(1500, 1000), path);
    } catch (const Error& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, "Cannot create file \"" + path + "\". File too large");
    EXPECT_EQ(readWholeFile(path), old);
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir))
        ++files;
    EXPECT_EQ(files, 1);
}

// --- Reader: variants -------------------------------------------------------

TEST(DecodeBmp, PaletteDepthsExpandThroughThePalette)
{
    const std::vector<std::vector<std::uint32_t>> indices = {{0, 1, 2, 3, 1}, {3, 3, 0, 2, 1}, {2, 0, 1, 1, 3}};
    std::vector<std::vector<Bgr>> expected;
    for (const auto& row : indices) {
        expected.emplace_back();
        for (std::uint32_t i : row)
            expected.back().push_back(kFourColours[i]);
    }
    for (unsigned bits : {2u, 4u, 8u}) {
        SCOPED_TRACE("bits " + std::to_string(bits));
        BmpBuilder bb;
        bb.width = 5;
        bb.height = 3;
        bb.bits = bits;
        bb.palette = kFourColours;
        bb.colorsUsed = 4;
        bb.pixels = packRows(indices, bits);
        EXPECT_TRUE(test::samePicture(decode(bb.build()), pictureFrom(expected)));
    }
}

TEST(DecodeBmp, OneBitPictureUsesBothPaletteEntriesAcrossByteBoundaries)
{
    std::vector<std::vector<std::uint32_t>> indices(2, std::vector<std::uint32_t>(11));
    std::vector<std::vector<Bgr>> expected(2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 11; ++x) {
            indices[y][x] = (x * 3 + y) % 2;
            expected[y].push_back(kFourColours[indices[y][x]]);
        }
    BmpBuilder bb;
    bb.width = 11;
    bb.height = 2;
    bb.bits = 1;
    bb.palette = {kFourColours[0], kFourColours[1]};
    bb.pixels = packRows(indices, 1);
    EXPECT_TRUE(test::samePicture(decode(bb.build()), pictureFrom(expected)));
}

TEST(DecodeBmp, GreyPaletteGivesEqualBytes)
{
    BmpBuilder bb;
    bb.width = 16;
    bb.height = 16;
    bb.bits = 8;
    for (int i = 0; i < 256; ++i)
        bb.palette.push_back(Bgr{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
    std::vector<std::vector<std::uint32_t>> rows(16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            rows[y].push_back(static_cast<std::uint32_t>(y * 16 + x));
    bb.pixels = packRows(rows, 8);
    const Picture p = decode(bb.build());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const Bgr c = p.pixel(x, y);
            ASSERT_EQ(c, (Bgr{std::uint8_t(y * 16 + x), std::uint8_t(y * 16 + x), std::uint8_t(y * 16 + x)}))
                << "at " << x << ", " << y;
        }
}

TEST(DecodeBmp, IndexBeyondThePaletteGivesBlackWithoutReadingPastIt)
{
    BmpBuilder bb;
    bb.width = 4;
    bb.height = 1;
    bb.bits = 8;
    bb.colorsUsed = 2;
    bb.palette = {kFourColours[1], kFourColours[2]};
    bb.pixels = packRows({{0, 1, 2, 255}}, 8);
    const Picture expected = pictureFrom({{kFourColours[1], kFourColours[2], Bgr{}, Bgr{}}});
    EXPECT_TRUE(test::samePicture(decode(bb.build()), expected));
}

TEST(DecodeBmp, PaletteShorterThanDeclaredReadsOnlyWhatPrecedesThePixels)
{
    // Two entries present, none declared (2^8 implied): the pixel data
    // follows directly, and must not be taken for palette colours.
    BmpBuilder bb;
    bb.width = 3;
    bb.height = 1;
    bb.bits = 8;
    bb.palette = {kFourColours[3], kFourColours[0]};
    bb.pixels = packRows({{1, 0, 7}}, 8);
    const Picture expected = pictureFrom({{kFourColours[0], kFourColours[3], Bgr{}}});
    EXPECT_TRUE(test::samePicture(decode(bb.build()), expected));
}

TEST(DecodeBmp, TwentyFourBitMatchesTheBytes)
{
    const Picture original = patternPicture(3, 4);
    std::vector<std::vector<std::uint32_t>> rows(4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x) {
            const Bgr c = original.pixel(x, y);
            rows[y].push_back(c.b | (c.g << 8) | (c.r << 16));
        }
    BmpBuilder bb;
    bb.width = 3;
    bb.height = 4;
    bb.bits = 24;
    bb.pixels = packRows(rows, 24);
    EXPECT_TRUE(test::samePicture(decode(bb.build()), original));
}

TEST(DecodeBmp, ThirtyTwoBitDropsAlpha)
{
    BmpBuilder bb;
    bb.width = 2;
    bb.height = 1;
    bb.bits = 32;
    bb.pixels = packRows({{0xFF112233, 0x80445566}}, 32);
    EXPECT_TRUE(test::samePicture(decode(bb.build()), pictureFrom({{Bgr{0x33, 0x22, 0x11}, Bgr{0x66, 0x55, 0x44}}})));
}

TEST(DecodeBmp, SixteenBitDefaultsToFiveFiveFive)
{
    // 5-bit values scale as v * 255 / 31 rounded: 31 -> 255, 16 -> 132, 1 -> 8.
    BmpBuilder bb;
    bb.width = 3;
    bb.height = 1;
    bb.bits = 16;
    bb.pixels = packRows({{(31u << 10) | (16u << 5) | 1u, 0x7FFF, 0x8000}}, 16);
    const Picture expected = pictureFrom({{Bgr{8, 132, 255}, Bgr{255, 255, 255}, Bgr{0, 0, 0}}});
    EXPECT_TRUE(test::samePicture(decode(bb.build()), expected));
}

TEST(DecodeBmp, BitfieldMasksFiveSixFiveScaleExactly)
{
    BmpBuilder bb;
    bb.width = 4;
    bb.height = 1;
    bb.bits = 16;
    bb.compression = 3;
    bb.masks = {0xF800, 0x07E0, 0x001F};
    // green 6 bits: 63 -> 255, 32 -> 130 (8160 + 31) / 63, 1 -> 4.
    bb.pixels = packRows({{0xFFFF, (16u << 11) | (32u << 5) | 31u, 1u << 5, 0}}, 16);
    const Picture expected =
        pictureFrom({{Bgr{255, 255, 255}, Bgr{255, 130, 132}, Bgr{0, 4, 0}, Bgr{0, 0, 0}}});
    EXPECT_TRUE(test::samePicture(decode(bb.build()), expected));
}

TEST(DecodeBmp, BitfieldMasksTenTenTenScaleExactly)
{
    BmpBuilder bb;
    bb.width = 3;
    bb.height = 1;
    bb.bits = 32;
    bb.compression = 3;
    bb.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    // 10 bits: 1023 -> 255, 512 -> 128, 2 -> 0 (510 + 511) / 1023 = 0, 3 -> 1.
    bb.pixels = packRows({{0xFFFFFFFF, (512u << 20) | (2u << 10) | 3u, 0xC0000000}}, 32);
    const Picture expected = pictureFrom({{Bgr{255, 255, 255}, Bgr{1, 0, 128}, Bgr{0, 0, 0}}});
    EXPECT_TRUE(test::samePicture(decode(bb.build()), expected));
}

TEST(DecodeBmp, AlphaBitfieldsIgnoreTheAlphaMask)
{
    BmpBuilder bb;
    bb.width = 2;
    bb.height = 1;
    bb.bits = 16;
    bb.compression = 6;
    bb.masks = {0x0F00, 0x00F0, 0x000F, 0xF000}; // 4-4-4-4
    bb.pixels = packRows({{0xF0F0, 0x0F85}}, 16);
    const Picture expected = pictureFrom({{Bgr{0, 255, 0}, Bgr{85, 136, 255}}});
    EXPECT_TRUE(test::samePicture(decode(bb.build()), expected));
}

TEST(DecodeBmp, MasksInsideLongerHeadersAreUsed)
{
    for (std::uint32_t headerSize : {52u, 56u, 108u, 124u}) {
        SCOPED_TRACE("header " + std::to_string(headerSize));
        BmpBuilder bb;
        bb.headerSize = headerSize;
        bb.width = 1;
        bb.height = 1;
        bb.bits = 32;
        bb.compression = 3;
        bb.masks = {0x000000FF, 0x0000FF00, 0x00FF0000}; // red in the low byte
        bb.pixels = packRows({{0x00332211}}, 32);
        EXPECT_TRUE(test::samePicture(decode(bb.build()), pictureFrom({{Bgr{0x33, 0x22, 0x11}}})));
    }
}

TEST(DecodeBmp, EveryInformationHeaderSizeGivesTheSamePicture)
{
    const std::vector<std::vector<std::uint32_t>> indices = {{0, 1, 2}, {3, 2, 1}};
    for (std::uint32_t headerSize : {40u, 52u, 56u, 64u, 108u, 124u}) {
        SCOPED_TRACE("header " + std::to_string(headerSize));
        BmpBuilder bb;
        bb.headerSize = headerSize;
        bb.width = 3;
        bb.height = 2;
        bb.bits = 4;
        bb.colorsUsed = 4;
        bb.palette = kFourColours;
        bb.pixels = packRows(indices, 4);
        EXPECT_TRUE(test::samePicture(
            decode(bb.build()), pictureFrom({{kFourColours[0], kFourColours[1], kFourColours[2]},
                                             {kFourColours[3], kFourColours[2], kFourColours[1]}})));
    }
}

TEST(DecodeBmp, Os2CoreHeaderWithThreeBytePalette)
{
    BmpBuilder bb;
    bb.headerSize = 12;
    bb.width = 3;
    bb.height = 2;
    bb.bits = 8;
    bb.palette = kFourColours; // fewer than 256: the pixel offset ends it
    bb.pixels = packRows({{0, 1, 2}, {3, 0, 1}}, 8);
    EXPECT_TRUE(test::samePicture(
        decode(bb.build()), pictureFrom({{kFourColours[0], kFourColours[1], kFourColours[2]},
                                         {kFourColours[3], kFourColours[0], kFourColours[1]}})));

    BmpBuilder rgb;
    rgb.headerSize = 12;
    rgb.width = 2;
    rgb.height = 1;
    rgb.bits = 24;
    rgb.pixels = packRows({{0x010203, 0x040506}}, 24);
    EXPECT_TRUE(test::samePicture(decode(rgb.build()), pictureFrom({{Bgr{3, 2, 1}, Bgr{6, 5, 4}}})));
}

TEST(DecodeBmp, TopDownEqualsBottomUpForEveryDepth)
{
    struct Case {
        unsigned bits;
        std::uint32_t modulo;
    };
    for (Case c : {Case{1, 2}, Case{2, 4}, Case{4, 4}, Case{8, 4}, Case{16, 0x10000}, Case{24, 0x1000000},
                   Case{32, 0xFFFFFFFF}}) {
        SCOPED_TRACE("bits " + std::to_string(c.bits));
        std::vector<std::vector<std::uint32_t>> rows(5, std::vector<std::uint32_t>(3));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 3; ++x)
                rows[y][x] = static_cast<std::uint32_t>((y * 7919u + x * 104729u + 17u) % c.modulo);
        BmpBuilder up;
        up.width = 3;
        up.height = 5;
        up.bits = c.bits;
        if (c.bits <= 8)
            up.palette = kFourColours;
        up.pixels = packRows(rows, c.bits);
        BmpBuilder down = up;
        down.height = -5;
        down.pixels = packRows(rows, c.bits, true);
        const Picture a = decode(up.build());
        const Picture b = decode(down.build());
        EXPECT_EQ(a.width(), 3);
        EXPECT_EQ(a.height(), 5);
        EXPECT_TRUE(test::samePicture(a, b));
    }
}

// --- Reader: RLE ------------------------------------------------------------

BmpBuilder rleBuilder(unsigned bits, int width, int height, Bytes stream)
{
    BmpBuilder bb;
    bb.width = width;
    bb.height = height;
    bb.bits = bits;
    bb.compression = bits == 8 ? 1 : 2;
    bb.palette = kFourColours;
    bb.colorsUsed = 4;
    bb.pixels = std::move(stream);
    return bb;
}

TEST(DecodeBmpRle, Rle8RunsLiteralsDeltaAndEndOfLine)
{
    // Bottom row: run of 2 x index 1, literal 3 (odd: padded), end of line.
    // Middle row: delta right 2 and up 0, run of 1 x index 3, end of line.
    // Top row: left untouched, end of bitmap.
    const Bytes stream = {2, 1, 0, 3, 2, 0, 3, 0, 0, 0, 0, 2, 2, 0, 1, 3, 0, 0, 0, 1};
    const Bgr k = Bgr{}; // skipped pixels are black, not palette colour 0
    const Picture expected = pictureFrom({{k, k, k, k, k},
                                          {k, k, kFourColours[3], k, k},
                                          {kFourColours[1], kFourColours[1], kFourColours[2], kFourColours[0],
                                           kFourColours[3]}});
    EXPECT_TRUE(test::samePicture(decode(rleBuilder(8, 5, 3, stream).build()), expected));
}

TEST(DecodeBmpRle, Rle8DeltaAcrossRowsKeepsColumn)
{
    // Delta (1, 1) from the bottom-left lands on column 1 of the next row up.
    const Bytes stream = {0, 2, 1, 1, 2, 2, 0, 1};
    const Bgr k = Bgr{};
    const Picture expected = pictureFrom({{k, kFourColours[2], kFourColours[2]}, {k, k, k}});
    EXPECT_TRUE(test::samePicture(decode(rleBuilder(8, 3, 2, stream).build()), expected));
}

TEST(DecodeBmpRle, Rle4AlternatesNibblesInRunsAndLiterals)
{
    // Bottom row: run of 3 alternating 1,2; literal of 3 nibbles 3,0,2
    // (2 bytes, already even); end of line. Top row: delta 4, run of 2 x 3;
    // end of bitmap.
    const Bytes stream = {3, 0x12, 0, 3, 0x30, 0x20, 0, 0, 0, 2, 4, 0, 2, 0x33, 0, 1};
    const Bgr k = Bgr{};
    const auto& c = kFourColours;
    const Picture expected = pictureFrom({{k, k, k, k, c[3], c[3]}, {c[1], c[2], c[1], c[3], c[0], c[2]}});
    EXPECT_TRUE(test::samePicture(decode(rleBuilder(4, 6, 2, stream).build()), expected));
}

TEST(DecodeBmpRle, Rle4OddLiteralIsPaddedToAWord)
{
    // Literal of 5 nibbles = 3 bytes, padded to 4; then a run follows.
    const Bytes stream = {0, 5, 0x01, 0x23, 0x10, 0xEE, 1, 0x22, 0, 1};
    const auto& c = kFourColours;
    const Picture expected = pictureFrom({{c[0], c[1], c[2], c[3], c[1], c[2]}});
    EXPECT_TRUE(test::samePicture(decode(rleBuilder(4, 6, 1, stream).build()), expected));
}

TEST(DecodeBmpRle, EndOfLineAfterTheLastRowIsAccepted)
{
    const Bytes stream = {2, 1, 0, 0, 2, 2, 0, 0, 0, 1};
    const auto& c = kFourColours;
    EXPECT_TRUE(test::samePicture(decode(rleBuilder(8, 2, 2, stream).build()), pictureFrom({{c[2], c[2]}, {c[1], c[1]}})));
}

// --- Reader: hostile input --------------------------------------------------

BmpBuilder validPalette8()
{
    BmpBuilder bb;
    bb.width = 3;
    bb.height = 2;
    bb.bits = 8;
    bb.colorsUsed = 4;
    bb.palette = kFourColours;
    bb.pixels = packRows({{0, 1, 2}, {3, 2, 1}}, 8);
    return bb;
}

BmpBuilder valid24()
{
    BmpBuilder bb;
    bb.width = 3;
    bb.height = 2;
    bb.bits = 24;
    bb.pixels = packRows({{1, 2, 3}, {4, 5, 6}}, 24);
    return bb;
}

BmpBuilder validBitfields()
{
    BmpBuilder bb;
    bb.width = 2;
    bb.height = 2;
    bb.bits = 16;
    bb.compression = 3;
    bb.masks = {0xF800, 0x07E0, 0x001F};
    bb.pixels = packRows({{1, 2}, {3, 4}}, 16);
    return bb;
}

struct HostileCase {
    const char* name;
    std::function<Bytes()> make;
};

Bytes with(BmpBuilder bb, const std::function<void(BmpBuilder&)>& change)
{
    change(bb);
    return bb.build();
}

Bytes patched(Bytes b, std::size_t at, std::uint32_t value)
{
    putU32(b, at, value);
    return b;
}

const std::vector<HostileCase>& hostileCases()
{
    static const std::vector<HostileCase> cases = {
        {"empty", [] { return Bytes{}; }},
        {"magic only", [] { return Bytes{'B', 'M'}; }},
        {"bad magic BA", [] { auto b = validPalette8().build(); b[1] = 'A'; return b; }},
        {"bad magic MB", [] { auto b = validPalette8().build(); std::swap(b[0], b[1]); return b; }},
        {"header size 0", [] { return patched(valid24().build(), 14, 0); }},
        {"header size 16", [] { return patched(valid24().build(), 14, 16); }},
        {"header size 41", [] { return patched(valid24().build(), 14, 41); }},
        {"header size larger than file", [] { return patched(valid24().build(), 14, 124); }},
        {"header size huge", [] { return patched(valid24().build(), 14, 0xFFFFFFFF); }},
        {"width zero", [] { return with(valid24(), [](BmpBuilder& b) { b.width = 0; }); }},
        {"height zero", [] { return with(valid24(), [](BmpBuilder& b) { b.height = 0; }); }},
        {"width negative", [] { return with(valid24(), [](BmpBuilder& b) { b.width = -3; }); }},
        {"width huge", [] { return with(valid24(), [](BmpBuilder& b) { b.width = 0x7FFFFFFF; }); }},
        {"width just over limit", [] { return with(valid24(), [](BmpBuilder& b) { b.width = Picture::kMaxDimension + 1; }); }},
        {"height most negative", [] { return with(valid24(), [](BmpBuilder& b) { b.height = INT32_MIN; }); }},
        {"height just over limit top-down",
         [] { return with(valid24(), [](BmpBuilder& b) { b.height = -(Picture::kMaxDimension + 1); }); }},
        {"huge picture tiny file",
         [] { return with(valid24(), [](BmpBuilder& b) { b.width = b.height = Picture::kMaxDimension; }); }},
        {"core header zero height", [] { return with(valid24(), [](BmpBuilder& b) { b.headerSize = 12; b.height = 0; }); }},
        {"planes 0", [] { return with(valid24(), [](BmpBuilder& b) { b.planes = 0; }); }},
        {"planes 2", [] { return with(valid24(), [](BmpBuilder& b) { b.planes = 2; }); }},
        {"bits 0", [] { return with(valid24(), [](BmpBuilder& b) { b.bits = 0; }); }},
        {"bits 3", [] { return with(valid24(), [](BmpBuilder& b) { b.bits = 3; }); }},
        {"bits 64", [] { return with(valid24(), [](BmpBuilder& b) { b.bits = 64; }); }},
        {"core header 32 bits", [] { return with(valid24(), [](BmpBuilder& b) { b.headerSize = 12; b.bits = 32; }); }},
        {"compression JPEG", [] { return with(valid24(), [](BmpBuilder& b) { b.compression = 4; }); }},
        {"compression PNG", [] { return with(valid24(), [](BmpBuilder& b) { b.compression = 5; }); }},
        {"compression unknown", [] { return with(valid24(), [](BmpBuilder& b) { b.compression = 0x7FFFFFFF; }); }},
        {"RLE8 on 24 bits", [] { return with(valid24(), [](BmpBuilder& b) { b.compression = 1; }); }},
        {"RLE4 on 8 bits", [] { return with(validPalette8(), [](BmpBuilder& b) { b.compression = 2; }); }},
        {"bitfields on 24 bits",
         [] { return with(valid24(), [](BmpBuilder& b) { b.compression = 3; b.masks = {0xFF0000, 0xFF00, 0xFF}; }); }},
        {"bitfields on 8 bits",
         [] { return with(validPalette8(), [](BmpBuilder& b) { b.compression = 3; b.masks = {0xE0, 0x1C, 0x03}; }); }},
        {"OS/2 2.x Huffman", [] { return with(validBitfields(), [](BmpBuilder& b) { b.headerSize = 64; }); }},
        {"mask wider than 16 bits", [] { return with(validBitfields(), [](BmpBuilder& b) { b.masks[0] = 0x1F800; }); }},
        {"mask not contiguous", [] { return with(validBitfields(), [](BmpBuilder& b) { b.masks[1] = 0x0660; }); }},
        {"masks overlap", [] { return with(validBitfields(), [](BmpBuilder& b) { b.masks[1] = 0x0FE0; }); }},
        {"masks all zero", [] { return with(validBitfields(), [](BmpBuilder& b) { b.masks = {0, 0, 0}; }); }},
        {"masks cut off", [] { auto b = validBitfields().build(); b.resize(14 + 40 + 6); return patched(b, 10, 54); }},
        {"pixel offset beyond end", [] { return with(valid24(), [](BmpBuilder& b) { b.offsetOverride = 0x10000; }); }},
        {"pixel offset one past end",
         [] { return with(valid24(), [](BmpBuilder& b) { b.offsetOverride = static_cast<std::int64_t>(b.pixelOffset() + b.pixels.size() + 1); }); }},
        {"pixel offset zero", [] { return with(valid24(), [](BmpBuilder& b) { b.offsetOverride = 0; }); }},
        {"pixel offset inside header", [] { return with(valid24(), [](BmpBuilder& b) { b.offsetOverride = 30; }); }},
        {"pixel offset huge", [] { return with(valid24(), [](BmpBuilder& b) { b.offsetOverride = 0xFFFFFFFF; }); }},
        {"pixel data one byte short", [] { auto b = valid24().build(); b.pop_back(); return b; }},
        {"pixel offset leaves too little data",
         [] { return with(valid24(), [](BmpBuilder& b) { b.offsetOverride = static_cast<std::int64_t>(b.pixelOffset() + 1); }); }},
        {"palette count huge", [] { return with(validPalette8(), [](BmpBuilder& b) { b.colorsUsed = 0xFFFFFFFF; }); }},
        {"palette count 257", [] { return with(validPalette8(), [](BmpBuilder& b) { b.colorsUsed = 257; }); }},
        {"palette count 3 on 1 bit",
         [] { return with(validPalette8(), [](BmpBuilder& b) { b.bits = 1; b.colorsUsed = 3; b.pixels.assign(8, 0); }); }},
        {"no room for any palette entry",
         [] { return with(validPalette8(), [](BmpBuilder& b) { b.palette.clear(); }); }},
        {"top-down RLE8",
         [] { return with(rleBuilder(8, 2, 2, {0, 1}), [](BmpBuilder& b) { b.height = -2; }); }},
        {"RLE8 run past row end", [] { return rleBuilder(8, 3, 2, {4, 1, 0, 1}).build(); }},
        {"RLE8 run continues past row end", [] { return rleBuilder(8, 3, 2, {2, 1, 2, 1, 0, 1}).build(); }},
        {"RLE8 run past picture end", [] { return rleBuilder(8, 2, 1, {0, 0, 1, 1, 0, 1}).build(); }},
        {"RLE8 end of line past picture end", [] { return rleBuilder(8, 2, 1, {0, 0, 0, 0, 0, 1}).build(); }},
        {"RLE8 literal past row end", [] { return rleBuilder(8, 3, 1, {0, 4, 1, 1, 1, 1, 0, 1}).build(); }},
        {"RLE8 literal cut off", [] { return rleBuilder(8, 8, 1, {0, 5, 1, 1}).build(); }},
        {"RLE8 literal padding missing", [] { return rleBuilder(8, 8, 1, {0, 3, 1, 1, 1}).build(); }},
        {"RLE8 delta past right edge", [] { return rleBuilder(8, 3, 2, {0, 2, 4, 0, 0, 1}).build(); }},
        {"RLE8 delta past top", [] { return rleBuilder(8, 3, 2, {0, 2, 0, 2, 0, 1}).build(); }},
        {"RLE8 delta cut off", [] { return rleBuilder(8, 3, 2, {0, 2, 1}).build(); }},
        {"RLE8 without end marker", [] { return rleBuilder(8, 2, 1, {2, 1, 0, 0}).build(); }},
        {"RLE8 without any data", [] { return rleBuilder(8, 2, 1, {}).build(); }},
        {"RLE8 odd trailing byte", [] { return rleBuilder(8, 2, 1, {2, 1, 0}).build(); }},
        {"RLE4 run past row end", [] { return rleBuilder(4, 3, 1, {4, 0x12, 0, 1}).build(); }},
        {"RLE4 literal past row end", [] { return rleBuilder(4, 3, 1, {0, 4, 0x12, 0x12, 0, 1}).build(); }},
        {"RLE4 literal padding missing", [] { return rleBuilder(4, 8, 1, {0, 5, 0x12, 0x12, 0x10}).build(); }},
        {"RLE4 delta past top", [] { return rleBuilder(4, 3, 2, {0, 2, 0, 9, 0, 1}).build(); }},
        {"RLE absurd size tiny file", [] { return rleBuilder(8, 100000, 100000, {0, 1}).build(); }},
        {"RLE size just over the bound",
         [] { return rleBuilder(8, 65536 + 256 * 2 + 1, 1, {0, 1}).build(); }},
    };
    return cases;
}

TEST(DecodeBmpHostile, EveryMalformedFileFailsCleanly)
{
    for (const HostileCase& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(failsCleanly(c.make()));
    }
}

TEST(DecodeBmpHostile, SideJustOverTheLimitIsRefusedEvenWithAllItsPixelsPresent)
{
    // With every pixel byte present nothing but the limit itself stops the
    // file: a limit one too large lets it through to the allocation.
    struct Row {
        const char* what;
        int width, height;
        bool accepted;
    };
    const Row rows[] = {
        {"width at the limit", Picture::kMaxDimension, 1, true},
        {"width just over", Picture::kMaxDimension + 1, 1, false},
        {"height at the limit", 1, Picture::kMaxDimension, true},
        {"height just over", 1, Picture::kMaxDimension + 1, false},
        {"top-down height just over", 1, -(Picture::kMaxDimension + 1), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        BmpBuilder bb;
        bb.width = row.width;
        bb.height = row.height;
        bb.bits = 24;
        const std::size_t stride = (static_cast<std::size_t>(row.width) * 3 + 3) & ~std::size_t{3};
        bb.pixels.assign(stride * static_cast<std::size_t>(std::abs(row.height)), 0x5A);
        const Bytes file = bb.build();
        if (row.accepted) {
            Picture p;
            ASSERT_NO_THROW(decodeBmp(file.data(), file.size(), p));
            EXPECT_EQ(p.width(), row.width);
            EXPECT_EQ(p.pixel(p.width() - 1, p.height() - 1), (Bgr{0x5A, 0x5A, 0x5A}));
        } else {
            EXPECT_TRUE(failsCleanly(file));
        }
    }
}

TEST(DecodeBmpHostile, ValidBaseFilesOfTheTableDecode)
{
    // Guards the table: its failures must come from the one broken field.
    for (const Bytes& b : {validPalette8().build(), valid24().build(), validBitfields().build(),
                           rleBuilder(8, 2, 1, {2, 1, 0, 1}).build(), rleBuilder(8, 65536 + 256 * 2, 1, {0, 1}).build()}) {
        Picture p;
        EXPECT_NO_THROW(decodeBmp(b.data(), b.size(), p));
        EXPECT_FALSE(p.empty());
    }
}

TEST(DecodeBmpHostile, TruncationAtEveryOffsetFailsCleanly)
{
    const std::vector<std::pair<const char*, Bytes>> files = {
        {"8-bit palette", validPalette8().build()},
        {"24-bit", valid24().build()},
        {"bitfields", validBitfields().build()},
        {"core header", with(validPalette8(), [](BmpBuilder& b) { b.headerSize = 12; b.colorsUsed = 0; })},
        {"V5 header", with(valid24(), [](BmpBuilder& b) { b.headerSize = 124; })},
        {"RLE8", rleBuilder(8, 5, 3, {2, 1, 0, 3, 2, 0, 3, 0, 0, 0, 0, 2, 2, 0, 1, 3, 0, 0, 0, 1}).build()},
        {"RLE4", rleBuilder(4, 6, 2, {3, 0x12, 0, 3, 0x30, 0x20, 0, 0, 0, 2, 4, 0, 2, 0x33, 0, 1}).build()},
        {"our own writer", encodeBmp(patternPicture(3, 3))},
    };
    for (const auto& [name, full] : files) {
        SCOPED_TRACE(name);
        Picture check;
        ASSERT_NO_THROW(decodeBmp(full.data(), full.size(), check));
        for (std::size_t n = 0; n < full.size(); ++n) {
            // A copy of exactly n bytes, so a read past the end is caught by
            // the sanitizers.
            std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_TRUE(failsCleanly(cut.data(), cut.size())) << "truncated to " << n << " bytes";
        }
    }
}

TEST(DecodeBmpHostile, CorruptCorpusFilesFailCleanly)
{
    const auto folder = test::testData("corrupt/bmp");
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        const Bytes b = readWholeFile(entry.path().string());
        EXPECT_TRUE(failsCleanly(b));
        ++count;
    }
    EXPECT_GE(count, 10) << "corpus folder " << folder << " is missing files";
}

TEST(DecodeBmpHostile, JpegBytesAreNotABitmap)
{
    const Bytes jpeg = readWholeFile(test::testData("corrupt/bmp/jpeg_named_bmp.bmp").string());
    ASSERT_GE(jpeg.size(), 4u);
    ASSERT_EQ(jpeg[0], 0xFF);
    ASSERT_EQ(jpeg[1], 0xD8);
    EXPECT_TRUE(failsCleanly(jpeg));
}

TEST(DecodeBmpHostile, NullDataFailsCleanly)
{
    EXPECT_TRUE(failsCleanly(nullptr, 0));
}

} // namespace
} // namespace tw
