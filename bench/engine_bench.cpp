// Library analysis and mosaic rendering: the one-at-a-time reference paths
// against the worker paths, on 60 camera-sized JPEG photographs and the
// wizard's default mosaic of 48 x 48 cells of 32 x 32 pixels.
#include "engine/analysis.h"
#include "engine/grid.h"
#include "engine/matching.h"
#include "engine/pipeline.h"
#include "engine/rendering.h"
#include "imaging/jpeg.h"
#include "engine/photo_cache.h"
#include "library/cell_pic_lib.h"
#include "platform/files.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int kPhotos = 60;
constexpr int kPhotoWidth = 1600, kPhotoHeight = 1200;

// Gradients, soft shapes, grain and a blown-out highlight, so that colour
// shifts clamp in part of every cell as they do with real photographs.
tw::Picture photoLike(int w, int h, std::uint32_t seed)
{
    tw::Picture p(w, h);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    const double fa = 5.0 + seed % 7, fb = 3.0 + seed % 5, tint = (seed * 37) % 120;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = p.row(y);
        for (int x = 0; x < w; ++x, row += 3) {
            const double u = double(x) / w, v = double(y) / h;
            const double blob = 60 * std::sin(u * fa) * std::cos(v * fb);
            const bool highlight = (u - 0.7) * (u - 0.7) + (v - 0.25) * (v - 0.25) < 0.01;
            const int b = highlight ? 255 : int(40 + tint + 100 * v + blob) + noise(rng);
            const int g = highlight ? 255 : int(60 + 90 * u + 0.5 * blob) + noise(rng);
            const int r = highlight ? 255 : int(170 - tint / 2 - 60 * u + 40 * std::sin((u + v) * 23.0)) + noise(rng);
            row[0] = std::uint8_t(std::clamp(b, 0, 255));
            row[1] = std::uint8_t(std::clamp(g, 0, 255));
            row[2] = std::uint8_t(std::clamp(r, 0, 255));
        }
    }
    return p;
}

// TILEWRIGHT_BENCH_PHOTOS=FOLDER (say the real photographs of
// bench/make_photo_library.sh) takes the first 60 JPEG files of that
// folder instead of the generated ones.
const tw::CellPicLib& benchLibrary()
{
    static const tw::CellPicLib lib = [] {
        if (const char* folder = std::getenv("TILEWRIGHT_BENCH_PHOTOS")) {
            std::vector<std::string> paths;
            for (const auto& e : std::filesystem::directory_iterator(folder))
                if (e.path().extension() == ".jpg")
                    paths.push_back(e.path().string());
            std::sort(paths.begin(), paths.end());
            paths.resize(std::min<std::size_t>(paths.size(), kPhotos));
            tw::CellPicLib l;
            l.replaceAll(paths);
            return l;
        }
        const auto dir = std::filesystem::temp_directory_path() / "tilewright-engine-bench";
        std::filesystem::create_directories(dir);
        tw::CellPicLib l;
        for (int i = 0; i < kPhotos; ++i) {
            const auto path = dir / ("photo-" + std::to_string(i) + ".jpg");
            if (!std::filesystem::exists(path))
                tw::saveJpeg(photoLike(kPhotoWidth, kPhotoHeight, 1000 + i), path.string(), 85);
            l.append(path.string());
        }
        return l;
    }();
    return lib;
}

tw::tmosaicproject defaultSettings(tw::RenderMode mode)
{
    tw::tmosaicproject s;
    s.cellsX = s.cellsY = 48;
    s.cellWidth = s.cellHeight = 32;
    s.mosaicWidth = s.mosaicHeight = 48 * 32;
    s.dpi = 72;
    s.renderMode = mode;
    s.stitchMode = tw::StitchMode::Loom;
    s.randomLevel = 4;
    s.colorEnhance = 50;
    s.useAllPhotos = 1;
    s.cropCell = 1;
    s.allowHFlip = s.allowVFlip = 1;
    s.repeatRadius = 4;
    s.maxRepeat = 10;
    return s;
}

