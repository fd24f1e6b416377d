// The one-pass region decode against the plain way: the whole file loaded,
// then cut to the aspect and turned grey. Every JPEG kind, BMP, many crop
// positions; failures with the loader's texts.
#include "imaging/picture_region.h"

#include "imaging/bmp.h"
#include "imaging/load_picture.h"
#include "imaging/transforms.h"
#include "platform/errors.h"

#include "jpeg_variants.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tw {
namespace {

using test::samePicture;

// Smooth gradients with sharp edges and grain, so that every way of
// upsampling, dithering or cutting that differs shows.
Picture texturedPicture(int w, int h, unsigned seed)
{
    Picture p(w, h);
    unsigned s = seed * 2654435761u + 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            const int grain = int(s >> 28) - 8;
            const bool edge = ((x / 7) + (y / 5)) % 3 == 0;
            p.setPixel(x, y,
                       Bgr{std::uint8_t(std::clamp(x * 255 / std::max(1, w - 1) + grain, 0, 255)),
                           std::uint8_t(edge ? 250 : std::clamp(y * 255 / std::max(1, h - 1) + grain, 0, 255)),
                           std::uint8_t((x * 3 + y * 5 + int(seed) * 40) % 256)});
        }
    return p;
}

void writeBytes(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The plain way: load, cut, grey.
Picture plainRegion(const std::string& path, const RegionRequest& r)
{
    Picture p;
    loadPicture(p, path);
    if (r.aspectWidth > 0 && r.aspectHeight > 0)
        cropToAspect(p, p, r.aspectWidth, r.aspectHeight);
    if (r.grey)
        toGreyScale(p, p);
    return p;
}

// Records what the decoder hands on, copying each row as it comes.
class RecordingSink final : public RegionRowSink {
public:
    void begin(int width, int height) override
    {
        ++begins;
        copy.resize(width, height);
    }
    void rows(const PictureView& view, int first, int count) override
    {
        if (first != handed)
            outOfOrder = true;
        for (int y = first; y < first + count; ++y)
            std::copy_n(view.row(y), std::size_t(view.width) * 3, copy.row(y));
        handed = first + count;
    }
    int begins = 0;
    int handed = 0;
    bool outOfOrder = false;
    Picture copy;
};

// Aspects that cut every side at many offsets, and none.
const RegionRequest kRequests[] = {
    {0, 0, false}, {1, 1, false}, {4, 3, false}, {3, 1, false}, {1, 3, false}, {16, 9, true},
    {9, 16, false}, {13, 11, true}, {5, 4, false}, {0, 0, true}, {2, 5, true}, {7, 2, false},
};

struct PictureSize {
    int width, height;
};
const PictureSize kSizes[] = {{203, 149}, {517, 131}, {97, 389}, {64, 64}, {1, 1}};

class RegionOfEveryJpegKind : public ::testing::TestWithParam<test::JpegVariant> {};

TEST_P(RegionOfEveryJpegKind, IsTheLoadedPictureCutAndTurnedGrey)
{
    const auto dir = test::scratchDir(std::string("region_") + GetParam().name);
    unsigned seed = 1;
    for (const PictureSize& size : kSizes) {
        const std::string path = (dir / ("p" + std::to_string(seed) + ".jpg")).string();
        writeBytes(path, test::encodeJpegVariant(texturedPicture(size.width, size.height, seed++), GetParam()));
        for (const RegionRequest& r : kRequests) {
            SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) + " aspect " +
                         std::to_string(r.aspectWidth) + ":" + std::to_string(r.aspectHeight) +
                         (r.grey ? " grey" : ""));
            RecordingSink sink;
            const DecodedRegion region = decodePictureRegion(path, r, &sink);
            const Picture want = plainRegion(path, r);
            ASSERT_TRUE(samePicture(want, region.toPicture()));
            EXPECT_EQ(sink.begins, 1);
            EXPECT_FALSE(sink.outOfOrder);
            EXPECT_EQ(sink.handed, want.height());
            EXPECT_TRUE(samePicture(want, sink.copy)) << "a row changed after it was handed on";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RegionOfEveryJpegKind, ::testing::ValuesIn(test::jpegVariants()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RegionOfBmp, IsTheLoadedPictureCutAndTurnedGrey)
{
    const auto dir = test::scratchDir("region_bmp");
    std::vector<std::string> paths;
    for (const PictureSize& size : kSizes) {
        paths.push_back((dir / ("p" + std::to_string(paths.size()) + ".bmp")).string());
        saveBmp(texturedPicture(size.width, size.height, unsigned(paths.size())), paths.back());
    }
    for (const std::string& path : paths) {
        for (const RegionRequest& r : kRequests) {
            SCOPED_TRACE(path + " aspect " + std::to_string(r.aspectWidth) + ":" + std::to_string(r.aspectHeight));
            RecordingSink sink;
            const DecodedRegion region = decodePictureRegion(path, r, &sink);
            const Picture want = plainRegion(path, r);
            ASSERT_TRUE(samePicture(want, region.toPicture()));
            EXPECT_EQ(sink.handed, want.height());
            EXPECT_TRUE(samePicture(want, sink.copy));
        }
    }
}

TEST(RegionOfBmp, EmptyPictureGivesAnEmptyRegion)
{
    const auto dir = test::scratchDir("region_empty");
    const std::string path = (dir / "empty.bmp").string();
    saveBmp(Picture{}, path);
    RecordingSink sink;
    const DecodedRegion region = decodePictureRegion(path, RegionRequest{1, 1, true}, &sink);
    EXPECT_TRUE(region.view().empty());
    EXPECT_EQ(sink.begins, 1);
    EXPECT_EQ(sink.copy.width(), 0);
    EXPECT_EQ(sink.handed, 0);
}

TEST(RegionDecode, TruncatedJpegGivesWhatTheLoaderGives)
{
    const auto dir = test::scratchDir("region_cut");
    const Bytes full = test::encodeJpegVariant(texturedPicture(160, 120, 9), test::jpegVariants()[0]);
    for (std::size_t cut : {full.size() / 3, full.size() / 2, full.size() - 3}) {
        const std::string path = (dir / ("cut" + std::to_string(cut) + ".jpg")).string();
        writeBytes(path, Bytes(full.begin(), full.begin() + std::ptrdiff_t(cut)));
        for (const RegionRequest& r : {RegionRequest{1, 1, false}, RegionRequest{1, 3, true}}) {
            const DecodedRegion region = decodePictureRegion(path, r, nullptr);
            EXPECT_TRUE(samePicture(plainRegion(path, r), region.toPicture())) << "cut at " << cut;
        }
    }
}

// The loader's failures, with its texts and the file named beside them.
TEST(RegionDecode, FailsWithTheLoadersTextsAndNamesTheFile)
{
    const auto dir = test::scratchDir("region_fail");
    const std::string notJpeg = (dir / "text.jpg").string();
    writeBytes(notJpeg, Bytes{'h', 'e', 'l', 'l', 'o'});
    const std::string badBmp = (dir / "bad.bmp").string();
    writeBytes(badBmp, Bytes{'B', 'M', 0, 0});
    const Bytes good = test::encodeJpegVariant(texturedPicture(40, 30, 2), test::jpegVariants()[0]);
    const std::string header = (dir / "header.jpg").string();
    writeBytes(header, Bytes(good.begin(), good.begin() + 40));
    const std::string missing = (dir / "missing.jpg").string();
    const std::string unknown = (dir / "photo.png").string();
    writeBytes(unknown, good);
    for (const std::string& path : {notJpeg, badBmp, header, missing, unknown}) {
        std::string want, wantFile;
        try {
            Picture p;
            loadPicture(p, path);
            ADD_FAILURE() << path << " loaded";
        } catch (const Error& e) {
            want = e.what();
            wantFile = e.file();
        }
        try {
            decodePictureRegion(path, RegionRequest{1, 1, false}, nullptr);
            ADD_FAILURE() << path << " decoded";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), want) << path;
            EXPECT_EQ(e.file(), wantFile) << path;
        }
    }
}

