#include "workspace/usage_lists.h"

#include "library/cell_pic_lib.h"

#include <algorithm>
#include <cstdint>

namespace tw {

namespace {

struct Position {
    int x = 0, y = 0;
};

// The cells of the mosaic, column by column and top to bottom within a
// column, gathered per library index in one pass. The result is the same as
// scanning all cells once per name, without its names x cells cost. Cells
// whose picture field names no line are not listed.
std::vector<std::vector<Position>> positionsByPicture(const MosaicProject& project, std::size_t nameCount)
{
    std::vector<std::vector<Position>> byPicture(nameCount);
    // The counts come from the settings record, which a project file sets;
    // the grid holds no more than 800 x 800 cells whatever it says.
    const int cellsX = std::clamp(project.settings.cellsX, 0, kGridSize);
    const int cellsY = std::clamp(project.settings.cellsY, 0, kGridSize);
    for (int x = 0; x < cellsX; ++x)
        for (int y = 0; y < cellsY; ++y) {
            const std::int32_t picture = project.MosaicGrid.at(x, y).picture;
            if (picture >= 0 && static_cast<std::size_t>(picture) < nameCount)
                byPicture[static_cast<std::size_t>(picture)].push_back(Position{x, y});
        }
    return byPicture;
}

} // namespace

std::vector<std::string> usageNames(const CellPicLib& library, bool shortNames)
{
    std::vector<std::string> names;
    names.reserve(library.count());
    for (const auto& path : library.entries())
        names.push_back(shortNames ? fileNamePart(path) : path);
    return names;
}

std::vector<std::string> detailUsageList(const MosaicProject& project, const std::vector<std::string>& names)
{
    const auto byPicture = positionsByPicture(project, names.size());
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& positions = byPicture[i];
        if (positions.empty())
            continue;
        std::string s = names[i] + " POSITIONS: ";
        for (const Position& p : positions)
            s += " x:" + std::to_string(p.x + 1) + " y:" + std::to_string(p.y + 1) + "  ||  ";
        s += "  Total used time:" + std::to_string(positions.size());
        lines.push_back(std::move(s));
    }
    return lines;
}

std::vector<std::string> simpleUsageList(const MosaicProject& project, const std::vector<std::string>& names)
{
    const auto byPicture = positionsByPicture(project, names.size());
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!byPicture[i].empty())
            lines.push_back(names[i] + "Total used time:" + std::to_string(byPicture[i].size()));
    return lines;
}

Bytes linesToText(const std::vector<std::string>& lines)
{
    Bytes out;
    for (const auto& line : lines) {
        out.insert(out.end(), line.begin(), line.end());
        out.push_back('\r');
        out.push_back('\n');
    }
    return out;
}

} // namespace tw
