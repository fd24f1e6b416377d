#pragma once
// What the analysis cache keeps of a library photograph: its colour
// signature and the compact drawing data of its unsplit cells, as bytes
// for the store and back, and the variant text that names everything
// besides the file's content that both depend on.
#include "engine/cell_tiles.h"
#include "engine/project.h"
#include "imaging/load_picture.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tw {

struct StoredAnalysis {
    ColorSignature signature;
    // Null when the cells are not drawn (a border as large as the cell) or
    // the reduction has no exact shortcut: the photograph is decoded to
    // draw them.
    std::unique_ptr<const CompactTile> tile;
    // The amounts the stored drawing data was built for (with a tile only),
    // and whether they hold every amount the enhancement asked for gives;
    // when they do not, the tile holds as much as they have and the cells
    // beyond it are drawn by decoding the photograph.
    ChannelRanges storedRanges{};
    bool covers = true;
};

// The amounts the stored drawing data covers: those of colorEnhance (what
// this creation draws) and any earlier stored ones. Building the data costs
// in proportion to the amounts, and the widest enhancement costs about
// twice the usual one on every first creation; so the data grows to a
// higher enhancement only once a creation asks for it, and every lower one
// (an amount grows with the enhancement) is served from it.
ChannelRanges storedAmountRanges(const ColorSignature& signature, std::int32_t colorEnhance,
                                 const std::optional<ChannelRanges>& earlier = std::nullopt);

// The variant of a photograph read by reader format and prepared with
// these settings: the crop (and the aspect it cuts to), grey or colour,
// the size unsplit cells are drawn at, and the generation of the analysis
// (this program's encoding and what its libjpeg decodes), so results of
// another program or another libjpeg are never taken for this one's.
std::string storedAnalysisVariant(PictureFormat format, const tmosaicproject& settings);

// Values are little-endian, in a fixed order; the results of each
// destination byte rise by 0 or 1 from one amount to the next (the shift
// moves every source byte by one, the clamp holds some back, and the
// rounding of the average keeps the order), so they are stored as a first
// value and one bit per step when that holds, as bytes otherwise.
std::vector<std::uint8_t> encodeStoredAnalysis(const ColorSignature& signature, const CompactTile* tile);

// The stored value back. With colorEnhance, the compact data comes out cut
// to the amounts a creation with that enhancement gives the cells of this
// photograph (amountRanges), as far as the stored ones reach (covers):
// exactly the data built for those amounts and no larger than a creation
// that needs no more would build. Throws
// std::invalid_argument, naming what is wrong, for bytes that are not a
// whole value: another magic or version, a size beyond the bytes left,
// trailing bytes, a bit stream that does not add up, parts that cannot make
// a complete compact tile.
StoredAnalysis decodeStoredAnalysis(const std::vector<std::uint8_t>& value,
                                    std::optional<std::int32_t> colorEnhance = std::nullopt);

} // namespace tw
