#include "imaging/jpeg.h"

#include "platform/errors.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace tw {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return.
// It jumps back to the frame that called setjmp; that frame holds no C++
// object with a destructor, and the libjpeg structs live in the caller's
// frame so they can always be destroyed afterwards.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (corrupt or truncated data) and trace messages are ignored:
// libjpeg pads what is missing and decoding goes on.
void ignoreMessage(j_common_ptr, int) {}
void ignoreOutput(j_common_ptr) {}

void installErrorManager(ErrorManager& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = jumpOnError;
    err.pub.emit_message = ignoreMessage;
    err.pub.output_message = ignoreOutput;
}

[[noreturn]] void failWith(j_common_ptr cinfo, int code)
{
    cinfo->err->msg_code = code;
    (*cinfo->err->error_exit)(cinfo);
    std::abort(); // error_exit never returns
}

// A progressive file may hold any number of scans, each one a pass over the
// whole coefficient buffer; a few bytes per scan would make a hang.
void limitScans(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans)
        failWith(cinfo, JERR_BAD_PROGRESSION);
}

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
};

// libjpeg's message codes are never negative.
constexpr int kDecodeOk = -2;
constexpr int kDecodeNoMemory = -1;

bool tryResize(Picture& picture, int width, int height) noexcept
{
    try {
        picture.resizeUninitialized(width, height);
        return true;
    } catch (...) {
        return false;
    }
}

// Returns kDecodeOk, kDecodeNoMemory or libjpeg's message code. The caller
// destroys d->cinfo in every case.
int runDecoder(Decoder* d, const std::uint8_t* data, std::size_t size, Picture* out)
{
    j_decompress_ptr cinfo = &d->cinfo;
    if (setjmp(d->err.jump))
        return d->err.pub.msg_code;

    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = static_cast<long>(kJpegMemoryLimit);
    d->progress.progress_monitor = limitScans;
    cinfo->progress = &d->progress;
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(cinfo, TRUE);

    if (cinfo->image_width > static_cast<JDIMENSION>(Picture::kMaxDimension) ||
        cinfo->image_height > static_cast<JDIMENSION>(Picture::kMaxDimension) ||
        std::uint64_t{cinfo->image_width} * cinfo->image_height > kMaxJpegPixels)
        failWith(reinterpret_cast<j_common_ptr>(cinfo), JERR_IMAGE_TOO_BIG);

    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_fancy_upsampling = TRUE;
    cinfo->do_block_smoothing = TRUE;
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo->out_color_space = JCS_GRAYSCALE;
        cinfo->quantize_colors = TRUE;
        cinfo->desired_number_of_colors = 236;
        cinfo->dither_mode = JDITHER_FS;
        cinfo->two_pass_quantize = FALSE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        break;
    default:
        cinfo->out_color_space = JCS_RGB;
        break;
    }
    jpeg_start_decompress(cinfo);

    const int width = static_cast<int>(cinfo->output_width);
    const int height = static_cast<int>(cinfo->output_height);
    if (!tryResize(*out, width, height))
        return kDecodeNoMemory;
    if (out->empty()) {
        jpeg_abort_decompress(cinfo);
        return kDecodeOk;
    }

    const JDIMENSION rowBytes = cinfo->output_width * static_cast<JDIMENSION>(cinfo->output_components);
    JSAMPARRAY buffer =
        (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, rowBytes, 1);
    // Adobe writes CMYK inverted (0 = full ink); plain CMYK files do not.
    const bool inverted = cinfo->saw_Adobe_marker;

    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = static_cast<int>(cinfo->output_scanline);
        std::uint8_t* dst = out->row(y);
        if (cinfo->out_color_space == JCS_RGB) {
            JSAMPROW row = dst;
            if (jpeg_read_scanlines(cinfo, &row, 1) != 1)
                failWith(reinterpret_cast<j_common_ptr>(cinfo), JERR_INPUT_EOF);
            for (int x = 0; x < width; ++x, dst += 3)
                std::swap(dst[0], dst[2]);
        } else if (cinfo->out_color_space == JCS_GRAYSCALE) {
            if (jpeg_read_scanlines(cinfo, buffer, 1) != 1)
                failWith(reinterpret_cast<j_common_ptr>(cinfo), JERR_INPUT_EOF);
            const JSAMPLE* grey = cinfo->colormap[0];
            const JSAMPLE* src = buffer[0];
            for (int x = 0; x < width; ++x, dst += 3)
                dst[0] = dst[1] = dst[2] = grey[src[x]];
        } else {
            if (jpeg_read_scanlines(cinfo, buffer, 1) != 1)
                failWith(reinterpret_cast<j_common_ptr>(cinfo), JERR_INPUT_EOF);
            const JSAMPLE* src = buffer[0];
            for (int x = 0; x < width; ++x, src += 4, dst += 3) {
                unsigned c = src[0], m = src[1], yy = src[2], k = src[3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    yy = 255 - yy;
                    k = 255 - k;
                }
                dst[0] = static_cast<std::uint8_t>((yy * k + 127) / 255);
                dst[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
                dst[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
            }
        }
    }
    jpeg_finish_decompress(cinfo);
    return kDecodeOk;
}

