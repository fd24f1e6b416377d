#pragma once
// The one project state: settings record, workspace fields, signature table,
// cell grid and the four working pictures. One MosaicProject lives for the
// whole run; engine operations are free functions that take it explicitly.
#include "imaging/picture.h"
#include "imaging/signature.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tw {

class CellPicLib;

enum class RenderMode : std::int32_t { SelfMosaic = 1, Standard = 2 };
enum class StitchMode : std::int32_t { Loom = 1, Peyote = 2, Brick = 3 };
enum class ProjectState : std::int32_t { Empty = 0, Picture = 1, Mosaic = 2 };
enum class ToolMode : std::int32_t { Hand = 1, ChangeCell = 2, FreeCellPen = 3 };

// The settings record, laid out exactly as stored in project files (128
// bytes, little-endian on disk). Flags are bytes holding 0 or 1. The path of
// the main picture is not part of the stored record: its 4-byte slot is
// written as zero and ignored on reading (MosaicProject::mainImagePath holds
// the text).
struct tmosaicproject {
    std::uint32_t mainImagePathSlot = 0;
    std::uint8_t cropMain = 0;
    std::uint8_t pad5[3] = {};
    std::int32_t mosaicWidth = 0;
    std::int32_t mosaicHeight = 0;
    double widthInch = 0;
    double heightInch = 0;
    double widthCm = 0;
    double heightCm = 0;
    std::int32_t dpi = 0;
    std::int32_t cellsX = 0;
    std::int32_t cellsY = 0;
    std::int32_t cellWidth = 0;
    std::int32_t cellHeight = 0;
    RenderMode renderMode = RenderMode{0};
    StitchMode stitchMode = StitchMode{0};
    std::int32_t randomLevel = 0;
    std::int32_t colorEnhance = 0;
    std::uint8_t useAllPhotos = 0;
    std::uint8_t cropCell = 0;
    std::uint8_t monoCell = 0;
    std::uint8_t allowHFlip = 0;
    std::uint8_t allowVFlip = 0;
    std::uint8_t pad89[3] = {};
    std::int32_t repeatRadius = 0;
    std::uint8_t limitRepeat = 0;
    std::uint8_t pad97[3] = {};
    std::int32_t maxRepeat = 0;
    std::uint8_t repeatLimitOff = 0;
    std::uint8_t pad105[3] = {};
    std::int32_t borderSize = 0;
    std::uint32_t borderColor = 0;  // red low byte, green, blue; high byte 0
    std::int32_t mainImageStreamSize = 0;
    std::int32_t libraryListStreamSize = 0;
    std::uint32_t unused = 0;
};
static_assert(sizeof(tmosaicproject) == 128);
static_assert(offsetof(tmosaicproject, cropMain) == 4);
static_assert(offsetof(tmosaicproject, mosaicWidth) == 8);
static_assert(offsetof(tmosaicproject, mosaicHeight) == 12);
static_assert(offsetof(tmosaicproject, widthInch) == 16);
static_assert(offsetof(tmosaicproject, heightInch) == 24);
static_assert(offsetof(tmosaicproject, widthCm) == 32);
static_assert(offsetof(tmosaicproject, heightCm) == 40);
static_assert(offsetof(tmosaicproject, dpi) == 48);
static_assert(offsetof(tmosaicproject, cellsX) == 52);
static_assert(offsetof(tmosaicproject, cellsY) == 56);
static_assert(offsetof(tmosaicproject, cellWidth) == 60);
static_assert(offsetof(tmosaicproject, cellHeight) == 64);
static_assert(offsetof(tmosaicproject, renderMode) == 68);
static_assert(offsetof(tmosaicproject, stitchMode) == 72);
static_assert(offsetof(tmosaicproject, randomLevel) == 76);
static_assert(offsetof(tmosaicproject, colorEnhance) == 80);
static_assert(offsetof(tmosaicproject, useAllPhotos) == 84);
static_assert(offsetof(tmosaicproject, cropCell) == 85);
static_assert(offsetof(tmosaicproject, monoCell) == 86);
static_assert(offsetof(tmosaicproject, allowHFlip) == 87);
static_assert(offsetof(tmosaicproject, allowVFlip) == 88);
static_assert(offsetof(tmosaicproject, repeatRadius) == 92);
static_assert(offsetof(tmosaicproject, limitRepeat) == 96);
static_assert(offsetof(tmosaicproject, maxRepeat) == 100);
static_assert(offsetof(tmosaicproject, repeatLimitOff) == 104);
static_assert(offsetof(tmosaicproject, borderSize) == 108);
static_assert(offsetof(tmosaicproject, borderColor) == 112);
static_assert(offsetof(tmosaicproject, mainImageStreamSize) == 116);
static_assert(offsetof(tmosaicproject, libraryListStreamSize) == 120);
static_assert(offsetof(tmosaicproject, unused) == 124);

constexpr std::size_t kRecordSize = 128;

// The stored form of the record, field by field little-endian. The path slot
// is written as zero; padding bytes are written as zero.
void encodeRecord(const tmosaicproject& record, std::uint8_t* out /* kRecordSize bytes */);
// Reads a stored record. The path slot, padding and flags are taken as they
// stand (flags other than 0 count as set).
tmosaicproject decodeRecord(const std::uint8_t* in /* kRecordSize bytes */);