// The file's bytes after its scan: a second frame header where the end
// marker was. The whole decode reads it and fails; a region that stops
// above the last rows must not skip reading it and succeed.
Bytes withSecondFrameAfterTheScan(const Bytes& good)
{
    Bytes frame;
    for (std::size_t i = 2; i + 4 < good.size(); ++i)
        if (good[i] == 0xFF && (good[i + 1] == 0xC0 || good[i + 1] == 0xC1 || good[i + 1] == 0xC2)) {
            const std::size_t length = std::size_t(good[i + 2]) << 8 | good[i + 3];
            frame.assign(good.begin() + std::ptrdiff_t(i), good.begin() + std::ptrdiff_t(i + 2 + length));
            break;
        }
    EXPECT_FALSE(frame.empty()) << "no frame header";
    Bytes damaged(good.begin(), good.end() - 2);  // without FF D9
    damaged.insert(damaged.end(), frame.begin(), frame.end());
    damaged.push_back(0xFF);
    damaged.push_back(0xD9);
    return damaged;
}

TEST(RegionDecode, DamageAfterTheLastRowsFailsAsTheLoaderFails)
{
    const auto dir = test::scratchDir("region_tail");
    // A wide aspect keeps a band in the middle: rows below it are skipped.
    const RegionRequest requests[] = {{4, 1, false}, {1, 1, false}, {0, 0, false}, {1, 4, true}};
    for (const test::JpegVariant& v : test::jpegVariants()) {
        const std::string path = (dir / (std::string(v.name) + ".jpg")).string();
        writeBytes(path, withSecondFrameAfterTheScan(test::encodeJpegVariant(texturedPicture(96, 80, 4), v)));
        std::string want = "loaded";
        try {
            Picture p;
            loadPicture(p, path);
        } catch (const Error& e) {
            want = e.what();
        }
        EXPECT_EQ(want, "JPEG error #58") << v.name;  // two frame headers
        for (const RegionRequest& r : requests) {
            std::string got = "decoded";
            try {
                decodePictureRegion(path, r, nullptr);
            } catch (const Error& e) {
                got = e.what();
            }
            EXPECT_EQ(got, want) << v.name << " aspect " << r.aspectWidth << ":" << r.aspectHeight;
        }
    }
}

// A sink that fails stops the decode with its own exception, and the
// budget gets everything back.
TEST(RegionDecode, FailingSinkStopsTheDecodeAndGivesTheMemoryBack)
{
    struct Failing final : RegionRowSink {
        void begin(int, int) override {}
        void rows(const PictureView&, int first, int) override
        {
            if (first > 10)
                throw std::runtime_error("sink failed");
        }
    };
    const auto dir = test::scratchDir("region_sink_fails");
    const std::string path = (dir / "p.jpg").string();
    writeBytes(path, test::encodeJpegVariant(texturedPicture(120, 90, 4), test::jpegVariants()[0]));
    DecodeBudget budget(std::uint64_t{64} << 20);
    Failing sink;
    EXPECT_THROW(decodePictureRegion(path, RegionRequest{}, &sink, budget), std::runtime_error);
    EXPECT_EQ(budget.reserved(), 0u);
    EXPECT_GT(budget.peakReserved(), 0u);
}

} // namespace
} // namespace tw
