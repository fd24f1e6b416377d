#include "imaging/jpeg.h"

#include "platform/errors.h"
#include "platform/files.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace tw {
namespace {

using test::samePicture;
using test::solidPicture;

// A smooth, photo-like picture that JPEG keeps close.
Picture gradientPicture(int w, int h)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y, Bgr{std::uint8_t(x * 255 / std::max(1, w - 1)), std::uint8_t(y * 255 / std::max(1, h - 1)),
                                 std::uint8_t(128 + (x - y) / 4)});
    return p;
}

// Compresses raw samples with libjpeg directly, for colour spaces the
// program itself never writes.
Bytes encodeRaw(int w, int h, int components, J_COLOR_SPACE inSpace, J_COLOR_SPACE fileSpace, bool adobeMarker,
                const std::vector<std::uint8_t>& samples, bool progressive = false)
{
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = components;
    c.in_color_space = inSpace;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, fileSpace);
    c.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
    jpeg_set_quality(&c, 90, TRUE);
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(samples.data() + std::size_t(c.next_scanline) * w * components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Picture decoded(const Bytes& bytes)
{
    Picture p;
    decodeJpeg(bytes.data(), bytes.size(), p);
    return p;
}

// Largest per-byte difference of two pictures of the same size.
int maxDifference(const Picture& a, const Picture& b)
{
    int worst = 0;
    for (std::size_t i = 0; i < a.byteSize(); ++i)
        worst = std::max(worst, std::abs(int(a.data()[i]) - int(b.data()[i])));
    return worst;
}

std::string codeText(int code)
{
    return "JPEG error #" + std::to_string(code);
}

// Expects decodeJpeg to fail with the given code (or any code for -1),
// leaving the target picture as it was.
void expectJpegError(const Bytes& bytes, int code, const std::string& what)
{
    Picture target = solidPicture(3, 2, Bgr{1, 2, 3});
    try {
        decodeJpeg(bytes.data(), bytes.size(), target);
        ADD_FAILURE() << what << ": decoded without error";
    } catch (const Error& e) {
        const std::string text = e.what();
        if (code >= 0)
            EXPECT_EQ(text, codeText(code)) << what;
        else
            EXPECT_EQ(text.rfind("JPEG error #", 0), 0u) << what << ": " << text;
    }
    EXPECT_TRUE(samePicture(target, solidPicture(3, 2, Bgr{1, 2, 3}))) << what << ": target changed";
}

TEST(JpegRoundTrip, DecodedPictureStaysCloseToTheOriginal)
{
    const Picture original = gradientPicture(64, 48);
    const Picture back = decoded(encodeJpeg(original));
    ASSERT_EQ(back.width(), 64);
    ASSERT_EQ(back.height(), 48);
    EXPECT_LE(maxDifference(original, back), 16);
}

TEST(JpegRoundTrip, ChannelOrderIsKept)
{
    const struct {
        Bgr colour;
    } rows[] = {{{0, 0, 255}}, {{0, 255, 0}}, {{255, 0, 0}}, {{30, 140, 220}}};
    for (const auto& r : rows) {
        const Picture original = solidPicture(16, 16, r.colour);
        const Picture back = decoded(encodeJpeg(original));
        EXPECT_LE(maxDifference(original, back), 6)
            << int(r.colour.b) << "," << int(r.colour.g) << "," << int(r.colour.r);
    }
}

TEST(JpegRoundTrip, OddSizesAndOnePixel)
{
    for (auto [w, h] : {std::pair{1, 1}, std::pair{17, 3}, std::pair{2, 33}}) {
        const Picture back = decoded(encodeJpeg(solidPicture(w, h, Bgr{90, 90, 90})));
        EXPECT_EQ(back.width(), w);
        EXPECT_EQ(back.height(), h);
    }
}

TEST(EncodeJpeg, WritesBaselineWithQualitySeventyFiveTables)
{
    const Bytes bytes = encodeJpeg(gradientPicture(16, 16));
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    bool sawBaselineFrame = false, sawFirstTable = false;
    for (std::size_t i = 2; i + 4 < bytes.size();) {
        ASSERT_EQ(bytes[i], 0xFF) << "at " << i;
        const int marker = bytes[i + 1];
        const std::size_t length = std::size_t(bytes[i + 2]) << 8 | bytes[i + 3];
        if (marker == 0xC0)
            sawBaselineFrame = true;
        EXPECT_FALSE(marker == 0xC2 || marker == 0xC1) << "not a baseline frame";
        if (marker == 0xDB && !sawFirstTable) {
            // Luminance table 0, first entry: the standard 16 scaled by 50 %.
            EXPECT_EQ(bytes[i + 4], 0x00);
            EXPECT_EQ(bytes[i + 5], 8);
            sawFirstTable = true;
        }
        if (marker == 0xDA)
            break;
        i += 2 + length;
    }
    EXPECT_TRUE(sawBaselineFrame);
    EXPECT_TRUE(sawFirstTable);
}

TEST(EncodeJpeg, EmptyPictureFailsWithAJpegError)
{
    try {
        encodeJpeg(Picture{});
        ADD_FAILURE() << "encoded an empty picture";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), codeText(JERR_EMPTY_IMAGE));
    }
}

