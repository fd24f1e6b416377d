// The decode floor of the benchmark: every JPEG of a folder read and decoded
// once at full size, one thread per core, with the same decoder the library
// analysis uses. No mosaic program can analyse the library faster than this.
//
//   decode_floor FOLDER [THREADS]
#include "imaging/jpeg.h"
#include "platform/files.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: decode_floor FOLDER [THREADS]\n");
        return 2;
    }
    try {
        const std::string folder = argv[1];
        std::vector<std::string> paths;
        for (const tw::DirEntry& e : tw::listDirectory(folder)) {
            std::string ext = tw::extensionPart(e.name);
            std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
            if (e.isRegularFile && !e.isHidden && (ext == "jpg" || ext == "jpeg"))
                paths.push_back(tw::joinPath(folder, e.name));
        }
        std::sort(paths.begin(), paths.end());
        unsigned threads = argc == 3 ? static_cast<unsigned>(std::atoi(argv[2])) : 0;
        if (threads == 0)
            threads = std::max(1u, std::thread::hardware_concurrency());

        auto start = std::chrono::steady_clock::now();
        std::atomic<std::size_t> next{0};
        std::atomic<unsigned long long> pixels{0};
        std::mutex errorMutex;
        std::string firstError;
        auto work = [&] {
            tw::Picture picture;
            for (std::size_t i = next++; i < paths.size(); i = next++) {
                try {
                    tw::Bytes bytes = tw::readWholeFile(paths[i]);
                    tw::decodeJpeg(bytes.data(), bytes.size(), picture);
                    pixels += static_cast<unsigned long long>(picture.width()) * picture.height();
                } catch (const std::exception& e) {
                    std::lock_guard lock(errorMutex);
                    if (firstError.empty())
                        firstError = paths[i] + ": " + e.what();
                }
            }
        };
        std::vector<std::thread> pool;
        for (unsigned t = 0; t < threads; ++t)
            pool.emplace_back(work);
        for (auto& t : pool)
            t.join();
        if (!firstError.empty())
            throw std::runtime_error(firstError);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("decode_floor: %zu pictures, %.1f megapixels, %u threads, %.3f s\n", paths.size(),
                    static_cast<double>(pixels.load()) / 1e6, threads, seconds);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "decode_floor: %s\n", e.what());
        return 1;
    }
}
