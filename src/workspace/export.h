#pragma once
// Saving the picture in MosaicImage as BMP or JPEG.
#include "imaging/picture.h"

#include <string>

namespace tw {

enum class PictureFileType { Bmp = 1, Jpeg = 2 };  // the save dialog's filter numbers

// The name actually written: ".bmp" or ".jpg" appended unless the
// lower-cased extension (from the last dot) already is that.
std::string exportFileName(const std::string& chosen, PictureFileType type);

// Writes picture as a 24-bit BMP or a quality 75 baseline JPEG to
// exportFileName(chosen, type), replacing any file there; returns that name.
// The empty picture (before anything was created) gives a BMP of 0 x 0
// pixels and a JPEG stream without an image: the 4 bytes FF D8 FF D9.
std::string exportPicture(const Picture& picture, const std::string& chosen, PictureFileType type);

} // namespace tw
