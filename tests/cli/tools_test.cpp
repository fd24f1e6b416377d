// The generator behind the sample pictures: pictures that come out the same
// for the same seed.
#include "synth_pictures.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace tw::tools {
namespace {

TEST(SynthPictures, SameRecipeGivesTheSamePixels)
{
    for (int k = 0; k < kSceneKindCount; ++k) {
        PhotoRecipe recipe{96, 72, 4242u + static_cast<std::uint64_t>(k), static_cast<SceneKind>(k), 3.0};
        Picture a = makePhoto(recipe), b = makePhoto(recipe);
        EXPECT_TRUE(test::samePicture(a, b)) << sceneKindName(recipe.kind);
        recipe.seed += 1000;
        EXPECT_FALSE(makePhoto(recipe) == a) << sceneKindName(recipe.kind) << ": the seed changes nothing";
    }
    EXPECT_TRUE(test::samePicture(makeSampleMain(48), makeSampleMain(48)));
}

TEST(SynthPictures, PicturesHaveTheAskedSizeAndRealDetail)
{
    for (int k = 0; k < kSceneKindCount; ++k) {
        PhotoRecipe recipe{64, 36, 77u + static_cast<std::uint64_t>(k), static_cast<SceneKind>(k), 2.0};
        Picture p = makePhoto(recipe);
        ASSERT_EQ(p.width(), 64);
        ASSERT_EQ(p.height(), 36);
        // A flat or nearly flat picture would make a useless library photograph.
        double sum = 0, sumSq = 0;
        const std::size_t n = p.byteSize();
        for (std::size_t i = 0; i < n; ++i) {
            sum += p.data()[i];
            sumSq += double(p.data()[i]) * p.data()[i];
        }
        const double mean = sum / n, variance = sumSq / n - mean * mean;
        EXPECT_GT(variance, 20.0) << sceneKindName(recipe.kind);
    }
    Picture main = makeSampleMain(96);
    EXPECT_EQ(main.width(), 96);
    EXPECT_EQ(main.height(), 96);
}

TEST(SynthPictures, KindForSeedCoversEveryKind)
{
    std::vector<int> seen(kSceneKindCount, 0);
    for (std::uint64_t seed = 0; seed < 300; ++seed)
        ++seen[static_cast<int>(sceneKindForSeed(seed))];
    for (int k = 0; k < kSceneKindCount; ++k)
        EXPECT_GT(seen[k], 20) << sceneKindName(static_cast<SceneKind>(k));
}

} // namespace
} // namespace tw::tools
