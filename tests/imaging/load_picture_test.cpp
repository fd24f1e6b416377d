#include "imaging/load_picture.h"

#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "platform/errors.h"
#include "platform/files.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tw {
namespace {

using test::samePicture;
using test::solidPicture;

const Bgr kMarker{7, 8, 9};

Picture patterned(int w, int h)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y, Bgr{std::uint8_t(x * 20), std::uint8_t(y * 30), std::uint8_t(100 + x + y)});
    return p;
}

void writeBytes(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Expects loadPicture to fail with exactly this text and leave the target
// alone. A text that does not name the file comes with the file beside it.
void expectLoadError(const std::string& path, const std::string& message)
{
    Picture target = solidPicture(2, 2, kMarker);
    try {
        loadPicture(target, path);
        ADD_FAILURE() << path << ": loaded without error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), message) << path;
        const bool textNamesFile = message.find(path) != std::string::npos;
        EXPECT_EQ(e.file(), textNamesFile ? std::string() : path);
    }
    EXPECT_TRUE(samePicture(target, solidPicture(2, 2, kMarker))) << path << ": target changed";
}

TEST(PictureFormatFor, ChoosesByLowerCasedExtensionAlone)
{
    const struct {
        const char* path;
        PictureFormat format;
    } rows[] = {
        {"C:\\pics\\A.JPG", PictureFormat::Jpeg}, {"C:\\pics\\a.jpeg", PictureFormat::Jpeg},
        {"photo.Jpg", PictureFormat::Jpeg},       {"/x/y.JPEG", PictureFormat::Jpeg},
        {"/x/old.BMP", PictureFormat::Bmp},       {"/x.jpg/name.bmp", PictureFormat::Bmp},
        {"archive.tar.jpg", PictureFormat::Jpeg},
    };
    for (const auto& r : rows)
        EXPECT_EQ(pictureFormatFor(r.path), r.format) << r.path;
}

TEST(PictureFormatFor, UnknownExtensionNamesItAsWritten)
{
    const struct {
        const char* path;
        const char* message;
    } rows[] = {
        {"/pics/photo.png", "Unknown picture file extension (.png)"},
        {"/pics/photo.PnG", "Unknown picture file extension (.PnG)"},
        {"/pics/photo", "Unknown picture file extension (.)"},
        {"/pics.jpg/photo", "Unknown picture file extension (.)"},
        {"/pics/photo.", "Unknown picture file extension (.)"},
        {"/pics/photo.jpg.gif", "Unknown picture file extension (.gif)"},
    };
    for (const auto& r : rows) {
        try {
            pictureFormatFor(r.path);
            ADD_FAILURE() << r.path << " accepted";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), r.message);
        }
    }
}

TEST(LoadPicture, JpegUnderEitherExtensionAndAnyCase)
{
    const auto dir = test::scratchDir("load_jpeg_names");
    const Picture original = patterned(12, 9);
    const Bytes jpeg = encodeJpeg(original);
    Picture expected;
    decodeJpeg(jpeg.data(), jpeg.size(), expected);
    for (const char* name : {"A.JPG", "a.jpeg", "b.Jpg"}) {
        writeBytes(dir / name, jpeg);
        Picture target = solidPicture(50, 50, kMarker);
        loadPicture(target, (dir / name).string());
        EXPECT_TRUE(samePicture(target, expected)) << name;
    }
}

TEST(LoadPicture, BmpLoadsPixelForPixel)
{
    const auto dir = test::scratchDir("load_bmp");
    const Picture original = patterned(5, 3);
    saveBmp(original, (dir / "p.bmp").string());
    Picture target;
    loadPicture(target, (dir / "p.bmp").string());
    EXPECT_TRUE(samePicture(target, original));
}

TEST(LoadPicture, PaletteBmpYieldsThePaletteColours)
{
    // 2 x 2, 8 bits, two palette entries: index 0 red, index 1 blue.
    Bytes bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,          // file header
                 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0,          // size, w, h, planes, bits
                 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,
                 0, 0, 255, 0, 255, 0, 0, 0,                               // palette (b, g, r, 0)
                 0, 1, 0, 0,                                               // bottom row: red, blue
                 1, 0, 0, 0};                                              // top row: blue, red
    const auto dir = test::scratchDir("load_palette_bmp");
    writeBytes(dir / "pal.bmp", bmp);
    Picture target;
    loadPicture(target, (dir / "pal.bmp").string());
    ASSERT_EQ(target.width(), 2);
    ASSERT_EQ(target.height(), 2);
    EXPECT_EQ(target.pixel(0, 0), (Bgr{255, 0, 0}));
    EXPECT_EQ(target.pixel(1, 0), (Bgr{0, 0, 255}));
    EXPECT_EQ(target.pixel(0, 1), (Bgr{0, 0, 255}));
    EXPECT_EQ(target.pixel(1, 1), (Bgr{255, 0, 0}));
}

