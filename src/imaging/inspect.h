#pragma once
// Small pictures for inspecting a picture: level histogram, signature
// quadrants, magnified cell pattern.
#include "imaging/picture.h"
#include "imaging/signature.h"

#include <optional>

namespace tw {

enum class LevelChannel { All = 0, Red = 1, Green = 2, Blue = 3 };

// target := the level picture of source. With a box size, target is first
// resized to it; without, target keeps its current size.
void drawLevelPicture(const Picture& source, Picture& target, LevelChannel channel,
                      std::optional<Size> box = std::nullopt);

// Fills target's four quadrants with the signature's quadrant colours.
void drawColorSignature(Picture& target, const ColorSignature& signature);

// target := source reduced to cellsAcross x cellsDown and magnified factor
// times, with black top and left edge lines per cell on request.
void magnifyPattern(const Picture& source, Picture& target, int cellsAcross, int cellsDown, int factor,
                    bool edgeLines);

} // namespace tw
