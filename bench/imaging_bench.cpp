// Costs of the per-photograph work of library analysis: decoding a large
// JPEG, reducing it for the signature, and the stretches around it.
#include "imaging/jpeg.h"
#include "imaging/resample.h"
#include "imaging/signature.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace {

// Smooth gradients, soft blobs and sensor-like noise: compresses and
// decodes like a camera photograph rather than a flat test card.
tw::Picture photoLike(int w, int h)
{
    tw::Picture p(w, h);
    std::mt19937 rng(2005);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = p.row(y);
        for (int x = 0; x < w; ++x, row += 3) {
            const double u = double(x) / w, v = double(y) / h;
            const double blob = 60 * std::sin(u * 9.0) * std::cos(v * 7.0);
            const int b = int(70 + 120 * v + blob) + noise(rng);
            const int g = int(90 + 80 * u + 0.5 * blob) + noise(rng);
            const int r = int(150 - 60 * u + 40 * std::sin((u + v) * 23.0)) + noise(rng);
            row[0] = std::uint8_t(std::clamp(b, 0, 255));
            row[1] = std::uint8_t(std::clamp(g, 0, 255));
            row[2] = std::uint8_t(std::clamp(r, 0, 255));
        }
    }
    return p;
}

const tw::Picture& largePicture()
{
    static const tw::Picture picture = photoLike(4000, 3000);
    return picture;
}

const tw::Bytes& largeJpeg()
{
    static const tw::Bytes bytes = tw::encodeJpeg(largePicture());
    return bytes;
}

const tw::Picture& mediumPicture()
{
    static const tw::Picture picture = photoLike(1600, 1200);
    return picture;
}

void BM_DecodeJpeg_4000x3000(benchmark::State& state)
{
    const tw::Bytes& bytes = largeJpeg();
    tw::Picture target;
    for (auto _ : state) {
        tw::decodeJpeg(bytes.data(), bytes.size(), target);
        benchmark::DoNotOptimize(target.data());
    }
    state.counters["jpeg_bytes"] = double(bytes.size());
}
BENCHMARK(BM_DecodeJpeg_4000x3000)->Unit(benchmark::kMillisecond);

void BM_DecodeJpegAndSignature_4000x3000(benchmark::State& state)
{
    const tw::Bytes& bytes = largeJpeg();
    tw::Picture target;
    for (auto _ : state) {
        tw::decodeJpeg(bytes.data(), bytes.size(), target);
        benchmark::DoNotOptimize(tw::computeSignature(target));
    }
}
BENCHMARK(BM_DecodeJpegAndSignature_4000x3000)->Unit(benchmark::kMillisecond);

void BM_Signature_4000x3000(benchmark::State& state)
{
    const tw::Picture& picture = largePicture();
    for (auto _ : state)
        benchmark::DoNotOptimize(tw::computeSignature(picture));
}
BENCHMARK(BM_Signature_4000x3000)->Unit(benchmark::kMillisecond);

void BM_Stretch_4000x3000_to_32x32(benchmark::State& state)
{
    const tw::Picture& picture = largePicture();
    tw::Picture target;
    for (auto _ : state) {
        tw::stretchTo(picture, target, 32, 32);
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_Stretch_4000x3000_to_32x32)->Unit(benchmark::kMillisecond);

void BM_Stretch_1600x1200_to_30x30(benchmark::State& state)
{
    const tw::Picture& picture = mediumPicture();
    tw::Picture target;
    for (auto _ : state) {
        tw::stretchTo(picture, target, 30, 30);
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_Stretch_1600x1200_to_30x30)->Unit(benchmark::kMillisecond);

void BM_Stretch_1600x1200_to_201x150(benchmark::State& state)
{
    const tw::Picture& picture = mediumPicture();
    tw::Picture target;
    for (auto _ : state) {
        tw::stretchTo(picture, target, 201, 150);
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_Stretch_1600x1200_to_201x150)->Unit(benchmark::kMillisecond);

void BM_Stretch_64x48_to_1024x768(benchmark::State& state)
{
    const tw::Picture small = photoLike(64, 48);
    tw::Picture target;
    for (auto _ : state) {
        tw::stretchTo(small, target, 1024, 768);
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_Stretch_64x48_to_1024x768)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
