#include "imaging/jpeg.h"

#include "platform/errors.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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
constexpr int kDecodeCallerFailed = -3;  // a callback threw; its exception is kept

// Runs a callback from inside a libjpeg frame: an exception must not cross
// the setjmp frame, so it is kept for the caller to throw once libjpeg's
// state is destroyed.
template <class Work>
bool guarded(std::exception_ptr& error, Work&& work) noexcept
{
    try {
        work();
        return true;
    } catch (...) {
        error = std::current_exception();
        return false;
    }
}

// What libjpeg will allocate on its own for this file: fixed tables, strip
// buffers a few block rows high, and for a file of several scans (every
// progressive file) the coefficients of the whole picture, two bytes per
// coefficient. Generous rather than tight: it is also the limit libjpeg is
// held to.
std::uint64_t jpegWorkingBytes(j_decompress_ptr cinfo)
{
    std::uint64_t bytes = std::uint64_t{2} << 20;
    bytes += std::uint64_t{96} * cinfo->image_width * static_cast<std::uint64_t>(cinfo->num_components);
    if (jpeg_has_multiple_scans(cinfo)) {
        for (int ci = 0; ci < cinfo->num_components; ++ci) {
            const jpeg_component_info& c = cinfo->comp_info[ci];
            const std::uint64_t h = static_cast<std::uint64_t>(c.h_samp_factor);
            const std::uint64_t v = static_cast<std::uint64_t>(c.v_samp_factor);
            const std::uint64_t across = (c.width_in_blocks + h - 1) / h * h;
            const std::uint64_t down = (c.height_in_blocks + v - 1) / v * v;
            bytes += across * down * sizeof(JBLOCK);
        }
    }
    return bytes;
}

// The header checks and decoder settings shared by both decodes.
void readHeaderAndConfigure(Decoder* d, const std::uint8_t* data, std::size_t size)
{
    j_decompress_ptr cinfo = &d->cinfo;
    jpeg_create_decompress(cinfo);
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
        // Straight in the pictures' byte order: no swap afterwards.
        cinfo->out_color_space = JCS_EXT_BGR;
        break;
    }
}

// Holds libjpeg to the working memory reserved for it.
void limitWorkingMemory(j_decompress_ptr cinfo, std::uint64_t workingBytes)
{
    const std::uint64_t cap = static_cast<std::uint64_t>(LONG_MAX);
    cinfo->mem->max_memory_to_use = static_cast<long>(std::min(workingBytes, cap));
}

// Converts CMYK samples to blue, green, red. Adobe writes CMYK inverted
// (0 = full ink); plain CMYK files do not.
void cmykToBgr(const JSAMPLE* src, std::uint8_t* dst, int width, bool inverted)
{
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

void greyToBgr(const JSAMPLE* src, std::uint8_t* dst, int width, const JSAMPLE* levels)
{
    for (int x = 0; x < width; ++x, dst += 3)
        dst[0] = dst[1] = dst[2] = levels[src[x]];
}

void readOneRow(j_decompress_ptr cinfo, JSAMPROW row)
{
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1)
        failWith(reinterpret_cast<j_common_ptr>(cinfo), JERR_INPUT_EOF);
}

struct FullDecode {
    Picture* out = nullptr;
    DecodeBudget::Reservation* reservation = nullptr;
    std::exception_ptr error;
};

