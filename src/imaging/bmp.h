#pragma once
// Windows BMP reading and writing.
#include "imaging/byte_sink.h"
#include "imaging/decode_budget.h"
#include "imaging/picture.h"
#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tw {

// Decodes a complete BMP file held in memory: core (OS/2) and information
// headers up to V5; 1, 2, 4, 8, 16, 24 and 32 bits; uncompressed, RLE4, RLE8
// and bit-field masks; bottom-up and top-down. Palette pictures are expanded,
// so the result is always 24-bit. Any malformed, truncated or absurd file
// throws tw::Error("Bitmap image is not valid") and leaves target unchanged.
// The pixels are reserved in the shared decode budget before they are
// allocated (a picture larger than the whole budget is refused with its
// message); the second form grows a reservation the caller holds.
void decodeBmp(const std::uint8_t* data, std::size_t size, Picture& target);
void decodeBmp(const std::uint8_t* data, std::size_t size, Picture& target, DecodeBudget::Reservation& reservation);

// Whether a 24-bit picture of width x height pixels fits the format: the
// file's size (headers plus rows padded to 4 bytes) must fit the 32-bit
// size fields, so a BMP file holds at most 4 GB (37600 x 37600 pixels fit,
// 38400 x 38400 do not).
bool bmpCanHold(std::uint64_t width, std::uint64_t height);

// Encodes a 24-bit BMP: 14-byte file header, 40-byte information header,
// rows bottom-up, each padded to a multiple of 4 bytes. An empty picture
// gives a valid 0 x 0 file of the two headers only. A picture whose file
// would not fit the format's 32-bit size fields throws tw::Error naming its
// size.
Bytes encodeBmp(const Picture& picture);

// The same bytes handed to sink in pieces of about a megabyte (the headers
// and the first rows, then the following rows), without building the file.
// The size check throws before anything reaches the sink.
void writeBmp(const Picture& picture, const ByteSink& sink);

// writeBmp streamed to path atomically ("Cannot create file ..." on
// failure): the file is complete or not there, and at no time is more than
// a piece of it held in memory.
void saveBmp(const Picture& picture, const std::string& path);

} // namespace tw
