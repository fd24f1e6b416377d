#include "engine/project.h"

#include "imaging/load_picture.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"

#include <bit>
#include <cstring>

namespace tw {

namespace {

// The record is stored little-endian whatever the machine; every field goes
// through these helpers instead of copying the struct.
void putU8(std::uint8_t* out, std::size_t at, std::uint8_t v) { out[at] = v; }

void putU32(std::uint8_t* out, std::size_t at, std::uint32_t v)
{
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    out[at + 2] = static_cast<std::uint8_t>(v >> 16);
    out[at + 3] = static_cast<std::uint8_t>(v >> 24);
}

void putI32(std::uint8_t* out, std::size_t at, std::int32_t v) { putU32(out, at, static_cast<std::uint32_t>(v)); }

void putF64(std::uint8_t* out, std::size_t at, double v)
{
    const auto bits = std::bit_cast<std::uint64_t>(v);
    putU32(out, at, static_cast<std::uint32_t>(bits));
    putU32(out, at + 4, static_cast<std::uint32_t>(bits >> 32));
}

std::uint32_t getU32(const std::uint8_t* in, std::size_t at)
{
    return static_cast<std::uint32_t>(in[at]) | (static_cast<std::uint32_t>(in[at + 1]) << 8) |
           (static_cast<std::uint32_t>(in[at + 2]) << 16) | (static_cast<std::uint32_t>(in[at + 3]) << 24);
}

std::int32_t getI32(const std::uint8_t* in, std::size_t at) { return static_cast<std::int32_t>(getU32(in, at)); }

double getF64(const std::uint8_t* in, std::size_t at)
{
    const std::uint64_t bits = std::uint64_t{getU32(in, at)} | (std::uint64_t{getU32(in, at + 4)} << 32);
    return std::bit_cast<double>(bits);
}

void copyPad(std::uint8_t (&dst)[3], const std::uint8_t* in, std::size_t at)
{
    dst[0] = in[at];
    dst[1] = in[at + 1];
    dst[2] = in[at + 2];
}

} // namespace

void encodeRecord(const tmosaicproject& r, std::uint8_t* out)
{
    std::memset(out, 0, kRecordSize);  // path slot and padding stay zero
    putU8(out, offsetof(tmosaicproject, cropMain), r.cropMain);
    putI32(out, offsetof(tmosaicproject, mosaicWidth), r.mosaicWidth);
    putI32(out, offsetof(tmosaicproject, mosaicHeight), r.mosaicHeight);
    putF64(out, offsetof(tmosaicproject, widthInch), r.widthInch);
    putF64(out, offsetof(tmosaicproject, heightInch), r.heightInch);
    putF64(out, offsetof(tmosaicproject, widthCm), r.widthCm);
    putF64(out, offsetof(tmosaicproject, heightCm), r.heightCm);
    putI32(out, offsetof(tmosaicproject, dpi), r.dpi);
    putI32(out, offsetof(tmosaicproject, cellsX), r.cellsX);
    putI32(out, offsetof(tmosaicproject, cellsY), r.cellsY);
    putI32(out, offsetof(tmosaicproject, cellWidth), r.cellWidth);
    putI32(out, offsetof(tmosaicproject, cellHeight), r.cellHeight);
    putI32(out, offsetof(tmosaicproject, renderMode), static_cast<std::int32_t>(r.renderMode));
    putI32(out, offsetof(tmosaicproject, stitchMode), static_cast<std::int32_t>(r.stitchMode));
    putI32(out, offsetof(tmosaicproject, randomLevel), r.randomLevel);
    putI32(out, offsetof(tmosaicproject, colorEnhance), r.colorEnhance);
    putU8(out, offsetof(tmosaicproject, useAllPhotos), r.useAllPhotos);
    putU8(out, offsetof(tmosaicproject, cropCell), r.cropCell);
    putU8(out, offsetof(tmosaicproject, monoCell), r.monoCell);
    putU8(out, offsetof(tmosaicproject, allowHFlip), r.allowHFlip);
    putU8(out, offsetof(tmosaicproject, allowVFlip), r.allowVFlip);
    putI32(out, offsetof(tmosaicproject, repeatRadius), r.repeatRadius);
    putU8(out, offsetof(tmosaicproject, limitRepeat), r.limitRepeat);
    putI32(out, offsetof(tmosaicproject, maxRepeat), r.maxRepeat);
    putU8(out, offsetof(tmosaicproject, repeatLimitOff), r.repeatLimitOff);
    putI32(out, offsetof(tmosaicproject, borderSize), r.borderSize);
    putU32(out, offsetof(tmosaicproject, borderColor), r.borderColor);
    putI32(out, offsetof(tmosaicproject, mainImageStreamSize), r.mainImageStreamSize);
    putI32(out, offsetof(tmosaicproject, libraryListStreamSize), r.libraryListStreamSize);
    putU32(out, offsetof(tmosaicproject, unused), r.unused);
}

tmosaicproject decodeRecord(const std::uint8_t* in)
{
    tmosaicproject r;
    r.mainImagePathSlot = getU32(in, offsetof(tmosaicproject, mainImagePathSlot));
    r.cropMain = in[offsetof(tmosaicproject, cropMain)];
    copyPad(r.pad5, in, offsetof(tmosaicproject, pad5));
    r.mosaicWidth = getI32(in, offsetof(tmosaicproject, mosaicWidth));
    r.mosaicHeight = getI32(in, offsetof(tmosaicproject, mosaicHeight));
    r.widthInch = getF64(in, offsetof(tmosaicproject, widthInch));
    r.heightInch = getF64(in, offsetof(tmosaicproject, heightInch));
    r.widthCm = getF64(in, offsetof(tmosaicproject, widthCm));
    r.heightCm = getF64(in, offsetof(tmosaicproject, heightCm));
    r.dpi = getI32(in, offsetof(tmosaicproject, dpi));
    r.cellsX = getI32(in, offsetof(tmosaicproject, cellsX));
    r.cellsY = getI32(in, offsetof(tmosaicproject, cellsY));
    r.cellWidth = getI32(in, offsetof(tmosaicproject, cellWidth));
    r.cellHeight = getI32(in, offsetof(tmosaicproject, cellHeight));
    r.renderMode = static_cast<RenderMode>(getI32(in, offsetof(tmosaicproject, renderMode)));
    r.stitchMode = static_cast<StitchMode>(getI32(in, offsetof(tmosaicproject, stitchMode)));
    r.randomLevel = getI32(in, offsetof(tmosaicproject, randomLevel));
    r.colorEnhance = getI32(in, offsetof(tmosaicproject, colorEnhance));
    r.useAllPhotos = in[offsetof(tmosaicproject, useAllPhotos)];
    r.cropCell = in[offsetof(tmosaicproject, cropCell)];
    r.monoCell = in[offsetof(tmosaicproject, monoCell)];
    r.allowHFlip = in[offsetof(tmosaicproject, allowHFlip)];
    r.allowVFlip = in[offsetof(tmosaicproject, allowVFlip)];
    copyPad(r.pad89, in, offsetof(tmosaicproject, pad89));
    r.repeatRadius = getI32(in, offsetof(tmosaicproject, repeatRadius));
    r.limitRepeat = in[offsetof(tmosaicproject, limitRepeat)];
    copyPad(r.pad97, in, offsetof(tmosaicproject, pad97));
    r.maxRepeat = getI32(in, offsetof(tmosaicproject, maxRepeat));
    r.repeatLimitOff = in[offsetof(tmosaicproject, repeatLimitOff)];
    copyPad(r.pad105, in, offsetof(tmosaicproject, pad105));
    r.borderSize = getI32(in, offsetof(tmosaicproject, borderSize));
    r.borderColor = getU32(in, offsetof(tmosaicproject, borderColor));
    r.mainImageStreamSize = getI32(in, offsetof(tmosaicproject, mainImageStreamSize));
    r.libraryListStreamSize = getI32(in, offsetof(tmosaicproject, libraryListStreamSize));
    r.unused = getU32(in, offsetof(tmosaicproject, unused));
    return r;
}

// Both stores hold plain records whose every byte is a named field (the cell's
// padding byte included), so comparing the bytes compares the values.
bool operator==(const MosaicGridStore& a, const MosaicGridStore& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(MosaicCell)) == 0;
}

bool operator==(const CellPicTableStore& a, const CellPicTableStore& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(CellPicEntry)) == 0;
}

void initEngine(MosaicProject& project, CellPicLib& library)
{
    project.viewScale = 1;
    project.viewOffsetX = 0;
    project.viewOffsetY = 0;
    project.toolMode = ToolMode::Hand;
    project.MainImage.clear();
    project.GridImage.clear();
    project.MosaicImage.clear();
    project.CellScratch.clear();
    library.loadDefaultList();
}

void loadMainImage(MosaicProject& project)
{
    loadPicture(project.MainImage, project.mainImagePath);
}

void checkGridDimensions(const tmosaicproject& settings)
{
    auto check = [](const char* what, std::int32_t value) {
        if (value < 0 || value > kGridSize)
            throw Error(std::string(what) + " is " + std::to_string(value) + ", outside the grid's range 0.." +
                        std::to_string(kGridSize));
    };
    check("Cells across (cellsX)", settings.cellsX);
    check("Cells down (cellsY)", settings.cellsY);
}

} // namespace tw
