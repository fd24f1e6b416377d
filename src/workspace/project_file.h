#pragma once
// The ".tw6" project file: record length 128, the 128-byte settings record,
// the main picture as a 24-bit BMP (S1 bytes), the library list text (S2
// bytes), all 10241 table entries and all 800 x 800 grid cells, column by
// column. Total 13,086,880 + S1 + S2 bytes.
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
Bytes buildProjectFile(MosaicProject& project, const CellPicLib& library);

// Everything a project file holds, checked and decoded, ready to replace the
// open project without any further failure.
struct ProjectFileContents;
struct ProjectFileContentsDeleter { void operator()(ProjectFileContents*) const noexcept; };
using ProjectFileContentsPtr = std::unique_ptr<ProjectFileContents, ProjectFileContentsDeleter>;

// Validates the whole file image before anything changes: record length 128,
// S1 and S2 within the data, the picture block a valid BMP, the file long
// enough for table and grid. Throws tw::Error ("Stream read error",
// "Bitmap image is not valid", or a message for a bad record length).
ProjectFileContentsPtr parseProjectFile(const Bytes& file);

// Replaces record (keeping mainImagePath's text as documented), MainImage,
// library list, table and grid. Cannot fail.
void restoreProject(MosaicProject& project, CellPicLib& library, ProjectFileContents& contents);

// readWholeFile + parseProjectFile + restoreProject. Rendering is the
// caller's business (runOpenedProject).
void openProjectFile(MosaicProject& project, CellPicLib& library, const std::string& path);

// buildProjectFile written atomically to path exactly as given.
void saveProjectFile(MosaicProject& project, const CellPicLib& library, const std::string& path);

} // namespace tw