// One library photograph's entry: signature, usage count, reserved word.
struct CellPicEntry {
    ColorSignature signature;
    std::int32_t usageCount = 0;
    std::int32_t reserved = 0;
};
static_assert(sizeof(CellPicEntry) == 28);
static_assert(offsetof(CellPicEntry, usageCount) == 20);

// One mosaic cell.
struct MosaicCell {
    std::int32_t picture = 0;      // library index (standard mode)
    std::int32_t redOffset = 0;    // signature mean minus cell sample mean
    std::int32_t greenOffset = 0;
    std::int32_t blueOffset = 0;
    std::uint8_t placed = 0;
    std::uint8_t hFlip = 0;
    std::uint8_t vFlip = 0;
    std::uint8_t pad = 0;
};
static_assert(sizeof(MosaicCell) == 20);
static_assert(offsetof(MosaicCell, placed) == 16);
static_assert(offsetof(MosaicCell, hFlip) == 17);
static_assert(offsetof(MosaicCell, vFlip) == 18);

constexpr int kGridSize = 800;          // cells per column and per row
constexpr int kTableSize = 10241;       // CellPicEntry records
constexpr std::size_t kTableBytes = kTableSize * sizeof(CellPicEntry);                   // 286,748
constexpr std::size_t kGridBytes = std::size_t{kGridSize} * kGridSize * sizeof(MosaicCell); // 12,800,000
static_assert(kTableBytes == 286748);
static_assert(kGridBytes == 12800000);

// 800 x 800 cells stored column by column: cell (x, y) is element x * 800 + y.
class MosaicGridStore {
public:
    MosaicGridStore() : cells_(std::size_t{kGridSize} * kGridSize) {}
    MosaicCell& at(int x, int y) { return cells_[static_cast<std::size_t>(x) * kGridSize + y]; }
    const MosaicCell& at(int x, int y) const { return cells_[static_cast<std::size_t>(x) * kGridSize + y]; }
    MosaicCell* data() { return cells_.data(); }
    const MosaicCell* data() const { return cells_.data(); }
    std::size_t size() const { return cells_.size(); }
    friend bool operator==(const MosaicGridStore& a, const MosaicGridStore& b);
private:
    std::vector<MosaicCell> cells_;
};

class CellPicTableStore {
public:
    CellPicTableStore() : entries_(kTableSize) {}
    CellPicEntry& operator[](std::size_t i) { return entries_[i]; }
    const CellPicEntry& operator[](std::size_t i) const { return entries_[i]; }
    CellPicEntry* data() { return entries_.data(); }
    const CellPicEntry* data() const { return entries_.data(); }
    std::size_t size() const { return entries_.size(); }
    friend bool operator==(const CellPicTableStore& a, const CellPicTableStore& b);
private:
    std::vector<CellPicEntry> entries_;
};

// The one pseudo-random source: seed := seed * 134775813 + 1 (mod 2^32),
// result = high 32 bits of n * seed, so 0 <= result < n for n > 0. The seed
// starts at 0 and is never reseeded. n is taken as an unsigned 32-bit value.
class Random {
public:
    std::uint32_t operator()(std::int32_t n)
    {
        seed_ = seed_ * 134775813u + 1u;
        return static_cast<std::uint32_t>((std::uint64_t{static_cast<std::uint32_t>(n)} * seed_) >> 32);
    }
    std::uint32_t seed() const { return seed_; }
private:
    std::uint32_t seed_ = 0;
};

struct MosaicProject {
    // Settings record and the main picture's path text.
    tmosaicproject settings;
    std::string mainImagePath;

    // Workspace fields, never stored.
    ProjectState projectState = ProjectState::Empty;
    std::int32_t viewScale = 0;
    ToolMode toolMode = ToolMode{0};
    std::int32_t viewOffsetX = 0, viewOffsetY = 0;
    std::int32_t mouseDownX = 0, mouseDownY = 0;
    std::int32_t pressOffsetX = 0, pressOffsetY = 0;
    std::int32_t mouseUpX = 0, mouseUpY = 0;
    std::int32_t dragX = 0, dragY = 0;
    std::uint64_t physMemTotal = 0, physMemAvail = 0;
    Rect viewRect;

    CellPicTableStore CellPicTable;
    MosaicGridStore MosaicGrid;

    Picture MainImage;
    Picture GridImage;
    Picture MosaicImage;
    Picture CellScratch;

    Random random;
};

// Program start: view scale 1, offsets 0, Hand tool, the four working
// pictures empty; then the library's default list is read (or rebuilt).
void initEngine(MosaicProject& project, CellPicLib& library);

// Loads the file named by mainImagePath into MainImage (loadPicture's errors).
void loadMainImage(MosaicProject& project);

// Throws tw::Error naming the field and its value when cellsX or cellsY lies
// outside 0..800 (the grid's capacity). The stages that index the grid call
// it before they change anything, since records also come from files.
void checkGridDimensions(const tmosaicproject& settings);

} // namespace tw