// Returns kDecodeOk, kDecodeCallerFailed or libjpeg's
// message code. The caller destroys d->cinfo in every case.
int runDecoder(Decoder* d, const std::uint8_t* data, std::size_t size, FullDecode* job)
{
    j_decompress_ptr cinfo = &d->cinfo;
    if (setjmp(d->err.jump))
        return d->err.pub.msg_code;

    readHeaderAndConfigure(d, data, size);
    const std::uint64_t working = jpegWorkingBytes(cinfo);
    const std::uint64_t pixels = std::uint64_t{cinfo->image_width} * cinfo->image_height * 3;
    const std::uint64_t held = job->reservation->bytes();
    if (!guarded(job->error, [&] {
            job->reservation->resize(held + pixels + working, 0,
                                     pictureOfSize(static_cast<int>(cinfo->image_width),
                                                   static_cast<int>(cinfo->image_height)));
        }))
        return kDecodeCallerFailed;
    limitWorkingMemory(cinfo, working);
    jpeg_start_decompress(cinfo);

    const int width = static_cast<int>(cinfo->output_width);
    const int height = static_cast<int>(cinfo->output_height);
    if (!guarded(job->error, [&] { job->out->resizeUninitialized(width, height); }))
        return kDecodeCallerFailed;
    Picture* out = job->out;
    if (out->empty()) {
        jpeg_abort_decompress(cinfo);
        return kDecodeOk;
    }

    const JDIMENSION rowBytes = cinfo->output_width * static_cast<JDIMENSION>(cinfo->output_components);
    JSAMPARRAY buffer =
        (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, rowBytes, 1);
    const bool inverted = cinfo->saw_Adobe_marker;

    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = static_cast<int>(cinfo->output_scanline);
        std::uint8_t* dst = out->row(y);
        if (cinfo->out_color_space == JCS_EXT_BGR) {
            readOneRow(cinfo, dst);
        } else if (cinfo->out_color_space == JCS_GRAYSCALE) {
            readOneRow(cinfo, buffer[0]);
            greyToBgr(buffer[0], dst, width, cinfo->colormap[0]);
        } else {
            readOneRow(cinfo, buffer[0]);
            cmykToBgr(buffer[0], dst, width, inverted);
        }
    }
    jpeg_finish_decompress(cinfo);
    return kDecodeOk;
}

constexpr int kRowsPerRead = 16;

struct RowsDecode {
    JpegRowReceiver* receiver = nullptr;
    std::exception_ptr error;
};

// Where a partial decode starts and ends in the decoder's output.
struct Columns {
    JDIMENSION first = 0;  // first column libjpeg decodes
    JDIMENSION width = 0;  // columns it decodes
};

// The block columns around region r (one block column of margin on each
// side), aligned the way jpeg_crop_scanline aligns them. The whole width
// when that is what they come to.
Columns decodedColumns(j_decompress_ptr cinfo, Rect r)
{
    const JDIMENSION full = cinfo->image_width;
    const auto block = static_cast<JDIMENSION>(cinfo->max_h_samp_factor * DCTSIZE);
    const auto left = static_cast<JDIMENSION>(r.left), right = static_cast<JDIMENSION>(r.right);
    JDIMENSION first = left > block ? (left - block) / block * block : 0;
    JDIMENSION end = right + block < full ? right + block : full;
    if (first == 0 && end == full)
        return Columns{0, full};
    return Columns{first, end - first};
}

