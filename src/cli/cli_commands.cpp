#include "cli/cli_commands.h"

#include "cache/analysis_store.h"
#include "cli/cli_print.h"
#include "engine/creation_memory.h"
#include "engine/options.h"
#include "engine/pipeline.h"
#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/program_files.h"
#include "setup/wizard_options.h"
#include "workspace/project_file.h"
#include "workspace/usage_lists.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <ostream>
#include <set>
#include <vector>

namespace tw::cli {

namespace {

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool nameBefore(const std::string& a, const std::string& b)
{
    std::string la = lowerCase(a), lb = lowerCase(b);
    return la != lb ? la < lb : a < b;
}

bool isPictureName(const std::string& name)
{
    std::string ext = lowerCase(extensionPart(name));
    return ext == "bmp" || ext == "jpg" || ext == "jpeg";
}

// A folder's identity for loop detection; the text itself when the system
// cannot resolve it.
std::string folderIdentity(const std::string& folder)
{
    std::error_code ec;
    auto canonical = std::filesystem::canonical(folder, ec);
    return ec ? folder : canonical.string();
}

void collectFolder(const std::string& folder, bool recursive, std::set<std::string>& visited,
                   std::vector<std::string>& paths)
{
    if (!visited.insert(folderIdentity(folder)).second)
        return;
    std::vector<DirEntry> entries = listDirectory(folder);
    std::vector<std::string> files, folders;
    for (const DirEntry& e : entries) {
        if (e.isHidden)
            continue;
        if (e.isRegularFile && isPictureName(e.name))
            files.push_back(e.name);
        else if (recursive && e.isDirectory)
            folders.push_back(e.name);
    }
    std::sort(files.begin(), files.end(), nameBefore);
    std::sort(folders.begin(), folders.end(), nameBefore);
    for (const std::string& name : files)
        paths.push_back(joinPath(folder, name));
    for (const std::string& name : folders)
        collectFolder(joinPath(folder, name), recursive, visited, paths);
}

// Needs are rounded up and what is available down, so the refusal never
// reads as if the two were equal.
std::string megabytesUp(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB"; }
std::string megabytesDown(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

void checkOpenedProject(const tmosaicproject& s, const std::string& path)
{
    auto inRange = [](std::int64_t v, std::int64_t lo, std::int64_t hi) { return v >= lo && v <= hi; };
    const std::int64_t maxDim = Picture::kMaxDimension;
    bool ok = inRange(s.cellsX, 1, kGridSize) && inRange(s.cellsY, 1, kGridSize) &&
              inRange(s.cellWidth, 1, maxDim) && inRange(s.cellHeight, 1, maxDim) &&
              inRange(std::int64_t{s.cellsX} * s.cellWidth, 1, maxDim) &&
              inRange(std::int64_t{s.cellsY} * s.cellHeight, 1, maxDim) && inRange(s.mosaicWidth, 1, maxDim) &&
              inRange(s.mosaicHeight, 1, maxDim);
    if (!ok)
        throw Error("project \"" + path + "\" holds an unusable mosaic size: " + std::to_string(s.cellsX) + " x " +
                    std::to_string(s.cellsY) + " cells of " + std::to_string(s.cellWidth) + " x " +
                    std::to_string(s.cellHeight) + " pixels");
}

// The output format must hold the mosaic: known from the size alone.
void checkFormatHolds(const tmosaicproject& s, PictureFileType type)
{
    const auto w = static_cast<std::uint64_t>(std::max(s.mosaicWidth, 0));
    const auto h = static_cast<std::uint64_t>(std::max(s.mosaicHeight, 0));
    const std::string size = std::to_string(w) + " x " + std::to_string(h) + " pixels";
    if (type == PictureFileType::Bmp && !bmpCanHold(w, h))
        throw Error("a mosaic of " + size + " does not fit in a BMP file, which holds at most 4 GB; save it as JPEG");
    if (type == PictureFileType::Jpeg && (w > kMaxJpegDimension || h > kMaxJpegDimension))
        throw Error("a mosaic of " + size + " does not fit in a JPEG file, which holds at most " +
                    std::to_string(kMaxJpegDimension) + " pixels a side");
}

void exportAndReport(const Picture& mosaic, const std::string& outPath, std::ostream& out)
{
    std::string written = exportPicture(mosaic, outPath, outputTypeFor(outPath));
    out << "Mosaic written to " << escapeControlCharacters(written) << '\n';
}

// The analysis cache's warnings come from any thread while the progress
// display owns the error stream; they are gathered and printed, one line
// each, once the display is done.
class CacheWarnings {
public:
    AnalysisStore::Warn sink()
    {
        return [this](const std::string& text) {
            std::lock_guard lock(mutex_);
            lines_.push_back(text);
        };
    }
    void print(std::ostream& err)
    {
        std::lock_guard lock(mutex_);
        for (const std::string& line : lines_)
            err << errorLine("warning: " + line) << '\n';
        lines_.clear();
        err.flush();
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

std::string megabytesText(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1048576.0);
    return text;
}

} // namespace

void checkOutputNames(const std::vector<OutputFile>& outputs)
{
    for (const OutputFile& o : outputs)
        checkCanCreateFile(o.path);
    for (std::size_t i = 0; i < outputs.size(); ++i)
        for (std::size_t j = i + 1; j < outputs.size(); ++j)
            if (sameFile(outputs[i].path, outputs[j].path))
                throw Error(std::string(outputs[i].option) + " and " + outputs[j].option + " name the same file \"" +
                            outputs[j].path + "\"");
}

void checkOutputsSpareInputs(const std::vector<OutputFile>& outputs, const InputFiles& inputs)
{
    for (const OutputFile& o : outputs) {
        // A file that does not exist yet cannot be an input that does.
        if (!pathExists(o.path))
            continue;
        auto refuse = [&](const std::string& what) {
            throw Error(std::string(o.option) + " \"" + o.path + "\" would overwrite " + what);
        };
        if (!inputs.mainPicture.empty() && sameFile(o.path, inputs.mainPicture))
            refuse("the main picture");
        if (!inputs.listFile.empty() && sameFile(o.path, inputs.listFile))
            refuse("the image list file");
        if (!inputs.project.empty() && sameFile(o.path, inputs.project))
            refuse("the project file");
        if (inputs.library)
            for (const std::string& entry : inputs.library->entries())
                if (!entry.empty() && sameFile(o.path, entry))
                    refuse("library photograph \"" + entry + "\"");
    }
}

std::vector<std::string> listLibraryFolder(const std::string& folder, bool recursive)
{
    std::string start = folder;
    while (start.size() > 1 && start.back() == kPathSeparator)
        start.pop_back();
    std::set<std::string> visited;
    std::vector<std::string> paths;
    collectFolder(start, recursive, visited, paths);
    return paths;
}

void loadLibrary(CellPicLib& library, const std::string& path, bool recursive)
{
    if (path.empty()) {
        library.loadDefaultList();
        return;
    }
    if (directoryExists(path)) {
        library.replaceAll(listLibraryFolder(path, recursive));
        return;
    }
    if (pathExists(path)) {
        // Anything but a regular file is refused by the reading itself.
        if (lowerCase(extensionPart(path)) != "il2")
            throw Error("library \"" + path + "\" is neither a folder nor an image list file (.IL2)");
        library.readListFile(path);
        return;
    }
    throw Error("library \"" + path + "\" does not exist");
}

std::uint64_t creationMemoryNeed(const tmosaicproject& s, std::size_t libraryCount, CliRun run, PictureFileType type,
                                 bool savesProject, const Picture& mainPicture, const MemoryStatus& memory,
                                 unsigned threads)
{
    const EngineOptions options{threads, false};
    const CreationMemory creation = run == CliRun::Create
                                        ? creationMemory(s, libraryCount, options, memory, 0)
                                        : renderingMemory(s, libraryCount, options, 0);
    // After the creation the mosaic is written out a piece at a time: a
    // megabyte of BMP rows, or libjpeg's rows of blocks and its output
    // buffer (about 100 bytes per pixel column); the project file is built
    // whole in memory, beside the main picture's block encoded for it.
    auto dim = [](std::int32_t v) { return static_cast<std::uint64_t>(v < 0 ? 0 : v); };
    const std::uint64_t writing =
        type == PictureFileType::Bmp ? (std::uint64_t{1} << 20) : 100 * dim(s.mosaicWidth) + (1u << 18);
    std::uint64_t projectImage = 0;
    if (savesProject) {
        const std::uint64_t row = (dim(mainPicture.width()) * 3 + 3) / 4 * 4;
        const std::uint64_t mainBlock = 54 + row * dim(mainPicture.height());
        projectImage = kProjectFixedBytes + 2 * mainBlock;
    }
    return std::max(creation.total(),
                    creation.heldByOldMosaic + creation.mosaic + gridPictureBytes(s) + writing + projectImage);
}

void checkMosaicFits(const tmosaicproject& s, std::size_t libraryCount, CliRun run, PictureFileType type,
                     bool savesProject, const Picture& mainPicture, const MemoryStatus& memory, unsigned threads)
{
    if (s.mosaicWidth < 1 || s.mosaicHeight < 1 || s.mosaicWidth > Picture::kMaxDimension ||
        s.mosaicHeight > Picture::kMaxDimension)
        throw Error("a mosaic of " + std::to_string(s.mosaicWidth) + " x " + std::to_string(s.mosaicHeight) +
                    " pixels is not possible; each side must be 1 to " + std::to_string(Picture::kMaxDimension) +
                    " pixels");
    std::uint64_t need = creationMemoryNeed(s, libraryCount, run, type, savesProject, mainPicture, memory, threads);
    if (memory.availablePhysical != 0 && need > memory.availablePhysical)
        throw Error("a mosaic of " + std::to_string(s.mosaicWidth) + " x " + std::to_string(s.mosaicHeight) +
                    " pixels needs about " + megabytesUp(need) + " of memory, but only " +
                    megabytesDown(memory.availablePhysical) + " is available");
}

ConsoleObserver::~ConsoleObserver() { finish(); }

void ConsoleObserver::finish() noexcept
{
    if (lineOpen_) {
        out_ << '\n';
        out_.flush();
        lineOpen_ = false;
    }
}

void ConsoleObserver::setJobLabel(const std::string& text)
{
    if (text == label_)
        return;
    finish();
    label_ = text;
    shown_ = 0;
    if (terminal_) {
        redraw();
    } else {
        out_ << label_ << '\n';
        out_.flush();
    }
}

void ConsoleObserver::setProgress(int value)
{
    int v = clampGauge(value);
    if (terminal_) {
        if (v != shown_) {
            shown_ = v;
            redraw();
        }
        return;
    }
    // Plain output: only forward, only at a new tenth (the rendering stage
    // drops the gauge back to 0 at its end, which is not news).
    int tenth = v / 10;
    if (tenth > shown_) {
        shown_ = tenth;
        out_ << label_ << ' ' << tenth * 10 << "%\n";
        out_.flush();
    }
}

void ConsoleObserver::redraw()
{
    constexpr int kBarWidth = 30;
    int v = shown_;
    int filled = v * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '-');
    std::string percent = std::to_string(v);
    percent.insert(0, 3 - std::min<std::size_t>(3, percent.size()), ' ');
    out_ << '\r' << label_ << "  [" << bar << "] " << percent << '%';
    out_.flush();
    lineOpen_ = true;
}

void runCreate(const Invocation& invocation, std::ostream& out, std::ostream& progress, bool terminal)
{
    const CreateRequest& request = invocation.create;
    const PictureFileType type = outputTypeFor(request.outPath);
    std::vector<OutputFile> outputs = {{"--out", exportFileName(request.outPath, type)}};
    if (!request.projectPath.empty())
        outputs.push_back({"--project", request.projectPath});
    checkOutputNames(outputs);

    auto project = std::make_unique<MosaicProject>();
    project->viewScale = 1;
    project->toolMode = ToolMode::Hand;

    CellPicLib library;
    loadLibrary(library, request.libraryPath, request.recursive);
    checkLibraryCapacity(library);
    InputFiles inputs;
    inputs.mainPicture = request.mainPath;
    if (request.libraryPath.empty())
        inputs.listFile = defaultListReadPath();
    else if (!directoryExists(request.libraryPath))
        inputs.listFile = request.libraryPath;
    inputs.library = &library;
    checkOutputsSpareInputs(outputs, inputs);

    project->mainImagePath = request.mainPath;
    loadMainImage(*project);

    MemoryStatus memory = queryMemoryStatus();
    CopyResult copied = copyWizardOptions(*project, request.size, request.options, library.count(), memory);
    if (project->settings.renderMode != RenderMode::SelfMosaic && library.count() == 0)
        throw Error(kNotEnoughImagesMessage);
    checkFormatHolds(project->settings, type);
    checkMosaicFits(project->settings, library.count(), CliRun::Create, type, !request.projectPath.empty(),
                    project->MainImage, memory, invocation.threads);

    for (const std::string& line : copied.brief)
        out << escapeControlCharacters(line) << '\n';
    out.flush();

    CacheWarnings warnings;
    std::unique_ptr<AnalysisStore> store;
    if (!request.noCache)
        store = AnalysisStore::open(userCacheFolder(), warnings.sink());
    warnings.print(progress);
    EngineOptions options{invocation.threads, false};
    options.analysisStore = store.get();
    try {
        ConsoleObserver observer(progress, terminal);
        runCreation(*project, library, observer, options);
    } catch (...) {
        warnings.print(progress);
        throw;
    }
    warnings.print(progress);

    exportAndReport(project->MosaicImage, request.outPath, out);
    if (!request.projectPath.empty()) {
        saveProjectFile(*project, library, request.projectPath);
        out << "Project saved to " << escapeControlCharacters(request.projectPath) << '\n';
    }
}

void runRender(const Invocation& invocation, std::ostream& out, std::ostream& progress, bool terminal)
{
    const RenderRequest& request = invocation.render;
    const PictureFileType type = outputTypeFor(request.outPath);
    const std::vector<OutputFile> outputs = {{"--out", exportFileName(request.outPath, type)}};
    checkOutputNames(outputs);

    auto project = std::make_unique<MosaicProject>();
    CellPicLib library;
    openAndRender(*project, library, request.projectPath, RenderTarget{type, true, outputs}, invocation.threads,
                  !request.noCache, progress, terminal);
    exportAndReport(project->MosaicImage, request.outPath, out);
}

void openAndRender(MosaicProject& project, CellPicLib& library, const std::string& path, const RenderTarget& target,
                   unsigned threads, bool useCache, std::ostream& progress, bool terminal)
{
    project.viewScale = 1;
    project.toolMode = ToolMode::Hand;
    openProjectFile(project, library, path);
    InputFiles inputs;
    inputs.project = path;
    inputs.library = &library;
    checkOutputsSpareInputs(target.outputs, inputs);

    // The record comes from a file: its sizes decide what gets allocated and
    // which grid cells are read, so they are checked before any drawing.
    checkOpenedProject(project.settings, path);
    if (target.encodesWhole)
        checkFormatHolds(project.settings, target.type);
    checkMosaicFits(project.settings, library.count(), CliRun::Render, target.type, false, project.MainImage,
                    queryMemoryStatus(), threads);

    CacheWarnings warnings;
    std::unique_ptr<AnalysisStore> store;
    if (useCache)
        store = AnalysisStore::open(userCacheFolder(), warnings.sink());
    warnings.print(progress);
    EngineOptions options{threads, false};
    options.analysisStore = store.get();
    try {
        ConsoleObserver observer(progress, terminal);
        runOpenedProject(project, library, observer, options);
    } catch (...) {
        warnings.print(progress);
        throw;
    }
    warnings.print(progress);
}

void runUsage(const Invocation& invocation, std::ostream& out, bool outTerminal)
{
    const UsageRequest& request = invocation.usage;
    auto project = std::make_unique<MosaicProject>();
    CellPicLib library;
    openProjectFile(*project, library, request.projectPath);
    const tmosaicproject& s = project->settings;
    // The lists walk cellsX x cellsY cells of the grid; a damaged record must
    // not send them outside it.
    if (s.cellsX < 0 || s.cellsY < 0 || s.cellsX > kGridSize || s.cellsY > kGridSize)
        throw Error("project \"" + request.projectPath + "\" holds an unusable grid of " + std::to_string(s.cellsX) +
                    " x " + std::to_string(s.cellsY) + " cells");

    std::vector<std::string> names = usageNames(library, !request.fullNames);
    std::vector<std::string> lines =
        request.detail ? detailUsageList(*project, names) : simpleUsageList(*project, names);
    // The lists carry the stored bytes exactly; only a terminal gets them
    // with control characters escaped, as it would otherwise obey them.
    for (const std::string& line : lines)
        out << (outTerminal ? escapeControlCharacters(line) : line) << '\n';
}

void runCache(const Invocation& invocation, std::ostream& out, std::ostream& err)
{
    const std::string folder = userCacheFolder();
    const std::string path = joinPath(folder, AnalysisStore::kDatabaseName);
    out << "Analysis cache: " << path << '\n';
    if (!fileExists(path)) {
        out << (invocation.cache.action == CacheAction::Clear ? "Nothing to clear: no creation has filled it yet"
                                                              : "Empty: no creation has filled it yet")
            << '\n';
        return;
    }
    CacheWarnings warnings;
    std::unique_ptr<AnalysisStore> store = AnalysisStore::open(folder, warnings.sink());
    warnings.print(err);
    if (!store)
        throw Error("the analysis cache " + path + " cannot be opened");
    const StoreSummary s =
        invocation.cache.action == CacheAction::Clear ? store->clear() : store->summary();
    warnings.print(err);
    if (invocation.cache.action == CacheAction::Clear) {
        out << "Removed " << s.entries << " entries for " << s.photographs << " photographs ("
            << megabytesText(s.entryBytes) << ")\n";
        return;
    }
    out << "Entries: " << s.entries << " for " << s.photographs << " photographs\n";
    out << "Size: " << megabytesText(s.fileBytes) << " on disk, entries " << megabytesText(s.entryBytes)
        << " of the " << megabytesText(s.limitBytes) << " limit\n";
}

int runMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal,
            bool outTerminal)
{
    try {
        Invocation invocation = parseArguments(args);
        if (invocation.help) {
            out << helpText(invocation.command);
            return 0;
        }
        if (invocation.version) {
            out << "tilewright-cli " << TILEWRIGHT_VERSION << '\n';
            return 0;
        }
        switch (invocation.command) {
        case Command::Create: runCreate(invocation, out, err, terminal); break;
        case Command::Render: runRender(invocation, out, err, terminal); break;
        case Command::Usage: runUsage(invocation, out, outTerminal); break;
        case Command::Print: runPrint(invocation, out, err, terminal); break;
        case Command::Cache: runCache(invocation, out, err); break;
        case Command::None: break;
        }
        out.flush();
        return 0;
    } catch (const UsageError& e) {
        err << errorLine(e.what()) << '\n';
        return 2;
    } catch (const Error& e) {
        err << errorLine(e.file().empty() ? std::string(e.what()) : e.file() + ": " + e.what()) << '\n';
        return 1;
    } catch (const std::bad_alloc&) {
        err << errorLine("not enough memory for this mosaic") << '\n';
        return 1;
    } catch (const std::exception& e) {
        err << errorLine(e.what()) << '\n';
        return 1;
    }
}

} // namespace tw::cli
