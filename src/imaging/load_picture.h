#pragma once
// The one way a picture file becomes a working picture.
#include "imaging/picture.h"

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
void loadPicture(Picture& target, const std::string& path);

} // namespace tw
