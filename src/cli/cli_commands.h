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

// Bytes a run needs beyond what is already loaded: the engine's estimate
// of the creation (creationMemory: the mosaic, the grid picture, the
// creation's copies of the table and the grid, the photograph cache at the
// budget the creation gives it, the working memory of its fullest stage) or
// of the rendering of an opened project (renderingMemory), with threads
// working threads (0: one per core); or, if more, the mosaic and the grid
// picture while the mosaic is written (streamed, so only a piece of the file
// at a time) and, when a project is saved, its file image with the main
// picture as a BMP block (encoded beside the image it is copied into).
enum class CliRun { Create, Render };
std::uint64_t creationMemoryNeed(const tmosaicproject& settings, std::size_t libraryCount, CliRun run,
                                 PictureFileType type, bool savesProject, const Picture& mainPicture,
                                 const MemoryStatus& memory, unsigned threads);

// Refuses, with one line saying why, a mosaic whose size is outside the
// grid or the picture limits, or whose memory need exceeds the available
// physical memory (not checked when the system does not say).
void checkMosaicFits(const tmosaicproject& settings, std::size_t libraryCount, CliRun run, PictureFileType type,
                     bool savesProject, const Picture& mainPicture, const MemoryStatus& memory, unsigned threads);

// An output named on the command line, for the refusals.
struct OutputFile {
    const char* option;
    std::string path;
};

// Whatever a save would refuse by the name alone is refused before the work:
// a missing or unwritable folder, a name too long, a folder in the way; and
// two outputs must be two files.
void checkOutputNames(const std::vector<OutputFile>& outputs);

// The files a run reads; an output must be none of them, or the run would
// destroy its own input (a library photograph is read again by every later
// rendering of the project). Empty names and a null library are not looked
// at.
struct InputFiles {
    std::string mainPicture;
    std::string listFile;
    std::string project;
    const CellPicLib* library = nullptr;
};

// Refuses an existing output that is one of the inputs.
void checkOutputsSpareInputs(const std::vector<OutputFile>& outputs, const InputFiles& inputs);

// Where a rendering goes: the file type its memory is estimated for, whether
// the mosaic is encoded whole in that type (so the type must hold its size),
// and the outputs that must not be one of the project's inputs.
struct RenderTarget {
    PictureFileType type;
    bool encodesWhole;
    std::vector<OutputFile> outputs;
};

// Opens a project file and draws its mosaic again from the library it names
// (the placement kept), after checking the stored sizes, that no output is
// one of the project's files, that the output type holds the mosaic and that
// it fits in memory. Progress on progress. With useCache, the cells of
// photographs the analysis cache holds are drawn from it (its warnings on
// progress too).
void openAndRender(MosaicProject& project, CellPicLib& library, const std::string& path, const RenderTarget& target,
                   unsigned threads, bool useCache, std::ostream& progress, bool terminal);

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
// Before any work, create and render refuse what would only fail at the
// end: an output that cannot be created (folder missing or not writable,
// name too long), two outputs naming one file, an output that is one of the
// run's inputs (main picture, image list file, library photograph, project
// file), a mosaic the output format cannot hold, and one that does not fit
// in memory.
// usage escapes control characters in its lines when outTerminal says out
// is a terminal; otherwise they are the stored bytes exactly.
void runUsage(const Invocation& invocation, std::ostream& out, bool outTerminal = false);
// cache info|clear on the user's analysis cache ($XDG_CACHE_HOME/tilewright);
// the cache's warnings go to err.
void runCache(const Invocation& invocation, std::ostream& out, std::ostream& err);

// Parse and run; every failure becomes one errorLine on err. Returns the
// exit status: 0 done, 1 the work failed, 2 the command line is wrong.
// terminal: err is a terminal (progress redrawn in place); outTerminal: out
// is one.
int runMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal,
            bool outTerminal = false);

} // namespace tw::cli
