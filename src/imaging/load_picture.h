#pragma once
// The one way a picture file becomes a working picture.
#include "imaging/decode_budget.h"
#include "imaging/picture.h"
#include "platform/files.h"

#include <string>

namespace tw {

enum class PictureFormat { Bmp, Jpeg };

// The reader for a path, chosen by its extension alone (lower-cased, without
// the dot): "bmp" -> Bmp, "jpg" and "jpeg" -> Jpeg. Throws
// tw::Error("Unknown picture file extension (.<ext as written>)") otherwise.
PictureFormat pictureFormatFor(const std::string& path);

// Loads a BMP or JPEG file into target (size and pixels replaced). On any
// failure throws tw::Error with the user's message and leaves target
// unchanged:
//   Unknown picture file extension (.%s)
//   Cannot open file "<path>". <reason>
//   Bitmap image is not valid
//   JPEG error #%d
//   A picture of W x H pixels needs N MB of memory, more than the M MB set
//   aside for decoding pictures
// Texts that do not name the file carry it as the error's file. The file's
// bytes and the decoding are reserved in the budget while they are held.
void loadPicture(Picture& target, const std::string& path);
void loadPicture(Picture& target, const std::string& path, DecodeBudget& budget);

// Reads a picture file (at most kMaxPictureFileBytes) after reserving its
// size in the reservation, which must be empty. Fails as loadPicture does.
constexpr std::size_t kMaxPictureFileBytes = std::size_t{1} << 30;
Bytes readPictureFile(const std::string& path, DecodeBudget::Reservation& reservation);

} // namespace tw
