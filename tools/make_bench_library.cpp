// Writes the benchmark's library of camera-sized photographs and its main
// picture: OUT/library/photo-NNN.jpg and OUT/main.jpg. The pictures come
// from fixed seeds, so every machine benchmarks the same files.
//
//   make_bench_library OUT [COUNT]     (COUNT 0: the main picture only)
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
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_bench_library OUT [COUNT]\n");
        return 2;
    }
    const std::string out = argv[1];
    long count = 300;
    if (argc == 3) {
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
                    recipe.width = kPhotoWidth;
                    recipe.height = kPhotoHeight;
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
        std::printf("make_bench_library: %ld photographs of %d x %d in %s, main.jpg %d x %d\n", count, kPhotoWidth,
                    kPhotoHeight, libraryDir.c_str(), kMainSize, kMainSize);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_bench_library: %s\n", e.what());
        return 1;
    }
}
