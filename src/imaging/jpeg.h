#pragma once
// JPEG reading and writing through libjpeg-turbo's IJG interface.
#include "imaging/byte_sink.h"
#include "imaging/decode_budget.h"
#include "imaging/picture.h"
#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tw {

// Limits on what decoding accepts, so a small hostile file cannot make it
// allocate or work without bound: the picture's pixel count (16384 x 16384)
// and the number of scans of a progressive file (real files have a few
// dozen at most). Beyond them decoding fails with "JPEG error #<code>":
// JERR_IMAGE_TOO_BIG for the size and JERR_BAD_PROGRESSION for the scans.
// Memory is bounded by the decode budget: the decoded pixels and libjpeg's
// working memory (for a progressive file the whole picture's coefficients)
// are reserved before libjpeg allocates anything, a picture needing more
// than the whole budget is refused with the budget's message, and libjpeg
// itself may use no more than was reserved for it (beyond that it fails
// with JERR_NO_BACKING_STORE).
constexpr std::uint64_t kMaxJpegPixels = std::uint64_t{1} << 28;
constexpr int kMaxJpegScans = 500;

// Decodes a JPEG file held in memory at full scale with the accurate integer
// IDCT and fancy upsampling. Colour files come out as RGB; CMYK/YCCK files are
// converted to RGB; greyscale files go through libjpeg's one-pass quantiser
// with 236 grey levels and Floyd-Steinberg dithering and are expanded to
// equal blue, green and red bytes. Warnings (corrupt or truncated data) are
// ignored. A libjpeg error throws tw::Error("JPEG error #<code>") and leaves
// target unchanged. The memory comes from the shared decode budget; the
// second form grows a reservation the caller holds (for the file's bytes,
// say) by what the decode needs, and keeps it until the caller lets go.
void decodeJpeg(const std::uint8_t* data, std::size_t size, Picture& target);
void decodeJpeg(const std::uint8_t* data, std::size_t size, Picture& target, DecodeBudget::Reservation& reservation);

// What decodeJpegRows asks of its caller, in this order: once the header is
// read, the part of the picture to decode; then memory for it; then, as
// rows are decoded, that they are ready. Each may throw; the decode then
// stops and the exception reaches decodeJpegRows' caller unchanged.
class JpegRowReceiver {
public:
    virtual ~JpegRowReceiver() = default;
    // The rectangle of the width x height picture to decode (non-empty,
    // inside the picture).
    virtual Rect region(int width, int height) = 0;
    // Memory for the decoded rows: a buffer of bufferBytes (which the
    // decoder fills row by row, rows stride bytes apart, and which must
    // stay until the decode ends), and workingBytes more that libjpeg may
    // allocate on its own. Returns the buffer.
    virtual std::uint8_t* memory(std::size_t bufferBytes, std::uint64_t workingBytes) = 0;
    // Rows [0, count) of the region are complete in view (the region's
    // pixels, which stay where they are until the decode ends).
    virtual void rowsReady(const PictureView& view, int count) = 0;
};

// Decodes only the receiver's region, exactly as decodeJpeg would give it:
// blue, green, red bytes, colour files straight in that order, CMYK and
// greyscale files as decodeJpeg converts them. Colour and CMYK files skip
// the rows above the region and decode only the block columns around it
// (with a margin of one block column, where smooth upsampling makes the
// edge of a partial decode differ); greyscale files go through the
// dithering quantiser from the first row, because its error diffusion
// carries across every row and column. Rows below the region are skipped
// and the file is read to its end, so a file fails here exactly when it
// fails in decodeJpeg. Errors as decodeJpeg; limits as above.
void decodeJpegRows(const std::uint8_t* data, std::size_t size, JpegRowReceiver& receiver);

// The largest width or height a JPEG file can hold (libjpeg's
// JPEG_MAX_DIMENSION); larger pictures fail to encode.
constexpr int kMaxJpegDimension = 65500;

// Baseline colour JPEG with libjpeg's defaults and the given quality.
Bytes encodeJpeg(const Picture& picture, int quality = 75);

// What this libjpeg makes of small pictures encoded here (baseline with
// 4:2:0 chroma, progressive, greyscale), each decoded whole and as an inner
// region: their pixels one after another. Another libjpeg build that
// decodes any of them differently gives other bytes; results kept between
// runs are keyed by them.
Bytes jpegDecoderProbe();

// The same bytes handed to sink as libjpeg's output buffer fills, without
// holding the compressed file.
void writeJpeg(const Picture& picture, int quality, const ByteSink& sink);

// writeJpeg streamed to path atomically ("Cannot create file ..." on failure).
void saveJpeg(const Picture& picture, const std::string& path, int quality = 75);

} // namespace tw
