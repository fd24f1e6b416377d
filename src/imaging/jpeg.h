#pragma once
// JPEG reading and writing through libjpeg-turbo's IJG interface.
#include "imaging/picture.h"
#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tw {

// Limits on what decodeJpeg accepts, so a small hostile file cannot make it
// allocate or work without bound: the picture's pixel count (16384 x 16384),
// libjpeg's own working memory, and the number of scans of a progressive
// file (real files have a few dozen at most). Beyond them decoding fails
// with "JPEG error #<code>": JERR_IMAGE_TOO_BIG for the size,
// JERR_NO_BACKING_STORE for the memory and JERR_BAD_PROGRESSION for the scans.
constexpr std::uint64_t kMaxJpegPixels = std::uint64_t{1} << 28;
constexpr std::size_t kJpegMemoryLimit = std::size_t{2} << 30;
constexpr int kMaxJpegScans = 500;

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
