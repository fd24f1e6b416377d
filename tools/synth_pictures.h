#pragma once
// Photograph-like pictures drawn from a seed: skies, hills, towns, still
// lifes, textures and fields, with smooth gradients, shading and fine grain.
// They stand in for real photographs in the sample library and the
// benchmark library. Only integer hashing and basic floating arithmetic are
// used (no library transcendental functions), so a seed gives the same
// pixels on every machine.
#include "imaging/picture.h"

#include <cstdint>
#include <string>

namespace tw::tools {

// splitmix64: small, fast and good enough to pick scene parameters.
class SplitMix {
public:
    explicit SplitMix(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi).
    double uniform(double lo, double hi) { return lo + (hi - lo) * static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // Uniform whole number in lo..hi.
    int between(int lo, int hi)
    {
        return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }

private:
    std::uint64_t state_;
};

enum class SceneKind { Landscape, Town, StillLife, Texture, Field, Sunset };
constexpr int kSceneKindCount = 6;
const char* sceneKindName(SceneKind kind);

struct PhotoRecipe {
    int width = 0, height = 0;
    std::uint64_t seed = 0;
    SceneKind kind = SceneKind::Landscape;
    // Standard deviation, in levels, of the per-pixel sensor grain.
    double grain = 3.0;
};

// The kind a seed draws when the caller has no preference.
SceneKind sceneKindForSeed(std::uint64_t seed);

Picture makePhoto(const PhotoRecipe& recipe);

// The sample main picture: a lake under a sunset sky with hills, a house
// and a tree, size x size pixels.
Picture makeSampleMain(int size);

} // namespace tw::tools
