// Writes the sample library (the "images" folder beside the programs) and
// the sample main picture. Every picture is drawn from a fixed seed, so a
// build always produces the same files.
//
//   make_samples PROGRAM_FOLDER
#include "synth_pictures.h"

#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "platform/errors.h"
#include "platform/files.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

namespace {

constexpr int kSampleCount = 104;
constexpr int kLongSides[] = {64, 96, 128, 160, 200, 256, 320, 400, 480, 560, 640};
constexpr int kLongSideCount = static_cast<int>(sizeof(kLongSides) / sizeof(kLongSides[0]));

struct Aspect {
    int w, h;
};
constexpr Aspect kAspects[] = {{4, 3}, {3, 4}, {1, 1}, {16, 9}};

bool isOurSampleName(const std::string& name)
{
    for (int k = 0; k < tw::tools::kSceneKindCount; ++k) {
        std::string prefix = std::string(tw::tools::sceneKindName(static_cast<tw::tools::SceneKind>(k))) + "-";
        if (name.rfind(prefix, 0) == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples PROGRAM_FOLDER\n");
        return 2;
    }
    try {
        namespace fs = std::filesystem;
        const std::string programDir = argv[1];
        const std::string imagesDir = tw::joinPath(programDir, "images");
        fs::create_directories(imagesDir);
        // Pictures of an earlier generator version would otherwise linger in
        // the library; only our own names are touched.
        for (const auto& entry : fs::directory_iterator(imagesDir))
            if (entry.is_regular_file() && isOurSampleName(entry.path().filename().string()))
                fs::remove(entry.path());

        int jpegs = 0, bmps = 0;
        for (int i = 0; i < kSampleCount; ++i) {
            tw::tools::PhotoRecipe recipe;
            recipe.seed = 1000 + static_cast<std::uint64_t>(i);
            recipe.kind = static_cast<tw::tools::SceneKind>(i % tw::tools::kSceneKindCount);
            const Aspect a = kAspects[i % 4];
            const int longSide = kLongSides[(i * 7) % kLongSideCount];
            if (a.w >= a.h) {
                recipe.width = longSide;
                recipe.height = longSide * a.h / a.w;
            } else {
                recipe.height = longSide;
                recipe.width = longSide * a.w / a.h;
            }
            recipe.grain = 1.5 + (i % 5) * 0.5;
            tw::Picture picture = tw::tools::makePhoto(recipe);

            char number[8];
            std::snprintf(number, sizeof number, "%03d", i + 1);
            std::string base = std::string(tw::tools::sceneKindName(recipe.kind)) + "-" + number;
            if (i % 7 == 3) {
                tw::saveBmp(picture, tw::joinPath(imagesDir, base + ".bmp"));
                ++bmps;
            } else {
                tw::saveJpeg(picture, tw::joinPath(imagesDir, base + ".jpg"), 85);
                ++jpegs;
            }
        }
        tw::saveJpeg(tw::tools::makeSampleMain(768), tw::joinPath(programDir, "sample-main.jpg"), 90);
        std::printf("make_samples: %d JPEG and %d BMP pictures in %s, sample-main.jpg beside them\n", jpegs, bmps,
                    imagesDir.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_samples: %s\n", e.what());
        return 1;
    }
}