TEST(SaveJpeg, WritesAFileThatDecodes)
{
    const auto dir = test::scratchDir("save_jpeg");
    const std::string path = (dir / "out.jpg").string();
    const Picture original = gradientPicture(40, 30);
    saveJpeg(original, path);
    const Bytes bytes = readWholeFile(path);
    EXPECT_EQ(bytes, encodeJpeg(original));
}

TEST(WriteJpeg, PiecesMakeTheEncodedFileAndStayWithinTheOutputBuffer)
{
    for (Size size : {Size{1, 1}, Size{33, 17}, Size{1200, 900}}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        Picture picture(size.width, size.height);
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x)
                picture.setPixel(x, y, Bgr{std::uint8_t(x * 13 ^ y), std::uint8_t(x * y), std::uint8_t(y * 7 + x)});
        Bytes joined;
        std::vector<std::size_t> sizes;
        writeJpeg(picture, 75, [&](const std::uint8_t* data, std::size_t n) {
            sizes.push_back(n);
            joined.insert(joined.end(), data, data + n);
        });
        EXPECT_EQ(joined, encodeJpeg(picture, 75));
        for (std::size_t n : sizes)
            EXPECT_LE(n, std::size_t{1} << 18);
        if (size.width == 1200) {
            EXPECT_GT(sizes.size(), 1u) << "a large picture comes in several pieces";
        }
    }
}

TEST(WriteJpeg, WhatTheSinkThrowsComesOutUnchanged)
{
    // Noise compresses badly: several output buffers' worth.
    Picture picture(1600, 1200);
    std::uint32_t noise = 1;
    for (int y = 0; y < 1200; ++y)
        for (int x = 0; x < 1600; ++x) {
            noise = noise * 1103515245u + 12345u;
            picture.setPixel(x, y, Bgr{std::uint8_t(noise >> 24), std::uint8_t(noise >> 16), std::uint8_t(noise >> 8)});
        }
    for (int failAt : {1, 2, 3}) {
        int calls = 0;
        try {
            writeJpeg(picture, 75, [&](const std::uint8_t*, std::size_t) {
                if (++calls == failAt)
                    throw Error("disk gone at piece " + std::to_string(failAt));
            });
            ADD_FAILURE() << "no error at piece " << failAt;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "disk gone at piece " + std::to_string(failAt));
        }
        EXPECT_EQ(calls, failAt) << "nothing more is written after the failure";
    }
}

TEST(SaveJpeg, WritesTheEncodedBytes)
{
    const auto dir = test::scratchDir("jpeg_save_bytes");
    const std::string path = (dir / "out.jpg").string();
    Picture picture(640, 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            picture.setPixel(x, y, Bgr{std::uint8_t(x), std::uint8_t(y), std::uint8_t(x + y)});
    saveJpeg(picture, path, 75);
    EXPECT_EQ(readWholeFile(path), encodeJpeg(picture, 75));
}

TEST(SaveJpeg, UncreatableFileReportsCannotCreate)
{
    const auto dir = test::scratchDir("save_jpeg_missing");
    const std::string path = (dir / "no such folder" / "out.jpg").string();
    try {
        saveJpeg(gradientPicture(8, 8), path);
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + path + "\". No such file or directory");
    }
}

