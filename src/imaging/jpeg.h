#pragma once
// JPEG reading and writing through libjpeg-turbo's IJG interface.
#include "imaging/picture.h"
#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tw {

// Decodes a JPEG file held in memory at full scale with the accurate integer
// IDCT and fancy upsampling. Colour files come out as RGB; CMYK/YCCK files are
// converted to RGB; greyscale files go through libjpeg's one-pass quantiser
// with 236 grey levels and Floyd-Steinberg dithering and are expanded to
// equal blue, green and red bytes. Warnings (corrupt or truncated data) are
// ignored. A libjpeg error throws tw::Error("JPEG error #<code>") and leaves
// target unchanged.
void decodeJpeg(const std::uint8_t* data, std::size_t size, Picture& target);

// Baseline colour JPEG with libjpeg's defaults and the given quality.
Bytes encodeJpeg(const Picture& picture, int quality = 75);

// encodeJpeg written to path atomically ("Cannot create file ..." on failure).
void saveJpeg(const Picture& picture, const std::string& path, int quality = 75);

} // namespace tw