// A project matched the way a creation matches it, made once per mode.
const tw::MosaicProject& matchedProject(tw::RenderMode mode)
{
    static std::unique_ptr<tw::MosaicProject> projects[2];
    auto& p = projects[mode == tw::RenderMode::SelfMosaic ? 0 : 1];
    if (!p) {
        p = std::make_unique<tw::MosaicProject>();
        p->settings = defaultSettings(mode);
        p->MainImage = photoLike(1536, 1536, 7);
        tw::NullObserver obs;
        tw::buildGrid(*p, obs);
        tw::analyzeLibrary(*p, benchLibrary(), obs);
        tw::matchCells(*p, benchLibrary(), obs);
    }
    return *p;
}

tw::EngineOptions optionsFor(const benchmark::State& state)
{
    return state.range(0) ? tw::EngineOptions{0, false} : tw::EngineOptions{0, true};
}

void BM_AnalyzeLibrary(benchmark::State& state)
{
    auto p = std::make_unique<tw::MosaicProject>();
    p->settings = defaultSettings(tw::RenderMode::Standard);
    const tw::CellPicLib& lib = benchLibrary();
    tw::NullObserver obs;
    for (auto _ : state)
        tw::analyzeLibrary(*p, lib, obs, optionsFor(state));
    state.SetLabel(state.range(0) ? "workers" : "reference");
}

void renderBench(benchmark::State& state, tw::RenderMode mode)
{
    auto p = std::make_unique<tw::MosaicProject>();
    const tw::MosaicProject& matched = matchedProject(mode);
    p->settings = matched.settings;
    p->MainImage = matched.MainImage;
    p->MosaicGrid = matched.MosaicGrid;
    const tw::CellPicLib& lib = benchLibrary();
    tw::NullObserver obs;
    for (auto _ : state)
        tw::renderMosaic(*p, lib, obs, optionsFor(state));
    state.SetLabel(state.range(0) ? "workers" : "reference");
}

void BM_RenderMosaic(benchmark::State& state) { renderBench(state, tw::RenderMode::Standard); }
void BM_RenderSelfMosaic(benchmark::State& state) { renderBench(state, tw::RenderMode::SelfMosaic); }

// A whole creation on the worker paths. Argument 0: every photograph decoded
// again for rendering (no photograph budget); 1: the library stage's
// photographs handed to rendering (the default budget).
void BM_Creation(benchmark::State& state)
{
    auto p = std::make_unique<tw::MosaicProject>();
    p->settings = defaultSettings(tw::RenderMode::Standard);
    p->MainImage = photoLike(1536, 1536, 7);
    const tw::CellPicLib& lib = benchLibrary();
    tw::EngineOptions options;
    if (state.range(0) == 0)
        options.photoCacheBytes = 0;
    tw::NullObserver obs;
    for (auto _ : state) {
        p->random = tw::Random{};
        tw::runCreation(*p, lib, obs, options);
    }
    state.SetLabel(state.range(0) ? "decoded once" : "decoded twice");
}

// One thread, so the figures are CPU time per photograph. The floor:
// libjpeg-turbo alone decoding each file (already in memory) at full size
// with the program's decoder settings into one reused buffer. Against it,
// the library stage of a loom creation on one worker: each photograph read,
// decoded once (only what the crop keeps), reduced for its signature and
// its cells, and its compact drawing data made.
void BM_LibraryStageFloor(benchmark::State& state)
{
    const tw::CellPicLib& lib = benchLibrary();
    std::vector<tw::Bytes> files;
    for (const std::string& path : lib.entries())
        files.push_back(tw::readWholeFile(path));
    std::vector<unsigned char> pixels;
    for (auto _ : state)
        for (const tw::Bytes& bytes : files) {
            jpeg_decompress_struct cinfo;
            jpeg_error_mgr err;
            cinfo.err = jpeg_std_error(&err);
            jpeg_create_decompress(&cinfo);
            jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
            jpeg_read_header(&cinfo, TRUE);
            cinfo.dct_method = JDCT_ISLOW;
            cinfo.do_fancy_upsampling = TRUE;
            cinfo.out_color_space = JCS_RGB;
            jpeg_start_decompress(&cinfo);
            const std::size_t stride = std::size_t{cinfo.output_width} * 3;
            pixels.resize(std::max(pixels.size(), stride * cinfo.output_height));
            while (cinfo.output_scanline < cinfo.output_height) {
                JSAMPROW rows[16];
                const int n = std::min<int>(16, static_cast<int>(cinfo.output_height - cinfo.output_scanline));
                for (int i = 0; i < n; ++i)
                    rows[i] = pixels.data() + stride * (cinfo.output_scanline + static_cast<JDIMENSION>(i));
                jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
            }
            jpeg_finish_decompress(&cinfo);
            jpeg_destroy_decompress(&cinfo);
        }
    state.counters["photos"] = double(files.size());
}

