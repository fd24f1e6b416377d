#include "workspace/export.h"

#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "platform/files.h"

#include <cstdint>

namespace tw {

namespace {

constexpr int kExportJpegQuality = 75;

// A JPEG file cannot describe a picture without pixels (a frame of zero
// width is invalid, and zero height means "given later", which never
// comes). The empty picture is written as a JPEG stream that holds no
// image: the start-of-image and end-of-image markers alone, which is what
// the format offers for "no picture" and what JPEG readers recognise as a
// stream without an image. (The BMP writer stores it as 0 x 0 pixels.)
constexpr std::uint8_t kEmptyJpeg[] = {0xFF, 0xD8, 0xFF, 0xD9};

std::string lowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

std::string exportFileName(const std::string& chosen, PictureFileType type)
{
    const std::string wanted = type == PictureFileType::Jpeg ? "jpg" : "bmp";
    // Only the file name's own extension counts: a dot in a folder name is
    // not one.
    if (lowerAscii(extensionPart(chosen)) == wanted)
        return chosen;
    return chosen + "." + wanted;
}

std::string exportPicture(const Picture& picture, const std::string& chosen, PictureFileType type)
{
    const std::string name = exportFileName(chosen, type);
    // A folder that takes no file is found before the picture is encoded.
    checkCanCreateFile(name);
    if (type == PictureFileType::Jpeg && picture.empty())
        writeFileAtomic(name, kEmptyJpeg, sizeof kEmptyJpeg);
    else if (type == PictureFileType::Jpeg)
        saveJpeg(picture, name, kExportJpegQuality);
    else
        saveBmp(picture, name);
    return name;
}

} // namespace tw