// Compressed output grows a byte vector owned by the caller. libjpeg's own
// memory destination would leak its buffer when an error jumps out.
struct VectorDestination {
    jpeg_destination_mgr pub;
    Bytes* bytes;
};

constexpr std::size_t kFirstOutputSize = 1 << 16;

bool tryGrow(Bytes& bytes, std::size_t size) noexcept
{
    try {
        bytes.resize(size);
        return true;
    } catch (...) {
        return false;
    }
}

void startDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    if (!tryGrow(*dest->bytes, kFirstOutputSize))
        failWith(reinterpret_cast<j_common_ptr>(cinfo), JERR_OUT_OF_MEMORY);
    dest->pub.next_output_byte = dest->bytes->data();
    dest->pub.free_in_buffer = dest->bytes->size();
}

boolean growDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    const std::size_t used = dest->bytes->size();
    if (!tryGrow(*dest->bytes, used * 2))
        failWith(reinterpret_cast<j_common_ptr>(cinfo), JERR_OUT_OF_MEMORY);
    dest->pub.next_output_byte = dest->bytes->data() + used;
    dest->pub.free_in_buffer = dest->bytes->size() - used;
    return TRUE;
}

void finishDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    dest->bytes->resize(dest->bytes->size() - dest->pub.free_in_buffer); // shrinking never throws
}

struct Encoder {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    VectorDestination dest;
};

constexpr int kEncodeOk = -2;

// Returns kEncodeOk or libjpeg's message code. The caller destroys e->cinfo.
int runEncoder(Encoder* e, const Picture* picture, int quality)
{
    j_compress_ptr cinfo = &e->cinfo;
    if (setjmp(e->err.jump))
        return e->err.pub.msg_code;

    jpeg_create_compress(cinfo);
    e->dest.pub.init_destination = startDestination;
    e->dest.pub.empty_output_buffer = growDestination;
    e->dest.pub.term_destination = finishDestination;
    cinfo->dest = &e->dest.pub;

    cinfo->image_width = static_cast<JDIMENSION>(picture->width());
    cinfo->image_height = static_cast<JDIMENSION>(picture->height());
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);

    JSAMPARRAY buffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                    cinfo->image_width * 3, 1);
    while (cinfo->next_scanline < cinfo->image_height) {
        const std::uint8_t* src = picture->row(static_cast<int>(cinfo->next_scanline));
        JSAMPLE* dst = buffer[0];
        for (int x = 0; x < picture->width(); ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        jpeg_write_scanlines(cinfo, buffer, 1);
    }
    jpeg_finish_compress(cinfo);
    return kEncodeOk;
}

std::string jpegErrorText(int code)
{
    return "JPEG error #" + std::to_string(code);
}

} // namespace

void decodeJpeg(const std::uint8_t* data, std::size_t size, Picture& target)
{
    Picture result;
    Decoder d{};
    d.cinfo.err = &d.err.pub;
    installErrorManager(d.err);
    const int rc = runDecoder(&d, data, size, &result);
    jpeg_destroy_decompress(&d.cinfo);
    if (rc == kDecodeNoMemory)
        throw std::bad_alloc();
    if (rc != kDecodeOk)
        throw Error(jpegErrorText(rc));
    target.swap(result);
}

Bytes encodeJpeg(const Picture& picture, int quality)
{
    Bytes bytes;
    Encoder e{};
    e.cinfo.err = &e.err.pub;
    installErrorManager(e.err);
    e.dest.bytes = &bytes;
    const int rc = runEncoder(&e, &picture, quality);
    jpeg_destroy_compress(&e.cinfo);
    if (rc != kEncodeOk)
        throw Error(jpegErrorText(rc));
    return bytes;
}

void saveJpeg(const Picture& picture, const std::string& path, int quality)
{
    writeFileAtomic(path, encodeJpeg(picture, quality));
}

} // namespace tw
