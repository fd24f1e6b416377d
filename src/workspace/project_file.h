#pragma once
// The ".tw6" project file: record length 128, the 128-byte settings record,
// the main picture as a 24-bit BMP (S1 bytes), the library list text (S2
// bytes), all 10241 table entries and all 800 x 800 grid cells, column by
// column. Total 13,086,880 + S1 + S2 bytes.
#include "engine/observer.h"
#include "engine/options.h"
#include "engine/project.h"
#include "platform/files.h"

#include <memory>
#include <string>
#include <vector>

namespace tw {

class CellPicLib;

constexpr std::size_t kProjectFixedBytes = 4 + kRecordSize + kTableBytes + kGridBytes;  // 13,086,880
static_assert(kProjectFixedBytes == 13086880);

// Builds the complete file image and stores S1 and S2 in project.settings.
// An empty MainImage is stored as an empty block (S1 = 0). Throws tw::Error,
// before anything changes, when a block does not fit a 32-bit length.
Bytes buildProjectFile(MosaicProject& project, const CellPicLib& library);

// Everything a project file holds, checked and decoded, ready to replace the
// open project without any further failure.
struct ProjectFileContents;
struct ProjectFileContentsDeleter { void operator()(ProjectFileContents*) const noexcept; };
using ProjectFileContentsPtr = std::unique_ptr<ProjectFileContents, ProjectFileContentsDeleter>;

// Validates the whole file image before anything changes: record length 128,
// S1 and S2 within the data, the picture block a valid BMP, the file long
// enough for table and grid. Throws tw::Error ("Stream read error",
// "Bitmap image is not valid", or "Not a Tilewright project file (record
// length N)"). S1 = 0 stands for an empty main picture. Bytes after the grid
// are ignored; the path slot of the record is ignored.
ProjectFileContentsPtr parseProjectFile(const Bytes& file);

// Replaces record, MainImage, library list (count notified), table and grid
// by swapping the prepared data in; mainImagePath is left as it is (see
// openProjectFile). Cannot fail.
void restoreProject(MosaicProject& project, CellPicLib& library, ProjectFileContents& contents);

// readWholeFile + parseProjectFile + restoreProject. Rendering is the
// caller's business (runOpenedProject). The file holds no main picture path,
// so afterwards mainImagePath is the project file's own path: always a valid
// text, and it tells the brief and the print job title where the main
// picture came from. A failure changes nothing, neither the project nor the
// library.
void openProjectFile(MosaicProject& project, CellPicLib& library, const std::string& path);

// The job label while a project file is read and checked.
inline const std::string kJobOpening = "Current Job : Reading Project File";

// Opening as the Load command does it. The file is read with the label
// kJobOpening and the gauge following the bytes read (a pump after each
// step), checked and decoded; then the grid and rendering stages draw the
// opened project aside (runOpenedProject), and only when the mosaic is
// finished is everything swapped in at once: settings, MainImage (its path
// becomes the project file's), table, grid, library list, GridImage,
// MosaicImage, projectState 2, offsets 0. A failure at any point (the file,
// the memory check, a library photograph that cannot be read) leaves project
// and library exactly as they were; the previous mosaic stays allocated
// until the new one is in place.
void openProject(MosaicProject& project, CellPicLib& library, const std::string& path, ProgressObserver& observer,
                 const EngineOptions& options = {});

// buildProjectFile written atomically to path exactly as given.
void saveProjectFile(MosaicProject& project, const CellPicLib& library, const std::string& path);

} // namespace tw
