#include "workspace/project_file.h"

#include "engine/pipeline.h"
#include "imaging/bmp.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"
#include "platform/memory.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <utility>

namespace tw {

// The table and the grid are stored as the in-memory arrays, copied in bulk
// (13 MB per file, cell-by-cell encoding would dominate save and open times).
// That is only the file format when the host is little-endian and the
// structures have exactly the stored layout, so both are checked here.
static_assert(std::endian::native == std::endian::little,
              "project files store the table and grid arrays as little-endian memory images");
static_assert(std::is_trivially_copyable_v<CellPicEntry> && std::is_trivially_copyable_v<MosaicCell>);
static_assert(std::is_standard_layout_v<CellPicEntry> && std::is_standard_layout_v<MosaicCell>);
static_assert(sizeof(SignatureColor) == 4 && offsetof(SignatureColor, blue) == 0 &&
              offsetof(SignatureColor, green) == 1 && offsetof(SignatureColor, red) == 2 &&
              offsetof(SignatureColor, luma) == 3);
static_assert(sizeof(ColorSignature) == 20 && offsetof(CellPicEntry, signature) == 0);
static_assert(sizeof(CellPicEntry) == 28 && offsetof(CellPicEntry, usageCount) == 20 &&
              offsetof(CellPicEntry, reserved) == 24);
static_assert(sizeof(MosaicCell) == 20 && offsetof(MosaicCell, picture) == 0 && offsetof(MosaicCell, redOffset) == 4 &&
              offsetof(MosaicCell, greenOffset) == 8 && offsetof(MosaicCell, blueOffset) == 12 &&
              offsetof(MosaicCell, placed) == 16 && offsetof(MosaicCell, hFlip) == 17 &&
              offsetof(MosaicCell, vFlip) == 18 && offsetof(MosaicCell, pad) == 19);

namespace {

constexpr std::int32_t kRecordLengthValue = 128;
constexpr std::size_t kRecordOffset = 4;
constexpr std::size_t kFirstBlockOffset = kRecordOffset + kRecordSize;  // 132
static_assert(kFirstBlockOffset == 132);

const char* const kStreamReadError = "Stream read error";

// Largest project file worth reading: the fixed part plus two blocks of the
// largest length a signed 32-bit field can state.
constexpr std::size_t kMaxProjectFileBytes =
    kProjectFixedBytes + 2 * static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

std::int32_t readI32le(const std::uint8_t* p)
{
    const std::uint32_t u = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                            (std::uint32_t{p[3]} << 24);
    return static_cast<std::int32_t>(u);
}

void writeI32le(std::uint8_t* p, std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    p[0] = static_cast<std::uint8_t>(u);
    p[1] = static_cast<std::uint8_t>(u >> 8);
    p[2] = static_cast<std::uint8_t>(u >> 16);
    p[3] = static_cast<std::uint8_t>(u >> 24);
}

std::int32_t blockLength(std::size_t size, const char* what)
{
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw Error(std::string("The ") + what + " is too large for a project file (" + std::to_string(size) +
                    " bytes)");
    return static_cast<std::int32_t>(size);
}

} // namespace

struct ProjectFileContents {
    tmosaicproject settings;
    Picture mainImage;
    std::vector<std::string> library;
    CellPicTableStore table;
    MosaicGridStore grid;
};

void ProjectFileContentsDeleter::operator()(ProjectFileContents* contents) const noexcept
{
    delete contents;
}

Bytes buildProjectFile(MosaicProject& project, const CellPicLib& library)
{
    // An empty main picture is stored as an empty block.
    const Bytes bmp = project.MainImage.empty() ? Bytes() : encodeBmp(project.MainImage);
    const Bytes list = encodeListText(library.entries());
    const std::int32_t s1 = blockLength(bmp.size(), "main picture");
    const std::int32_t s2 = blockLength(list.size(), "library list");
    project.settings.mainImageStreamSize = s1;
    project.settings.libraryListStreamSize = s2;

    Bytes file(kProjectFixedBytes + bmp.size() + list.size());
    std::uint8_t* p = file.data();
    writeI32le(p, kRecordLengthValue);
    encodeRecord(project.settings, p + kRecordOffset);
    p += kFirstBlockOffset;
    if (!bmp.empty())
        std::memcpy(p, bmp.data(), bmp.size());
    p += bmp.size();
    if (!list.empty())
        std::memcpy(p, list.data(), list.size());
    p += list.size();
    static_assert(kTableBytes == kTableSize * sizeof(CellPicEntry));
    std::memcpy(p, project.CellPicTable.data(), kTableBytes);
    p += kTableBytes;
    static_assert(kGridBytes == std::size_t{kGridSize} * kGridSize * sizeof(MosaicCell));
    std::memcpy(p, project.MosaicGrid.data(), kGridBytes);
    return file;
}

ProjectFileContentsPtr parseProjectFile(const Bytes& file)
{
    const std::size_t size = file.size();
    const std::uint8_t* data = file.data();
    if (size < kRecordOffset)
        throw Error(kStreamReadError);
    const std::int32_t recordLength = readI32le(data);
    if (recordLength != kRecordLengthValue)
        throw Error("Not a Tilewright project file (record length " + std::to_string(recordLength) + ")");
    if (size < kFirstBlockOffset)
        throw Error(kStreamReadError);

    tmosaicproject settings = decodeRecord(data + kRecordOffset);
    settings.mainImagePathSlot = 0;  // the slot carries no information
    const std::int32_t s1 = settings.mainImageStreamSize;
    const std::int32_t s2 = settings.libraryListStreamSize;
    // The file is taken in its order: the two blocks, then the table and the
    // grid. Both lengths are checked against the bytes present before
    // anything is taken from the blocks, so a hostile length can neither
    // read past the data nor make us allocate for it.
    if (s1 < 0 || s2 < 0)
        throw Error(kStreamReadError);
    const std::uint64_t blocksEnd =
        std::uint64_t{kFirstBlockOffset} + static_cast<std::uint64_t>(s1) + static_cast<std::uint64_t>(s2);
    if (size < blocksEnd)
        throw Error(kStreamReadError);
    // The record drives the grid and rendering stages that follow an
    // opening; one that cannot describe a mosaic is refused here, while the
    // open project is still whole.
    checkSettings(settings);

    const std::uint8_t* p = data + kFirstBlockOffset;
    Picture mainImage;
    if (s1 > 0)
        decodeBmp(p, static_cast<std::size_t>(s1), mainImage);
    p += s1;
    std::vector<std::string> entries = parseListText(p, static_cast<std::size_t>(s2));
    p += s2;
    // The 13 MB of table and grid are only allocated for a file that holds
    // them whole.
    if (size - blocksEnd < kTableBytes + kGridBytes)
        throw Error(kStreamReadError);

    ProjectFileContentsPtr contents(new ProjectFileContents);
    contents->settings = settings;
    contents->mainImage.swap(mainImage);
    contents->library = std::move(entries);
    std::memcpy(contents->table.data(), p, kTableBytes);
    p += kTableBytes;
    std::memcpy(contents->grid.data(), p, kGridBytes);
    return contents;
}

void restoreProject(MosaicProject& project, CellPicLib& library, ProjectFileContents& contents)
{
    project.settings = contents.settings;
    project.MainImage.swap(contents.mainImage);
    std::swap(project.CellPicTable, contents.table);
    std::swap(project.MosaicGrid, contents.grid);
    library.replaceAll(std::move(contents.library));
}

void openProjectFile(MosaicProject& project, CellPicLib& library, const std::string& path)
{
    const Bytes file = readWholeFile(path, kMaxProjectFileBytes);
    // The reader's texts ("Stream read error") do not say which file.
    ProjectFileContentsPtr contents = namingFile(path, [&] { return parseProjectFile(file); });
    restoreProject(project, library, *contents);
    // The file does not hold the main picture's path; the project file itself
    // is where the picture now comes from.
    project.mainImagePath = path;
}

void openProject(MosaicProject& project, CellPicLib& library, const std::string& path, ProgressObserver& observer,
                 const EngineOptions& options)
{
    observer.setJobLabel(kJobOpening);
    observer.setProgress(0);
    ProjectFileContentsPtr contents;
    {
        int shown = 0;
        const Bytes file = readWholeFile(path, kMaxProjectFileBytes, [&](std::uint64_t done, std::uint64_t total) {
            const int value = total > 0 ? static_cast<int>(done * 100 / total) : 0;
            if (value == shown)
                return;
            shown = value;
            observer.setProgress(value);
            observer.pump();
        });
        // The reader's texts do not say which file.
        contents = namingFile(path, [&] { return parseProjectFile(file); });
    }  // the file's bytes are released before the drawing starts
    checkSettings(contents->settings, queryMemoryStatus(), project.MosaicImage.byteSize());

    auto work = std::make_unique<MosaicProject>();
    work->viewScale = project.viewScale;
    work->toolMode = project.toolMode;
    work->projectState = project.projectState;
    work->random = project.random;
    CellPicLib opened;
    restoreProject(*work, opened, *contents);
    work->mainImagePath = path;
    runOpenedProject(*work, opened, observer, options);

    std::vector<std::string> entries = opened.entries();
    commitWork(project, *work);
    library.replaceAll(std::move(entries));
}

void saveProjectFile(MosaicProject& project, const CellPicLib& library, const std::string& path)
{
    const Bytes file = buildProjectFile(project, library);
    writeFileAtomic(path, file);
}

} // namespace tw
