#include "workspace/export.h"

#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tw {
namespace {

namespace fs = std::filesystem;

struct NameCase {
    const char* chosen;
    PictureFileType type;
    const char* written;
};

class ExportName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ExportName, AppendsTheExtensionUnlessTheNameAlreadyHasIt)
{
    EXPECT_EQ(exportFileName(GetParam().chosen, GetParam().type), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ExportName,
    ::testing::Values(NameCase{"mosaic", PictureFileType::Jpeg, "mosaic.jpg"},
                      NameCase{"mosaic", PictureFileType::Bmp, "mosaic.bmp"},
                      NameCase{"mosaic.BMP", PictureFileType::Bmp, "mosaic.BMP"},
                      NameCase{"mosaic.JPG", PictureFileType::Jpeg, "mosaic.JPG"},
                      NameCase{"mosaic.jPg", PictureFileType::Jpeg, "mosaic.jPg"},
                      NameCase{"photo.jpeg", PictureFileType::Jpeg, "photo.jpeg.jpg"},
                      NameCase{"photo.bmp", PictureFileType::Jpeg, "photo.bmp.jpg"},
                      NameCase{"photo.jpg", PictureFileType::Bmp, "photo.jpg.bmp"},
                      NameCase{"/a.jpg/mosaic", PictureFileType::Jpeg, "/a.jpg/mosaic.jpg"},
                      NameCase{"/out.d/mosaic", PictureFileType::Bmp, "/out.d/mosaic.bmp"},
                      NameCase{"/out/pic.old.jpg", PictureFileType::Jpeg, "/out/pic.old.jpg"},
                      NameCase{"/out/.jpg", PictureFileType::Jpeg, "/out/.jpg"},
                      NameCase{"name.", PictureFileType::Bmp, "name..bmp"},
                      NameCase{"archive.bmp.gz", PictureFileType::Bmp, "archive.bmp.gz.bmp"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

Picture gradient(int w, int h)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y, Bgr{static_cast<std::uint8_t>(x * 20), static_cast<std::uint8_t>(y * 20), 128});
    return p;
}

TEST(ExportPicture, BmpIsWrittenUnderTheFinalNameAndReadsBackPixelForPixel)
{
    fs::path dir = test::scratchDir("export_bmp");
    Picture picture = gradient(7, 5);
    const Picture before = picture;
    std::string written = exportPicture(picture, (dir / "mosaic").string(), PictureFileType::Bmp);
    EXPECT_EQ(written, (dir / "mosaic.bmp").string());
    Bytes bytes = readWholeFile(written);
    EXPECT_EQ(bytes, encodeBmp(picture));
    Picture back;
    decodeBmp(bytes.data(), bytes.size(), back);
    EXPECT_TRUE(test::samePicture(back, picture));
    EXPECT_TRUE(test::samePicture(picture, before));
}

TEST(ExportPicture, JpegIsQuality75BaselineAndReplacesAnExistingFile)
{
    fs::path dir = test::scratchDir("export_jpeg");
    {
        std::ofstream(dir / "mosaic.JPG") << "old";
    }
    Picture picture = gradient(16, 9);
    std::string written = exportPicture(picture, (dir / "mosaic.JPG").string(), PictureFileType::Jpeg);
    EXPECT_EQ(written, (dir / "mosaic.JPG").string());
    Bytes bytes = readWholeFile(written);
    EXPECT_EQ(bytes, encodeJpeg(picture, 75));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    Picture back;
    decodeJpeg(bytes.data(), bytes.size(), back);
    EXPECT_EQ(back.width(), 16);
    EXPECT_EQ(back.height(), 9);
}

TEST(ExportPicture, EmptyPictureIsAZeroPixelBmpOrAJpegStreamWithoutAnImage)
{
    fs::path dir = test::scratchDir("export_empty");
    struct Row {
        PictureFileType type;
        const char* name;
        Bytes expected;
    };
    const Row rows[] = {
        {PictureFileType::Bmp, "empty.bmp", encodeBmp(Picture{})},
        {PictureFileType::Jpeg, "empty.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9}},
    };
    for (const Row& row : rows) {
        const std::string written = exportPicture(Picture{}, (dir / "empty").string(), row.type);
        EXPECT_EQ(written, (dir / row.name).string());
        EXPECT_EQ(readWholeFile(written), row.expected) << row.name;
    }
    // Read back: the bitmap is the empty picture; the JPEG stream is refused
    // as one that holds no image, leaving the target as it was.
    Picture back = gradient(2, 2);
    const Bytes bmp = readWholeFile((dir / "empty.bmp").string());
    decodeBmp(bmp.data(), bmp.size(), back);
    EXPECT_TRUE(back.empty());
    back = gradient(2, 2);
    const Bytes jpeg = readWholeFile((dir / "empty.jpg").string());
    EXPECT_THROW(decodeJpeg(jpeg.data(), jpeg.size(), back), Error);
    EXPECT_EQ(back.width(), 2);
}

TEST(ExportPicture, UncreatableFileIsReportedAndNothingIsWritten)
{
    fs::path dir = test::scratchDir("export_fail");
    Picture picture = gradient(2, 2);
    try {
        exportPicture(picture, (dir / "missing" / "x").string(), PictureFileType::Bmp);
        FAIL() << "export into a missing folder succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file", 0), 0u) << e.what();
    }
    EXPECT_TRUE(fs::is_empty(dir));
}

} // namespace
} // namespace tw
