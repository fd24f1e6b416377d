#pragma once
// The mosaic size arithmetic of the New Project wizard's size page, without
// the window: the page's fields in, the project's size fields and the page's
// texts out.
#include "engine/project.h"
#include "platform/memory.h"

#include <optional>
#include <string>

namespace tw {

// Ranges and defaults of the size fields.
struct SizeLimits {
    static constexpr int dpiMin = 30, dpiMax = 1200, dpiDefault = 72;
    static constexpr int cellsMin = 8, cellsMax = 64, cellsDefault = 48;
    static constexpr int cellSizeMin = 8, cellSizeMax = 48, cellSizeDefault = 32;
};

struct SizeFields {
    bool cropMain = false;
    int cellsX = SizeLimits::cellsDefault;
    int cellsY = SizeLimits::cellsDefault;
    int cellWidth = SizeLimits::cellSizeDefault;
    int cellHeight = SizeLimits::cellSizeDefault;
    int dpi = SizeLimits::dpiDefault;
};

// The page's result texts. An empty optional means "the label keeps its text".
struct SizeTexts {
    std::string widthPixels, heightPixels;  // "1536 Pixels"
    std::string widthInch, heightInch;      // "21.33 Inch"
    std::string widthCm, heightCm;          // "54.18 CM"
    std::optional<std::string> mosaicAspect; // "Aspect Ratio of final mosaic : 100 / 100"
    std::optional<std::string> mainAspect;   // "Aspect Ratio of main image : 75 / 100"
    std::string memoryInstalled;            // "Your Computer has 512.00MB Memory Installed.  "
    std::string memoryNeeded;               // "You need 6.75 MB memory to create this project."
};

// General number format: shortest text, at most 15 significant digits, no
// trailing zeros or separator. Fixed format: exactly two decimals, rounded
// half away from zero. Both with the given decimal separator.
std::string formatGeneral(double value, char decimalSeparator = '.');
std::string formatFixed2(double value, char decimalSeparator = '.');

// Stores the fields in the project (size, inches, centimetres, memory) and
// returns the texts. A dpi of 0 or less leaves the inch and centimetre
// fields at 0 instead of dividing by it.
SizeTexts computeMosaicSize(MosaicProject& project, const SizeFields& fields, const MemoryStatus& memory,
                            char decimalSeparator = '.');

} // namespace tw
