#include "workspace/export.h"

#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "platform/files.h"

namespace tw {

namespace {

constexpr int kExportJpegQuality = 75;

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
    if (type == PictureFileType::Jpeg)
        saveJpeg(picture, name, kExportJpegQuality);
    else
        saveBmp(picture, name);
    return name;
}

} // namespace tw
