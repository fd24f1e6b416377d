#pragma once
// The options page of the New Project wizard and the project brief, without
// the window.
#include "engine/project.h"
#include "setup/mosaic_size.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tw {

struct OptionLimits {
    static constexpr int radiusMin = 1, radiusMax = 100, radiusDefault = 4;
    static constexpr int maxRepeatMin = 1, maxRepeatMax = 999, maxRepeatDefault = 10;
    static constexpr int randomMin = 1, randomMax = 8, randomDefault = 4;
    static constexpr int enhancePositionMin = 0, enhancePositionMax = 20, enhancePositionDefault = 10;
    static constexpr int borderMin = 0, borderMax = 20, borderDefault = 0;
};

struct WizardOptions {
    RenderMode renderMode = RenderMode::Standard;
    StitchMode stitchMode = StitchMode::Loom;
    bool useAllPhotos = true;
    int repeatRadius = OptionLimits::radiusDefault;
    bool limitRepeat = false;
    int maxRepeat = OptionLimits::maxRepeatDefault;
    int randomLevel = OptionLimits::randomDefault;
    int enhancePosition = OptionLimits::enhancePositionDefault;  // colorEnhance = position x 5
    bool monoCell = false;
    bool cropCell = true;
    bool allowHFlip = true;
    bool allowVFlip = true;
    int borderSize = OptionLimits::borderDefault;
    std::uint32_t borderColor = 0;  // red low byte
};

struct CopyResult {
    SizeTexts sizeTexts;
    // The value the "Max repeat time" field shows afterwards (the raised
    // value, at most its range's top), and the border size field's value.
    int maxRepeatField = 0;
    int borderSizeField = 0;
    std::vector<std::string> brief;  // buildProjectBrief's lines
};

// computeMosaicSize, then every option into the record, repeatLimitOff := 0,
// the repeat raise rule, a negative border made 0, and the brief.
CopyResult copyWizardOptions(MosaicProject& project, const SizeFields& size, const WizardOptions& options,
                             std::size_t libraryCount, const MemoryStatus& memory, char decimalSeparator = '.');

// The repeat raise rule on its own: the new maxRepeat, or the old one when
// the rule does not apply.
int raisedMaxRepeat(bool limitRepeat, int maxRepeat, int cellsX, int cellsY, std::size_t libraryCount);

// The project brief's lines (see the wizard's last page).
std::vector<std::string> buildProjectBrief(const MosaicProject& project, std::size_t libraryCount);

} // namespace tw
