#include "setup/wizard_options.h"

#include "platform/files.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tw {

namespace {

std::int32_t clampToInt32(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                               std::numeric_limits<std::int32_t>::max()));
}

std::uint8_t flag(bool b)
{
    return b ? 1 : 0;
}

} // namespace

int raisedMaxRepeat(bool limitRepeat, int maxRepeat, int cellsX, int cellsY, std::size_t libraryCount)
{
    // 64-bit products: a large library times a large repeat count must not
    // wrap around into a false "too small" (the count is capped so the
    // product itself stays inside 64 bits).
    const auto n = static_cast<std::int64_t>(
        std::min<std::size_t>(libraryCount, std::numeric_limits<std::uint32_t>::max()));
    const std::int64_t cells = std::int64_t{cellsX} * cellsY;
    if (!limitRepeat || n <= 0 || n * maxRepeat >= cells)
        return maxRepeat;
    const auto scaled = static_cast<std::int64_t>(static_cast<double>(cells) * 1.2);  // truncated toward zero
    return clampToInt32(scaled / n + 1);
}

CopyResult copyWizardOptions(MosaicProject& project, const SizeFields& size, const WizardOptions& options,
                             std::size_t libraryCount, const MemoryStatus& memory, char decimalSeparator)
{
    CopyResult result;
    result.sizeTexts = computeMosaicSize(project, size, memory, decimalSeparator);

    tmosaicproject& r = project.settings;
    r.renderMode = options.renderMode;
    r.stitchMode = options.stitchMode;
    r.useAllPhotos = flag(options.useAllPhotos);
    r.cropCell = flag(options.cropCell);
    r.monoCell = flag(options.monoCell);
    r.allowHFlip = flag(options.allowHFlip);
    r.allowVFlip = flag(options.allowVFlip);
    r.colorEnhance = options.enhancePosition * 5;
    r.randomLevel = options.randomLevel;
    r.repeatRadius = options.repeatRadius;
    r.limitRepeat = flag(options.limitRepeat);
    r.maxRepeat = options.maxRepeat;
    r.repeatLimitOff = 0;
    r.borderSize = options.borderSize;
    r.borderColor = options.borderColor & 0xFFFFFFu;  // a colour value has no high byte

    result.maxRepeatField = options.maxRepeat;
    const int raised = raisedMaxRepeat(options.limitRepeat, r.maxRepeat, r.cellsX, r.cellsY, libraryCount);
    if (raised != r.maxRepeat) {
        r.maxRepeat = raised;
        // The field cannot show more than its range; the project keeps the
        // full value.
        result.maxRepeatField = std::min(raised, OptionLimits::maxRepeatMax);
    }

    result.borderSizeField = options.borderSize;
    if (r.borderSize < 0) {
        r.borderSize = 0;
        result.borderSizeField = 0;
    }

    result.brief = buildProjectBrief(project, libraryCount);
    return result;
}

std::vector<std::string> buildProjectBrief(const MosaicProject& project, std::size_t libraryCount)
{
    const tmosaicproject& r = project.settings;
    auto str = [](auto v) { return std::to_string(v); };
    std::vector<std::string> lines;
    lines.reserve(16);
    lines.push_back("Project Brief");
    lines.push_back("--------File Info--------");
    lines.push_back("Source Image = " + fileNamePart(project.mainImagePath));
    lines.push_back("Full Path = " + project.mainImagePath);
    lines.push_back("Image Library " + str(libraryCount) + " Files");
    lines.push_back("--------Size Info --------");
    lines.push_back("Cell Count : " + str(r.cellsX) + " x " + str(r.cellsY) + " = " +
                    str(std::int64_t{r.cellsX} * r.cellsY) + " Cells");
    lines.push_back("Cell Size : " + str(r.cellWidth) + " x " + str(r.cellHeight) + " Pixels");
    lines.push_back("Final Size : " + str(r.mosaicWidth) + " x " + str(r.mosaicHeight) + " Pixels");
    lines.push_back("--------Option Info--------");
    lines.push_back("Minimum Repeat Radius = " + str(r.repeatRadius));
    if (r.limitRepeat)
        lines.push_back("Max Repeat time for each file = " + str(r.maxRepeat));
    lines.push_back("Randomize Level = " + str(r.randomLevel));
    lines.push_back("Color Enhance = " + str(r.colorEnhance) + "%");
    lines.push_back("Border Size = " + str(r.borderSize));
    lines.push_back("Border Color = " + str(static_cast<std::int32_t>(r.borderColor)));
    return lines;
}

} // namespace tw