TEST(DecodeJpeg, GreyscaleComesOutAsEqualBytesWithAtMost236Levels)
{
    const int w = 512, h = 16;
    std::vector<std::uint8_t> ramp(std::size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ramp[std::size_t(y) * w + x] = std::uint8_t(x / 2);
    const Picture p = decoded(encodeRaw(w, h, 1, JCS_GRAYSCALE, JCS_GRAYSCALE, false, ramp));
    ASSERT_EQ(p.width(), w);
    ASSERT_EQ(p.height(), h);
    std::set<int> levels;
    long long error = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Bgr c = p.pixel(x, y);
            ASSERT_TRUE(c.b == c.g && c.g == c.r) << x << "," << y;
            levels.insert(c.b);
            error += std::abs(int(c.b) - x / 2);
        }
    EXPECT_LE(levels.size(), 236u);
    EXPECT_GT(levels.size(), 100u);
    // Dithering keeps the average close to the ramp.
    EXPECT_LT(double(error) / (w * h), 3.0);
}

// CMYK ink values for pure red, green, blue, white and black.
std::vector<std::uint8_t> inkSwatches(bool inverted)
{
    const std::uint8_t inks[5][4] = {
        {0, 255, 255, 0}, {255, 0, 255, 0}, {255, 255, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 255}};
    std::vector<std::uint8_t> out;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 80; ++x)
            for (int k = 0; k < 4; ++k) {
                const std::uint8_t v = inks[x / 16][k];
                out.push_back(inverted ? std::uint8_t(255 - v) : v);
            }
    return out;
}

void expectSwatches(const Picture& p, const std::string& what)
{
    ASSERT_EQ(p.width(), 80) << what;
    ASSERT_EQ(p.height(), 16) << what;
    const Bgr expected[5] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}, {0, 0, 0}};
    for (int s = 0; s < 5; ++s) {
        const Bgr c = p.pixel(s * 16 + 8, 8);
        EXPECT_NEAR(c.b, expected[s].b, 8) << what << " swatch " << s;
        EXPECT_NEAR(c.g, expected[s].g, 8) << what << " swatch " << s;
        EXPECT_NEAR(c.r, expected[s].r, 8) << what << " swatch " << s;
    }
}

TEST(DecodeJpeg, AdobeInvertedCmykLoadsAsRgb)
{
    expectSwatches(decoded(encodeRaw(80, 16, 4, JCS_CMYK, JCS_CMYK, true, inkSwatches(true))), "Adobe CMYK");
}

TEST(DecodeJpeg, AdobeInvertedYcckLoadsAsRgb)
{
    expectSwatches(decoded(encodeRaw(80, 16, 4, JCS_CMYK, JCS_YCCK, true, inkSwatches(true))), "Adobe YCCK");
}

TEST(DecodeJpeg, PlainCmykWithoutAdobeMarkerIsNotInverted)
{
    expectSwatches(decoded(encodeRaw(80, 16, 4, JCS_CMYK, JCS_CMYK, false, inkSwatches(false))), "plain CMYK");
}

TEST(DecodeJpeg, CmykMidTonesGiveExactRoundedProducts)
{
    // Flat 16 x 16 CMYK pictures come through the compression unchanged, so
    // the colours show the conversion alone: each channel is
    // (255 - ink) x (255 - black) / 255 rounded to nearest, the inverse inks
    // of Adobe files straight. Expected values worked out by hand.
    struct Row {
        std::uint8_t c, m, y, k;
        Bgr expected;
    };
    const Row rows[] = {
        {64, 128, 192, 32, {55, 111, 167}},  {128, 128, 128, 128, {63, 63, 63}},
        {0, 0, 0, 128, {127, 127, 127}},     {100, 50, 200, 10, {53, 197, 149}},
        {1, 254, 127, 0, {128, 1, 254}},     {30, 90, 150, 200, {23, 36, 49}},
    };
    for (bool adobe : {false, true})
        for (const Row& row : rows) {
            std::vector<std::uint8_t> samples;
            for (int i = 0; i < 16 * 16; ++i)
                for (std::uint8_t v : {row.c, row.m, row.y, row.k})
                    samples.push_back(adobe ? std::uint8_t(255 - v) : v);
            const Picture p = decoded(encodeRaw(16, 16, 4, JCS_CMYK, JCS_CMYK, adobe, samples));
            ASSERT_EQ(p.width(), 16);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    ASSERT_EQ(p.pixel(x, y), row.expected)
                        << (adobe ? "Adobe " : "plain ") << int(row.c) << "," << int(row.m) << "," << int(row.y)
                        << "," << int(row.k) << " at " << x << "," << y << ": got " << int(p.pixel(x, y).b) << ","
                        << int(p.pixel(x, y).g) << "," << int(p.pixel(x, y).r);
        }
}

