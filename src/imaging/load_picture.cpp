#include "imaging/load_picture.h"

#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "platform/errors.h"
#include "platform/files.h"

#include <array>
#include <string_view>

namespace tw {

namespace {

struct FormatEntry {
    std::string_view extension;
    PictureFormat format;
};

// Chosen by extension alone; the content never picks the reader.
constexpr std::array<FormatEntry, 3> kPictureFormatTable{{
    {"bmp", PictureFormat::Bmp},
    {"jpg", PictureFormat::Jpeg},
    {"jpeg", PictureFormat::Jpeg},
}};

// No picture file the program handles comes near this; anything larger is
// refused before it is read into memory.
constexpr std::size_t kMaxPictureFileBytes = std::size_t{1} << 30;

} // namespace

PictureFormat pictureFormatFor(const std::string& path)
{
    const std::string written = extensionPart(path);
    std::string lower = written;
    // ASCII only: the user's locale must not change which reader is chosen.
    for (char& ch : lower)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    for (const FormatEntry& e : kPictureFormatTable)
        if (lower == e.extension)
            return e.format;
    throw Error("Unknown picture file extension (." + written + ")");
}

void loadPicture(Picture& target, const std::string& path)
{
    // The readers' texts are fixed and never name the picture; the error
    // carries its path beside the text.
    const PictureFormat format = namingFile(path, [&] { return pictureFormatFor(path); });
    const Bytes bytes = readWholeFile(path, kMaxPictureFileBytes);
    // Both decoders leave target untouched when they fail.
    namingFile(path, [&] {
        switch (format) {
        case PictureFormat::Bmp:
            decodeBmp(bytes.data(), bytes.size(), target);
            break;
        case PictureFormat::Jpeg:
            decodeJpeg(bytes.data(), bytes.size(), target);
            break;
        }
    });
}

} // namespace tw
