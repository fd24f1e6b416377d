// The decode floor of the benchmark: libjpeg-turbo alone. Every JPEG of a
// folder is read and decoded once at full size with the decoder settings
// the program uses (accurate integer inverse DCT, smooth upsampling, block
// smoothing; colour files as RGB, greyscale files through the one-pass
// quantiser with 236 levels and Floyd-Steinberg dithering, CMYK files as
// CMYK) into a plain buffer each thread reuses, one thread per core.
// Nothing of the program is in the loop, so no program that looks at every
// photograph can analyse the library faster than this.
//
//   decode_floor FOLDER [THREADS]
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <jpeglib.h>

namespace {

struct ErrorJump {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorJump*>(cinfo->err)->jump, 1);
}

void ignoreMessage(j_common_ptr, int) {}

std::vector<std::string> jpegFiles(const std::string& folder)
{
    std::vector<std::string> paths;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return paths;
    while (const dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        if (lower.size() > 4 && (lower.ends_with(".jpg") || lower.ends_with(".jpeg")))
            paths.push_back(folder + "/" + name);
    }
    ::closedir(dir);
    std::sort(paths.begin(), paths.end());
    return paths;
}

bool readFile(const std::string& path, std::vector<unsigned char>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes.clear();
    unsigned char chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return true;
}

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorJump err;
};

// Returns the pixel count, or 0 on an error. Only trivially destructible
// objects live in this frame.
unsigned long long decodeOnce(Decoder* d, const std::vector<unsigned char>* bytes, std::vector<unsigned char>* pixels)
{
    j_decompress_ptr cinfo = &d->cinfo;
    if (setjmp(d->err.jump))
        return 0;
    jpeg_mem_src(cinfo, bytes->data(), static_cast<unsigned long>(bytes->size()));
    jpeg_read_header(cinfo, TRUE);
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_fancy_upsampling = TRUE;
    cinfo->do_block_smoothing = TRUE;
    if (cinfo->jpeg_color_space == JCS_GRAYSCALE) {
        cinfo->out_color_space = JCS_GRAYSCALE;
        cinfo->quantize_colors = TRUE;
        cinfo->desired_number_of_colors = 236;
        cinfo->dither_mode = JDITHER_FS;
        cinfo->two_pass_quantize = FALSE;
    } else if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) {
        cinfo->out_color_space = JCS_CMYK;
    } else {
        cinfo->out_color_space = JCS_RGB;
    }
    jpeg_start_decompress(cinfo);
    const std::size_t stride = std::size_t{cinfo->output_width} * static_cast<std::size_t>(cinfo->output_components);
    const std::size_t need = stride * cinfo->output_height;
    if (pixels->size() < need)
        pixels->resize(need);  // grows only: reused from photograph to photograph
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW rows[16];
        const int n = std::min<int>(16, static_cast<int>(cinfo->output_height - cinfo->output_scanline));
        for (int i = 0; i < n; ++i)
            rows[i] = pixels->data() + stride * (cinfo->output_scanline + static_cast<JDIMENSION>(i));
        jpeg_read_scanlines(cinfo, rows, static_cast<JDIMENSION>(n));
    }
    jpeg_finish_decompress(cinfo);
    return std::uint64_t{cinfo->output_width} * cinfo->output_height;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: decode_floor FOLDER [THREADS]\n");
        return 2;
    }
    const std::vector<std::string> paths = jpegFiles(argv[1]);
    if (paths.empty()) {
        std::fprintf(stderr, "decode_floor: no JPEG files in %s\n", argv[1]);
        return 1;
    }
    unsigned threads = argc == 3 ? static_cast<unsigned>(std::atoi(argv[2])) : 0;
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());

    const auto start = std::chrono::steady_clock::now();
    std::atomic<std::size_t> next{0};
    std::atomic<unsigned long long> pixels{0};
    std::mutex errorMutex;
    std::string firstError;
    auto work = [&] {
        std::vector<unsigned char> bytes, buffer;
        Decoder d{};
        d.cinfo.err = jpeg_std_error(&d.err.pub);
        d.err.pub.error_exit = jumpOnError;
        d.err.pub.emit_message = ignoreMessage;
        jpeg_create_decompress(&d.cinfo);
        for (std::size_t i = next++; i < paths.size(); i = next++) {
            unsigned long long n = 0;
            if (readFile(paths[i], bytes))
                n = decodeOnce(&d, &bytes, &buffer);
            jpeg_abort_decompress(&d.cinfo);
            if (n == 0) {
                std::lock_guard lock(errorMutex);
                if (firstError.empty())
                    firstError = paths[i];
            }
            pixels += n;
        }
        jpeg_destroy_decompress(&d.cinfo);
    };
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back(work);
    for (auto& t : pool)
        t.join();
    if (!firstError.empty()) {
        std::fprintf(stderr, "decode_floor: cannot decode %s\n", firstError.c_str());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("decode_floor: %zu pictures, %.1f megapixels, %u threads, %.3f s\n", paths.size(),
                static_cast<double>(pixels.load()) / 1e6, threads, seconds);
    return 0;
}