void BM_LibraryStageOnePass(benchmark::State& state)
{
    auto p = std::make_unique<tw::MosaicProject>();
    p->settings = defaultSettings(tw::RenderMode::Standard);
    const tw::CellPicLib& lib = benchLibrary();
    tw::NullObserver obs;
    tw::EngineOptions options{1, false};
    for (auto _ : state) {
        tw::PreparedPhotoCache cache(std::uint64_t{1} << 30);
        tw::analyzeLibrary(*p, lib, obs, options, &cache);
    }
    state.counters["photos"] = double(lib.count());
}

BENCHMARK(BM_LibraryStageFloor)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(3);
BENCHMARK(BM_LibraryStageOnePass)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(3);

// Matching a big grid against a big library, without decoding anything: a
// grid picture and signatures drawn from the photograph generator's
// colours. Arguments: cells per side, photographs, and 0 for the plain
// matcher or 1 for the bulk one (threads: one per core).
std::unique_ptr<tw::MosaicProject> bigMatchingProject(int side, int photos)
{
    auto p = std::make_unique<tw::MosaicProject>();
    tw::tmosaicproject s = defaultSettings(tw::RenderMode::Standard);
    s.cellsX = s.cellsY = side;
    s.cellWidth = s.cellHeight = 8;
    s.mosaicWidth = s.mosaicHeight = side * 8;
    p->settings = s;
    p->MainImage = photoLike(2 * side, 2 * side, 11);
    tw::NullObserver obs;
    tw::buildGrid(*p, obs);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < photos; ++i) {
        tw::ColorSignature& sig = p->CellPicTable[static_cast<std::size_t>(i)].signature;
        const int base[3] = {byte(rng), byte(rng), byte(rng)};
        int sum[3] = {0, 0, 0};
        for (int q = 0; q < 4; ++q) {
            const int v[3] = {std::clamp(base[0] + byte(rng) / 4 - 32, 0, 255), std::clamp(base[1] + byte(rng) / 4 - 32, 0, 255),
                              std::clamp(base[2] + byte(rng) / 4 - 32, 0, 255)};
            sig.c[static_cast<std::size_t>(q)] = tw::SignatureColor{std::uint8_t(v[0]), std::uint8_t(v[1]), std::uint8_t(v[2]), 0};
            for (int c = 0; c < 3; ++c)
                sum[c] += v[c];
        }
        sig.c[tw::Mean] = tw::SignatureColor{std::uint8_t(sum[0] / 4), std::uint8_t(sum[1] / 4), std::uint8_t(sum[2] / 4), 0};
    }
    return p;
}

void BM_MatchBigGrid(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0)), photos = static_cast<int>(state.range(1));
    auto p = bigMatchingProject(side, photos);
    tw::CellPicLib lib;
    std::vector<std::string> paths(static_cast<std::size_t>(photos), "unused.jpg");
    lib.replaceAll(paths);
    const tw::EngineOptions options = state.range(2) ? tw::EngineOptions{0, false} : tw::EngineOptions{0, true};
    tw::NullObserver obs;
    for (auto _ : state) {
        p->random = tw::Random{};
        p->settings.maxRepeat = 10;
        tw::matchCells(*p, lib, obs, options);
    }
    state.SetLabel(state.range(2) ? "bulk" : "plain");
}

// Argument 0: the reference path; 1: the worker path with one thread per core.
BENCHMARK(BM_AnalyzeLibrary)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_RenderMosaic)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Creation)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_MatchBigGrid)
    ->Args({400, 400, 0})
    ->Args({400, 400, 1})
    ->Args({800, 10000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_RenderSelfMosaic)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

BENCHMARK_MAIN();
