#pragma once
// What the subcommands of tilewright-cli do once the command line is parsed:
// gathering the library, checking that a mosaic fits in memory, reporting
// progress on a console, and the create, render and usage runs themselves.
#include "cli/cli_options.h"
#include "engine/observer.h"
#include "engine/project.h"
#include "platform/memory.h"
#include "workspace/export.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace tw {
class CellPicLib;
}

namespace tw::cli {

inline const std::string kNotEnoughImagesMessage =
    "You do not have enough images in your Image Lib, please load more";

// The photographs of a folder: regular files ending in .bmp, .jpg or .jpeg
// (any letter case) whose names do not start with a dot, sorted by name
// without regard to case (names equal but for case in byte order). With
// recursive, each folder's own files come first, then its non-hidden
// subfolders in the same name order; a folder reached twice (through a
// link) is listed once. Throws tw::Error when the folder cannot be read.
std::vector<std::string> listLibraryFolder(const std::string& folder, bool recursive);

// Fills library from --library: a folder (listLibraryFolder), an image list
// file ending in .IL2 (any case), or, for an empty path, the default list
// (platform/program_files.h). Throws tw::Error naming the path otherwise.
void loadLibrary(CellPicLib& library, const std::string& path, bool recursive);

// Bytes a creation needs beyond what is already loaded: the mosaic, the grid
// picture, the copies of the table and the grid the creation works on, a
// cell-sized copy of every library photograph (standard mode), the encoded
// output file, and when a project is saved its file image with the main
// picture as a BMP block (encoded beside the image it is copied into).
std::uint64_t creationMemoryNeed(const tmosaicproject& settings, std::size_t libraryCount, PictureFileType type,
                                 bool savesProject, const Picture& mainPicture);

// Refuses, with one line saying why, a mosaic whose size is outside the
// grid or the picture limits, or whose memory need exceeds the available
// physical memory (not checked when the system does not say).
void checkMosaicFits(const tmosaicproject& settings, std::size_t libraryCount, PictureFileType type,
                     bool savesProject, const Picture& mainPicture, const MemoryStatus& memory);

// Refuses, before any long work, an output file whose folder does not exist.
void checkFolderOf(const std::string& path);

// Opens a project file and draws its mosaic again from the library it names
// (the placement kept), after checking the stored sizes and that the mosaic
// fits in memory (with an output of the given type). Progress on progress.
void openAndRender(MosaicProject& project, CellPicLib& library, const std::string& path, PictureFileType type,
                   unsigned threads, std::ostream& progress, bool terminal);

// Shows the stages' job label and gauge. On a terminal one line is redrawn
// in place with a bar; otherwise every label is printed once and the gauge
// only at each new tenth, so logs stay short.
class ConsoleObserver final : public ProgressObserver {
public:
    ConsoleObserver(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
    ConsoleObserver(const ConsoleObserver&) = delete;
    ConsoleObserver& operator=(const ConsoleObserver&) = delete;
    ~ConsoleObserver() override;

    void setJobLabel(const std::string& text) override;
    void setProgress(int value) override;
    void pump() override {}
    // Ends a line left open by the terminal display.
    void finish() noexcept;

private:
    void redraw();

    std::ostream& out_;
    bool terminal_;
    bool lineOpen_ = false;
    std::string label_;
    int shown_ = 0;  // last gauge value drawn (terminal) or tenth printed (plain)
};

// The commands. Normal output goes to out, progress to progress.
// Failures are thrown (tw::Error, UsageError, std::exception).
void runCreate(const Invocation& invocation, std::ostream& out, std::ostream& progress, bool terminal);
void runRender(const Invocation& invocation, std::ostream& out, std::ostream& progress, bool terminal);
void runUsage(const Invocation& invocation, std::ostream& out);
// cache info|clear on the user's analysis cache ($XDG_CACHE_HOME/tilewright);
// the cache's warnings go to err.
void runCache(const Invocation& invocation, std::ostream& out, std::ostream& err);

// Parse and run; every failure becomes one errorLine on err. Returns the
// exit status: 0 done, 1 the work failed, 2 the command line is wrong.
int runMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal);

} // namespace tw::cli