TEST(LoadPicture, OnePixelFileGivesOnePixelPicture)
{
    const auto dir = test::scratchDir("load_one_pixel");
    saveJpeg(solidPicture(1, 1, Bgr{10, 200, 30}), (dir / "one.jpg").string());
    Picture target = solidPicture(40, 40, kMarker);
    loadPicture(target, (dir / "one.jpg").string());
    EXPECT_EQ(target.width(), 1);
    EXPECT_EQ(target.height(), 1);
}

TEST(LoadPicture, UnknownExtensionFailsBeforeTheFileIsOpened)
{
    const auto dir = test::scratchDir("load_unknown");
    writeBytes(dir / "real.png", encodeJpeg(patterned(4, 4)));
    writeBytes(dir / "noext", encodeJpeg(patterned(4, 4)));
    expectLoadError((dir / "real.png").string(), "Unknown picture file extension (.png)");
    expectLoadError((dir / "missing.png").string(), "Unknown picture file extension (.png)");
    expectLoadError((dir / "noext").string(), "Unknown picture file extension (.)");
}

TEST(LoadPicture, MissingFileNamesThePathAndReason)
{
    const auto dir = test::scratchDir("load_missing");
    const std::string path = (dir / "gone.jpg").string();
    expectLoadError(path, "Cannot open file \"" + path + "\". No such file or directory");
}

TEST(LoadPicture, FolderWithAPictureNameCannotBeOpened)
{
    const auto dir = test::scratchDir("load_folder");
    std::filesystem::create_directory(dir / "folder.jpg");
    const std::string path = (dir / "folder.jpg").string();
    expectLoadError(path, "Cannot open file \"" + path + "\". Is a directory");
}

TEST(LoadPicture, JpegNamedBmpFailsAsABitmap)
{
    const auto dir = test::scratchDir("load_jpeg_as_bmp");
    writeBytes(dir / "photo.bmp", encodeJpeg(patterned(8, 8)));
    expectLoadError((dir / "photo.bmp").string(), "Bitmap image is not valid");
}

TEST(LoadPicture, BmpNamedJpgFailsAsAJpeg)
{
    const auto dir = test::scratchDir("load_bmp_as_jpeg");
    writeBytes(dir / "photo.jpg", encodeBmp(patterned(8, 8)));
    Picture target = solidPicture(2, 2, kMarker);
    try {
        loadPicture(target, (dir / "photo.jpg").string());
        ADD_FAILURE() << "a BMP loaded through the JPEG reader";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("JPEG error #", 0), 0u) << e.what();
    }
    EXPECT_TRUE(samePicture(target, solidPicture(2, 2, kMarker)));
}

TEST(LoadPicture, CorruptJpegCorpusKeepsTheTarget)
{
    for (const char* name : {"not_a_jpeg.jpg", "zero_width.jpg", "huge_dimensions.jpg", "too_many_scans.jpg"}) {
        Picture target = solidPicture(2, 2, kMarker);
        EXPECT_THROW(loadPicture(target, test::testData(std::string("corrupt/jpeg/") + name).string()), Error)
            << name;
        EXPECT_TRUE(samePicture(target, solidPicture(2, 2, kMarker))) << name;
    }
}

TEST(LoadPicture, HugeFileIsRefusedWithoutReadingIt)
{
    const auto dir = test::scratchDir("load_huge");
    const auto path = dir / "huge.jpg";
    { std::ofstream(path, std::ios::binary).put('x'); }
    std::filesystem::resize_file(path, (std::uintmax_t{1} << 30) + 1); // sparse: costs no disk
    Picture target = solidPicture(2, 2, kMarker);
    EXPECT_THROW(loadPicture(target, path.string()), Error);
    EXPECT_TRUE(samePicture(target, solidPicture(2, 2, kMarker)));
    std::filesystem::remove(path);
}

} // namespace
} // namespace tw