int runRowDecoder(Decoder* d, const std::uint8_t* data, std::size_t size, RowsDecode* job)
{
    j_decompress_ptr cinfo = &d->cinfo;
    if (setjmp(d->err.jump))
        return d->err.pub.msg_code;

    readHeaderAndConfigure(d, data, size);
    const int width = static_cast<int>(cinfo->image_width);
    const int height = static_cast<int>(cinfo->image_height);
    Rect r{};
    if (!guarded(job->error, [&] {
            r = job->receiver->region(width, height);
            if (r.left < 0 || r.top < 0 || r.right > width || r.bottom > height || r.width() <= 0 ||
                r.height() <= 0)
                throw std::logic_error("decode region outside the picture");
        }))
        return kDecodeCallerFailed;

    const bool grey = cinfo->out_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo->out_color_space == JCS_CMYK;
    // Colour rows land in the buffer as libjpeg writes them, margins and
    // all; converted rows hold the region only.
    const Columns cols = grey ? Columns{0, static_cast<JDIMENSION>(width)} : decodedColumns(cinfo, r);
    const std::size_t stride =
        grey || cmyk ? static_cast<std::size_t>(r.width()) * 3 : static_cast<std::size_t>(cols.width) * 3;
    const std::size_t bufferBytes = stride * static_cast<std::size_t>(r.height());
    const std::uint64_t working = jpegWorkingBytes(cinfo);
    std::uint8_t* buffer = nullptr;
    if (!guarded(job->error, [&] { buffer = job->receiver->memory(bufferBytes, working); }))
        return kDecodeCallerFailed;
    limitWorkingMemory(cinfo, working);
    jpeg_start_decompress(cinfo);

    JDIMENSION first = cols.first, decoded = cols.width;
    if (decoded != cinfo->output_width) {
        jpeg_crop_scanline(cinfo, &first, &decoded);
        if (first != cols.first || decoded != cols.width)
            failWith(reinterpret_cast<j_common_ptr>(cinfo), JERR_BAD_CROP_SPEC);
    }
    const std::size_t offset = grey || cmyk ? 0 : static_cast<std::size_t>(static_cast<JDIMENSION>(r.left) - first) * 3;
    const PictureView view(buffer + offset, stride, r.width(), r.height());
    JSAMPROW scratch = nullptr;
    if (grey || cmyk)
        scratch = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                              decoded * static_cast<JDIMENSION>(cinfo->output_components), 1)[0];
    const bool inverted = cinfo->saw_Adobe_marker;
    const std::size_t regionOffset = static_cast<std::size_t>(static_cast<JDIMENSION>(r.left) - first);

    // The quantiser's error diffusion needs every row above the region;
    // other files skip them.
    if (grey) {
        while (cinfo->output_scanline < static_cast<JDIMENSION>(r.top))
            readOneRow(cinfo, scratch);
    } else if (r.top > 0) {
        jpeg_skip_scanlines(cinfo, static_cast<JDIMENSION>(r.top));
    }
    for (int y = 0; y < r.height();) {
        std::uint8_t* dst = buffer + stride * static_cast<std::size_t>(y);
        int rows = 1;
        if (grey) {
            readOneRow(cinfo, scratch);
            greyToBgr(scratch + regionOffset, dst, r.width(), cinfo->colormap[0]);
        } else if (cmyk) {
            readOneRow(cinfo, scratch);
            cmykToBgr(scratch + regionOffset * 4, dst, r.width(), inverted);
        } else {
            // Several rows per call, straight into the buffer: libjpeg then
            // upsamples into them without an intermediate copy.
            JSAMPROW pointers[kRowsPerRead];
            const int want = std::min(kRowsPerRead, r.height() - y);
            for (int k = 0; k < want; ++k)
                pointers[k] = dst + stride * static_cast<std::size_t>(k);
            rows = static_cast<int>(jpeg_read_scanlines(cinfo, pointers, static_cast<JDIMENSION>(want)));
            if (rows < 1)
                failWith(reinterpret_cast<j_common_ptr>(cinfo), JERR_INPUT_EOF);
        }
        y += rows;
        if (!guarded(job->error, [&] { job->receiver->rowsReady(view, y); }))
            return kDecodeCallerFailed;
    }
    // The rest is read, not decoded, so that a file fails here exactly
    // when it fails in a whole decode. The last row is decoded all the
    // same: skipping to the end would stop reading the file there, and
    // whatever follows the rows (more scans, a second frame header) would
    // go unseen.
    const JDIMENSION below = cinfo->output_height - cinfo->output_scanline;
    if (below > 0) {
        if (below > 1)
            jpeg_skip_scanlines(cinfo, below - 1);
        if (!scratch)
            scratch = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                  decoded * static_cast<JDIMENSION>(cinfo->output_components), 1)[0];
        readOneRow(cinfo, scratch);
    }
    jpeg_finish_decompress(cinfo);
    return kDecodeOk;
}

// Compressed output goes to the caller's sink a buffer at a time (libjpeg's
// own memory destination would leak its buffer when an error jumps out).
// An exception must not cross libjpeg's frames: what the sink throws is
// kept, libjpeg is left through the error jump, and the caller rethrows it.
struct SinkDestination {
    jpeg_destination_mgr pub;
    const ByteSink* sink;
    std::uint8_t* buffer;
    std::size_t size;
    std::exception_ptr* failure;
};

constexpr std::size_t kOutputBufferSize = std::size_t{1} << 18;

