// Writes the benchmark's library of camera-sized photographs and its main
// picture: OUT/library/photo-NNN.jpg and OUT/main.jpg. The pictures come
// from fixed seeds, so every machine benchmarks the same files.
//
//   make_bench_library OUT [COUNT [WIDTHxHEIGHT]]
//
// COUNT 0: the main picture only. WIDTHxHEIGHT: the photographs' size
// (default 1600x1200), smaller for the very large libraries of the big-grid
// benchmark so they stay quick to make and small on disk.
#include "synth_pictures.h"

#include "imaging/jpeg.h"
#include "platform/files.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kPhotoWidth = 1600, kPhotoHeight = 1200;
constexpr int kMaxPhotoSide = 8000;
constexpr int kMainSize = 1536;
constexpr int kQuality = 90;

std::string photoName(int i)
{
    char name[32];
    std::snprintf(name, sizeof name, "photo-%03d.jpg", i + 1);
    return name;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: make_bench_library OUT [COUNT [WIDTHxHEIGHT]]\n");
        return 2;
    }
    const std::string out = argv[1];
    long count = 300;
    int photoWidth = kPhotoWidth, photoHeight = kPhotoHeight;
    if (argc == 4 && (std::sscanf(argv[3], "%dx%d", &photoWidth, &photoHeight) != 2 || photoWidth < 1 ||
                      photoHeight < 1 || photoWidth > kMaxPhotoSide || photoHeight > kMaxPhotoSide)) {
        std::fprintf(stderr, "make_bench_library: WIDTHxHEIGHT must be two sides of 1..%d pixels\n", kMaxPhotoSide);
        return 2;
    }
    if (argc >= 3) {
        char* end = nullptr;
        count = std::strtol(argv[2], &end, 10);
        if (end == argv[2] || *end != '\0')
            count = -1;
    }
    if (count < 0 || count > 100000) {
        std::fprintf(stderr, "make_bench_library: COUNT must be 0..100000\n");
        return 2;
    }
    try {
        const std::string libraryDir = tw::joinPath(out, "library");
        std::filesystem::create_directories(libraryDir);

        std::atomic<int> next{0};
        std::mutex errorMutex;
        std::string firstError;
        auto work = [&] {
            for (int i = next++; i < count; i = next++) {
                try {
                    tw::tools::PhotoRecipe recipe;
                    recipe.width = photoWidth;
                    recipe.height = photoHeight;
                    recipe.seed = 500000 + static_cast<std::uint64_t>(i);
                    recipe.kind = tw::tools::sceneKindForSeed(recipe.seed);
                    recipe.grain = 3.0 + (i % 4) * 0.75;
                    tw::saveJpeg(tw::tools::makePhoto(recipe), tw::joinPath(libraryDir, photoName(i)), kQuality);
                } catch (const std::exception& e) {
                    std::lock_guard lock(errorMutex);
                    if (firstError.empty())
                        firstError = e.what();
                }
            }
        };
        unsigned threads = std::max(1u, std::thread::hardware_concurrency());
        std::vector<std::thread> pool;
        for (unsigned t = 0; t < threads; ++t)
            pool.emplace_back(work);
        for (auto& t : pool)
            t.join();
        if (!firstError.empty())
            throw std::runtime_error(firstError);

        tw::tools::PhotoRecipe main;
        main.width = main.height = kMainSize;
        main.seed = 777;
        main.kind = tw::tools::SceneKind::Sunset;
        main.grain = 2.0;
        tw::saveJpeg(tw::tools::makePhoto(main), tw::joinPath(out, "main.jpg"), 90);
        std::printf("make_bench_library: %ld photographs of %d x %d in %s, main.jpg %d x %d\n", count, photoWidth,
                    photoHeight, libraryDir.c_str(), kMainSize, kMainSize);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_bench_library: %s\n", e.what());
        return 1;
    }
}
