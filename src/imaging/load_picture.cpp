#include "imaging/load_picture.h"

#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "platform/errors.h"
#include "platform/files.h"

#include <sys/stat.h>

#include <algorithm>
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

Bytes readPictureFile(const std::string& path, DecodeBudget::Reservation& reservation)
{
    // The size the file has now; reading it fails on its own if it cannot
    // be read or has grown beyond the bound.
    struct stat st {};
    std::uint64_t size = 0;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        size = std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), kMaxPictureFileBytes);
    namingFile(path, [&] { reservation.resize(size, 0, "Reading the picture file"); });
    return readWholeFile(path, kMaxPictureFileBytes);
}

void loadPicture(Picture& target, const std::string& path, DecodeBudget& budget)
{
    // The readers' texts are fixed and never name the picture; the error
    // carries its path beside the text.
    const PictureFormat format = namingFile(path, [&] { return pictureFormatFor(path); });
    DecodeBudget::Reservation reservation = budget.reserve(0);
    const Bytes bytes = readPictureFile(path, reservation);
    // Both decoders leave target untouched when they fail.
    namingFile(path, [&] {
        switch (format) {
        case PictureFormat::Bmp:
            decodeBmp(bytes.data(), bytes.size(), target, reservation);
            break;
        case PictureFormat::Jpeg:
            decodeJpeg(bytes.data(), bytes.size(), target, reservation);
            break;
        }
    });
}

void loadPicture(Picture& target, const std::string& path)
{
    loadPicture(target, path, sharedDecodeBudget());
}

} // namespace tw