void passToSink(j_compress_ptr cinfo, std::size_t bytes)
{
    auto* dest = reinterpret_cast<SinkDestination*>(cinfo->dest);
    bool passed = true;
    try {
        (*dest->sink)(dest->buffer, bytes);
    } catch (...) {
        *dest->failure = std::current_exception();
        passed = false;
    }
    if (!passed)
        failWith(reinterpret_cast<j_common_ptr>(cinfo), JERR_FILE_WRITE);
}

void startDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<SinkDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = dest->size;
}

boolean emptyDestination(j_compress_ptr cinfo)
{
    // libjpeg asks for the whole buffer to be taken, whatever free_in_buffer says.
    auto* dest = reinterpret_cast<SinkDestination*>(cinfo->dest);
    passToSink(cinfo, dest->size);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = dest->size;
    return TRUE;
}

void finishDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<SinkDestination*>(cinfo->dest);
    const std::size_t used = dest->size - dest->pub.free_in_buffer;
    if (used > 0)
        passToSink(cinfo, used);
}

struct Encoder {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    SinkDestination dest;
};

constexpr int kEncodeOk = -2;

// The export writes baseline colour files; the decoder probe also writes
// progressive and greyscale ones.
enum class EncodeKind { Baseline, Progressive, Grey };

// Returns kEncodeOk or libjpeg's message code. The caller destroys e->cinfo.
int runEncoder(Encoder* e, const Picture* picture, int quality, EncodeKind kind = EncodeKind::Baseline)
{
    j_compress_ptr cinfo = &e->cinfo;
    if (setjmp(e->err.jump))
        return e->err.pub.msg_code;

    jpeg_create_compress(cinfo);
    e->dest.pub.init_destination = startDestination;
    e->dest.pub.empty_output_buffer = emptyDestination;
    e->dest.pub.term_destination = finishDestination;
    cinfo->dest = &e->dest.pub;

    cinfo->image_width = static_cast<JDIMENSION>(picture->width());
    cinfo->image_height = static_cast<JDIMENSION>(picture->height());
    const bool grey = kind == EncodeKind::Grey;
    cinfo->input_components = grey ? 1 : 3;
    cinfo->in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    if (kind == EncodeKind::Progressive)
        jpeg_simple_progression(cinfo);
    jpeg_start_compress(cinfo, TRUE);

    JSAMPARRAY buffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                    cinfo->image_width * 3, 1);
    while (cinfo->next_scanline < cinfo->image_height) {
        const std::uint8_t* src = picture->row(static_cast<int>(cinfo->next_scanline));
        JSAMPLE* dst = buffer[0];
        for (int x = 0; x < picture->width(); ++x, src += 3) {
            if (grey) {
                *dst++ = src[1];
                continue;
            }
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            dst += 3;
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

void decodeJpeg(const std::uint8_t* data, std::size_t size, Picture& target, DecodeBudget::Reservation& reservation)
{
    Picture result;
    FullDecode job;
    job.out = &result;
    job.reservation = &reservation;
    Decoder d{};
    d.cinfo.err = &d.err.pub;
    installErrorManager(d.err);
    const int rc = runDecoder(&d, data, size, &job);
    jpeg_destroy_decompress(&d.cinfo);
    if (rc == kDecodeCallerFailed)
        std::rethrow_exception(job.error);
    if (rc != kDecodeOk)
        throw Error(jpegErrorText(rc));
    target.swap(result);
}

void decodeJpeg(const std::uint8_t* data, std::size_t size, Picture& target)
{
    DecodeBudget::Reservation reservation = sharedDecodeBudget().reserve(0);
    decodeJpeg(data, size, target, reservation);
}

void decodeJpegRows(const std::uint8_t* data, std::size_t size, JpegRowReceiver& receiver)
{
    RowsDecode job;
    job.receiver = &receiver;
    Decoder d{};
    d.cinfo.err = &d.err.pub;
    installErrorManager(d.err);
    const int rc = runRowDecoder(&d, data, size, &job);
    jpeg_destroy_decompress(&d.cinfo);
    if (rc == kDecodeCallerFailed)
        std::rethrow_exception(job.error);
    if (rc != kDecodeOk)
        throw Error(jpegErrorText(rc));
}

namespace {

void encodeInto(const Picture& picture, int quality, EncodeKind kind, const ByteSink& sink)
{
    std::vector<std::uint8_t> buffer(kOutputBufferSize);
    std::exception_ptr failure;
    Encoder e{};
    e.cinfo.err = &e.err.pub;
    installErrorManager(e.err);
    e.dest.sink = &sink;
    e.dest.buffer = buffer.data();
    e.dest.size = buffer.size();
    e.dest.failure = &failure;
    const int rc = runEncoder(&e, &picture, quality, kind);
    jpeg_destroy_compress(&e.cinfo);
    if (failure)
        std::rethrow_exception(failure);
    if (rc != kEncodeOk)
        throw Error(jpegErrorText(rc));
}

} // namespace

void writeJpeg(const Picture& picture, int quality, const ByteSink& sink)
{
    encodeInto(picture, quality, EncodeKind::Baseline, sink);
}

Bytes encodeJpeg(const Picture& picture, int quality)
{
    Bytes bytes;
    writeJpeg(picture, quality,
              [&bytes](const std::uint8_t* data, std::size_t size) { bytes.insert(bytes.end(), data, data + size); });
    return bytes;
}

void saveJpeg(const Picture& picture, const std::string& path, int quality)
{
    writeFileAtomicStreamed(path, [&](const ByteSink& write) { writeJpeg(picture, quality, write); });
}

namespace {

Bytes encodeKind(const Picture& picture, EncodeKind kind)
{
    Bytes bytes;
    encodeInto(picture, 90, kind,
               [&bytes](const std::uint8_t* data, std::size_t size) { bytes.insert(bytes.end(), data, data + size); });
    return bytes;
}

// Collects the rows of an inner region, as the library stage decodes.
class ProbeRegion final : public JpegRowReceiver {
public:
    explicit ProbeRegion(Bytes& out) : out_(out) {}
    Rect region(int width, int height) override { return Rect{width / 4 + 1, height / 3, width - 2, height - 1}; }
    std::uint8_t* memory(std::size_t bufferBytes, std::uint64_t) override
    {
        buffer_.assign(bufferBytes, 0);
        return buffer_.data();
    }
    void rowsReady(const PictureView& view, int count) override
    {
        for (; done_ < count; ++done_)
            out_.insert(out_.end(), view.row(done_), view.row(done_) + static_cast<std::size_t>(view.width) * 3);
    }

private:
    Bytes& out_;
    Bytes buffer_;
    int done_ = 0;
};

} // namespace

Bytes jpegDecoderProbe()
{
    // Smooth gradients, hard edges and a little grain: upsampling, smoothing
    // and dithering all leave their mark.
    Picture picture(48, 40);
    std::uint32_t grain = 12345;
    for (int y = 0; y < picture.height(); ++y) {
        std::uint8_t* p = picture.row(y);
        for (int x = 0; x < picture.width(); ++x, p += 3) {
            grain = grain * 1664525u + 1013904223u;
            const int noise = static_cast<int>(grain >> 28) - 8;
            const bool edge = (x / 7 + y / 5) % 3 == 0;
            p[0] = static_cast<std::uint8_t>(std::clamp(x * 5 + noise, 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(edge ? 230 : y * 6 + noise, 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(255 - x * 3 - y * 2 + noise, 0, 255));
        }
    }
    Bytes out;
    for (EncodeKind kind : {EncodeKind::Baseline, EncodeKind::Progressive, EncodeKind::Grey}) {
        const Bytes file = encodeKind(picture, kind);
        DecodeBudget budget(std::uint64_t{64} << 20);
        DecodeBudget::Reservation reservation = budget.reserve(0);
        Picture decoded;
        decodeJpeg(file.data(), file.size(), decoded, reservation);
        for (int y = 0; y < decoded.height(); ++y)
            out.insert(out.end(), decoded.row(y), decoded.row(y) + static_cast<std::size_t>(decoded.width()) * 3);
        ProbeRegion region(out);
        decodeJpegRows(file.data(), file.size(), region);
    }
    return out;
}

static_assert(kMaxJpegDimension == JPEG_MAX_DIMENSION);

} // namespace tw