TEST(DecodeJpeg, ProgressiveFileDecodesCompletely)
{
    const Picture original = gradientPicture(48, 40);
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x) {
            const Bgr c = original.pixel(x, y);
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    const Picture p = decoded(encodeRaw(48, 40, 3, JCS_RGB, JCS_YCbCr, false, rgb, true));
    ASSERT_EQ(p.width(), 48);
    EXPECT_LE(maxDifference(original, p), 12);
}

// Offset of the first start-of-scan marker: everything before it is header.
std::size_t firstScanOffset(const Bytes& bytes)
{
    for (std::size_t i = 2; i + 4 < bytes.size();) {
        if (bytes[i + 1] == 0xDA)
            return i;
        i += 2 + (std::size_t(bytes[i + 2]) << 8 | bytes[i + 3]);
    }
    return bytes.size();
}

TEST(DecodeJpeg, TruncatedScanDataLoadsWithoutError)
{
    const Picture original = gradientPicture(64, 64);
    const Bytes full = encodeJpeg(original);
    const std::size_t scan = firstScanOffset(full);
    ASSERT_LT(scan, full.size());
    for (std::size_t cut : {scan + 14, scan + 20, (scan + full.size()) / 2, full.size() - 2, full.size() - 1}) {
        const Bytes part(full.begin(), full.begin() + std::ptrdiff_t(cut));
        Picture p;
        EXPECT_NO_THROW(decodeJpeg(part.data(), part.size(), p)) << "cut at " << cut;
        EXPECT_EQ(p.width(), 64) << "cut at " << cut;
        EXPECT_EQ(p.height(), 64) << "cut at " << cut;
    }
}

TEST(DecodeJpeg, TruncatedHeaderFailsAndKeepsTheTarget)
{
    const Bytes full = encodeJpeg(gradientPicture(32, 32));
    const std::size_t scan = firstScanOffset(full);
    for (std::size_t cut = 0; cut < scan; cut += 7)
        expectJpegError(Bytes(full.begin(), full.begin() + std::ptrdiff_t(cut)), -1,
                        "cut at " + std::to_string(cut));
}

TEST(DecodeJpeg, GarbageFailsWithNoSoi)
{
    const Bytes garbage = {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9};
    expectJpegError(garbage, JERR_NO_SOI, "garbage");
    expectJpegError(Bytes{}, JERR_INPUT_EMPTY, "empty");
}

TEST(DecodeJpeg, CorruptCorpusFilesFailCleanly)
{
    const struct {
        const char* file;
        int code;
    } rows[] = {
        {"empty.jpg", JERR_INPUT_EMPTY},
        {"not_a_jpeg.jpg", JERR_NO_SOI},
        {"soi_only.jpg", JERR_NO_IMAGE},
        {"truncated_in_tables.jpg", -1},
        {"zero_width.jpg", JERR_EMPTY_IMAGE},
        {"huge_dimensions.jpg", JERR_IMAGE_TOO_BIG},
        {"beyond_jpeg_dimension_limit.jpg", JERR_IMAGE_TOO_BIG},
        {"zero_components.jpg", -1},
        {"zero_sampling_factor.jpg", JERR_BAD_SAMPLING},
        {"bad_huffman_counts.jpg", JERR_BAD_HUFF_TABLE},
        {"bad_quant_table_index.jpg", JERR_DQT_INDEX},
        {"scan_without_frame.jpg", JERR_SOS_NO_SOF},
        {"too_many_scans.jpg", JERR_BAD_PROGRESSION},
    };
    for (const auto& r : rows) {
        const std::string path = test::testData(std::string("corrupt/jpeg/") + r.file).string();
        expectJpegError(readWholeFile(path), r.code, r.file);
    }
}

} // namespace
} // namespace tw
