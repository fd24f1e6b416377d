// The pieces of tilewright-cli's commands: library gathering, the memory
// check, the console progress display and the exit statuses of runMain.
#include "cli/cli_commands.h"

#include "engine/creation_memory.h"
#include "engine/engine_fixtures.h"
#include "engine/pipeline.h"
#include "imaging/bmp.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "test_support.h"
#include "workspace/project_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <string>
#include <vector>

namespace tw::cli {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

std::vector<std::string> relativeTo(const fs::path& root, const std::vector<std::string>& paths)
{
    std::vector<std::string> out;
    for (const std::string& p : paths)
        out.push_back(fs::path(p).lexically_relative(root).string());
    return out;
}

TEST(CliLibrary, FolderListingKeepsPicturesSortedWithoutRegardToCase)
{
    fs::path root = test::scratchDir("cli_library_listing");
    for (const char* name : {"b.JPG", "Zeta.Jpg", "A.bmp", "c.jpeg", "alpha.jpg", "notes.txt", ".hidden.jpg",
                             "noext", "a.jpg.txt"})
        touch(root / name);
    fs::create_directories(root / "folder.jpg");  // a folder named like a picture is not one
    touch(root / "sub" / "x.jpg");
    touch(root / "sub" / "deeper" / "z.bmp");
    touch(root / "Another" / "y.JPEG");
    touch(root / ".cache" / "hidden-folder.jpg");

    EXPECT_EQ(relativeTo(root, listLibraryFolder(root.string(), false)),
              (std::vector<std::string>{"A.bmp", "alpha.jpg", "b.JPG", "c.jpeg", "Zeta.Jpg"}));
    EXPECT_EQ(relativeTo(root, listLibraryFolder(root.string(), true)),
              (std::vector<std::string>{"A.bmp", "alpha.jpg", "b.JPG", "c.jpeg", "Zeta.Jpg", "Another/y.JPEG",
                                        "sub/x.jpg", "sub/deeper/z.bmp"}));
}

TEST(CliLibrary, NamesEqualButForCaseKeepAFixedOrder)
{
    fs::path root = test::scratchDir("cli_library_case");
    touch(root / "a.jpg");
    touch(root / "A.jpg");
    EXPECT_EQ(relativeTo(root, listLibraryFolder(root.string(), false)), (std::vector<std::string>{"A.jpg", "a.jpg"}));
}

TEST(CliLibrary, TrailingSeparatorDoesNotDoubleInPaths)
{
    fs::path root = test::scratchDir("cli_library_slash");
    touch(root / "p.jpg");
    std::vector<std::string> paths = listLibraryFolder(root.string() + "/", false);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0], (root / "p.jpg").string());
}

TEST(CliLibrary, LinkLoopDoesNotRecurseForever)
{
    fs::path root = test::scratchDir("cli_library_loop");
    touch(root / "p.jpg");
    touch(root / "sub" / "q.jpg");
    fs::create_directory_symlink(root, root / "sub" / "back");
    EXPECT_EQ(relativeTo(root, listLibraryFolder(root.string(), true)),
              (std::vector<std::string>{"p.jpg", "sub/q.jpg"}));
}

TEST(CliLibrary, MissingFolderFailsWithItsName)
{
    fs::path root = test::scratchDir("cli_library_missing");
    try {
        listLibraryFolder((root / "nope").string(), false);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find((root / "nope").string()), std::string::npos) << e.what();
    }
}

TEST(CliLibrary, LibraryComesFromFolderListFileOrNothingElse)
{
    fs::path root = test::scratchDir("cli_library_sources");
    touch(root / "pics" / "one.jpg");
    touch(root / "pics" / "two.bmp");
    const std::string list = (root / "mine.IL2").string();
    {
        std::ofstream out(list, std::ios::binary);
        out << "/x/first.jpg\r\n/y/second.bmp\r\n";
    }
    touch(root / "photo.jpg");

    CellPicLib fromFolder;
    loadLibrary(fromFolder, (root / "pics").string(), false);
    EXPECT_EQ(relativeTo(root / "pics", fromFolder.entries()), (std::vector<std::string>{"one.jpg", "two.bmp"}));

    CellPicLib fromList;
    loadLibrary(fromList, list, false);
    EXPECT_EQ(fromList.entries(), (std::vector<std::string>{"/x/first.jpg", "/y/second.bmp"}));

    CellPicLib untouched;
    untouched.append("kept");
    const std::string missing = (root / "absent").string();
    try {
        loadLibrary(untouched, missing, false);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "library \"" + missing + "\" does not exist");
    }
    const std::string picture = (root / "photo.jpg").string();
    try {
        loadLibrary(untouched, picture, false);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "library \"" + picture + "\" is neither a folder nor an image list file (.IL2)");
    }
    EXPECT_EQ(untouched.entries(), std::vector<std::string>{"kept"});
}

tmosaicproject settingsFor(int cellsX, int cellsY, int cellW, int cellH, RenderMode mode = RenderMode::Standard)
{
    tmosaicproject s;
    s.cellsX = cellsX;
    s.cellsY = cellsY;
    s.cellWidth = cellW;
    s.cellHeight = cellH;
    s.mosaicWidth = cellsX * cellW;
    s.mosaicHeight = cellsY * cellH;
    s.renderMode = mode;
    return s;
}

TEST(CliMemory, NeedCoversWhatARealCreationHolds)
{
    // The estimate is checked against the objects a real creation holds at
    // once: while it draws, the new mosaic and grid picture beside its own
    // copies of the table and grid; when the project is saved, the mosaic
    // beside the whole file image and the main picture's block encoded for
    // it. An estimate that leaves any of them out is too small.
    struct Row {
        const char* what;
        int cells, cellSize;
        RenderMode mode;
        PictureFileType type;
        bool saves;
        int mainW, mainH;
    };
    const Row rows[] = {
        {"default grid, JPEG", 48, 32, RenderMode::Standard, PictureFileType::Jpeg, false, 300, 200},
        {"default grid, BMP, saved", 48, 32, RenderMode::Standard, PictureFileType::Bmp, true, 300, 200},
        {"tiny mosaic", 8, 8, RenderMode::Standard, PictureFileType::Jpeg, false, 64, 64},
        {"tiny mosaic of a large picture, saved", 8, 8, RenderMode::Standard, PictureFileType::Jpeg, true, 3000, 2000},
        {"self mosaic, saved", 16, 16, RenderMode::SelfMosaic, PictureFileType::Jpeg, true, 400, 300},
    };
    const MemoryStatus plenty{64ull << 30, 32ull << 30};
    const CellPicLib library = test::makeGradientLibrary("cli_memory", 6);
    for (const Row& row : rows) {
        tmosaicproject s = test::gridSettings(row.cells, row.cells, row.cellSize, row.cellSize);
        s.renderMode = row.mode;
        auto project = test::makeProject(s);
        project->MainImage = test::gradientPicture(row.mainW, row.mainH, Bgr{0, 40, 90}, Bgr{250, 200, 10});
        const std::uint64_t need = creationMemoryNeed(s, library.count(), CliRun::Create, row.type, row.saves,
                                                      project->MainImage, plenty, 2);
        NullObserver quiet;
        runCreation(*project, library, quiet);
        const std::uint64_t drawing =
            project->MosaicImage.byteSize() + project->GridImage.byteSize() + kCreationWorkBytes;
        EXPECT_GE(need, drawing) << row.what;
        if (row.saves) {
            const std::uint64_t saving = project->MosaicImage.byteSize() + project->GridImage.byteSize() +
                                         buildProjectFile(*project, library).size() +
                                         encodeBmp(project->MainImage).size();
            EXPECT_GE(need, saving) << row.what;
        }
    }
}

TEST(CliMemory, NeedIsTheEngineEstimateWithTheOutputStreamed)
{
    const MemoryStatus plenty{64ull << 30, 32ull << 30};
    const tmosaicproject s = settingsFor(48, 48, 32, 32);
    const std::uint64_t mosaic = 1536ull * 1536 * 3;
    const Picture main(300, 200);
    auto need = [&](const tmosaicproject& t, std::size_t photos, PictureFileType type, bool project) {
        return creationMemoryNeed(t, photos, CliRun::Create, type, project, main, plenty, 2);
    };
    // The engine's estimate of the creation, the one the desktop program
    // checks too: the mosaic, a photograph cache and the working memory.
    const CreationMemory creation = creationMemory(s, 100, EngineOptions{2, false}, plenty, 0);
    EXPECT_EQ(creation.mosaic, mosaic);
    EXPECT_GT(creation.photoCache, 0u);
    EXPECT_EQ(need(s, 100, PictureFileType::Jpeg, false), creation.total());
    // Both outputs are streamed: a BMP needs no copy of the mosaic.
    EXPECT_LT(need(s, 100, PictureFileType::Bmp, false), creation.total() + mosaic / 8);
    // A saved project's file image is held with the mosaic.
    EXPECT_GE(need(s, 100, PictureFileType::Jpeg, true), mosaic + kProjectFixedBytes);
    // A self mosaic keeps no library photographs and matches nothing.
    const tmosaicproject self = settingsFor(48, 48, 32, 32, RenderMode::SelfMosaic);
    EXPECT_EQ(creationMemory(self, 100, EngineOptions{2, false}, plenty, 0).photoCache, 0u);
    EXPECT_LT(need(self, 5000, PictureFileType::Jpeg, false), need(s, 5000, PictureFileType::Jpeg, false));
    // Rendering an opened project neither decodes for a cache nor matches.
    EXPECT_LT(creationMemoryNeed(s, 5000, CliRun::Render, PictureFileType::Jpeg, false, main, plenty, 2),
              need(s, 5000, PictureFileType::Jpeg, false));
}

TEST(CliMemory, LargestGridDoesNotOverflowTheEstimate)
{
    const tmosaicproject s = settingsFor(800, 800, 48, 48);
    const std::uint64_t mosaic = 38400ull * 38400 * 3;
    const std::uint64_t need = creationMemoryNeed(s, 10241, CliRun::Create, PictureFileType::Bmp, true,
                                                  Picture(Picture::kMaxDimension, 1),
                                                  MemoryStatus{1ull << 40, 1ull << 40}, 256);
    EXPECT_GT(need, mosaic);
    EXPECT_LT(need, mosaic + (8ull << 30));
}

TEST(CliMemory, MosaicBeyondAvailableMemoryIsRefusedWithFigures)
{
    const tmosaicproject s = settingsFor(8, 8, 8, 8);
    const Picture main(64, 64);
    const std::uint64_t need = creationMemoryNeed(s, 1, CliRun::Create, PictureFileType::Jpeg, false, main, {}, 2);
    EXPECT_NO_THROW(
        checkMosaicFits(s, 1, CliRun::Create, PictureFileType::Jpeg, false, main, MemoryStatus{0, need}, 2));
    // Unknown: not checked.
    EXPECT_NO_THROW(checkMosaicFits(s, 1, CliRun::Create, PictureFileType::Jpeg, false, main, MemoryStatus{0, 0}, 2));
    try {
        checkMosaicFits(s, 1, CliRun::Create, PictureFileType::Jpeg, false, main, MemoryStatus{0, need - 1}, 2);
        FAIL() << "no refusal";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "a mosaic of 64 x 64 pixels needs about " +
                                             std::to_string((need + 1048575) / 1048576) + " MB of memory, but only " +
                                             std::to_string((need - 1) / 1048576) + " MB is available");
    }
    const tmosaicproject big = settingsFor(800, 800, 48, 48);
    try {
        checkMosaicFits(big, 0, CliRun::Create, PictureFileType::Bmp, false, main, MemoryStatus{0, 1ull << 30}, 2);
        FAIL() << "no refusal";
    } catch (const Error& e) {
        std::string text = e.what();
        EXPECT_EQ(text.rfind("a mosaic of 38400 x 38400 pixels needs about 4", 0), 0u) << text;
        EXPECT_NE(text.find(" MB of memory, but only 1024 MB"), std::string::npos) << text;
    }
}

TEST(CliMemory, MosaicBeyondThePictureLimitIsRefused)
{
    tmosaicproject s = settingsFor(8, 8, 8, 8);
    s.mosaicWidth = Picture::kMaxDimension + 1;
    EXPECT_THROW(checkMosaicFits(s, 1, CliRun::Create, PictureFileType::Jpeg, false, Picture{}, MemoryStatus{}, 2),
                 Error);
    s.mosaicWidth = 0;
    EXPECT_THROW(checkMosaicFits(s, 1, CliRun::Create, PictureFileType::Jpeg, false, Picture{}, MemoryStatus{}, 2),
                 Error);
}

TEST(CliProgress, PlainOutputPrintsEachLabelOnceAndTenthsForward)
{
    std::ostringstream out;
    {
        ConsoleObserver observer(out, false);
        observer.setJobLabel("Current Job : Mosaic Grid");
        observer.setProgress(0);
        observer.setProgress(100);
        observer.setJobLabel("Current Job : Cell Pic Lib");
        observer.setJobLabel("Current Job : Cell Pic Lib");
        for (int v = -1; v <= 100; ++v)
            observer.setProgress(v);
        observer.setJobLabel("Current Job : OutPut Final Mosaic Picture");
        observer.setProgress(5);
        observer.setProgress(12);
        observer.setProgress(0);  // the end-of-stage reset is not printed
        observer.pump();
    }
    std::string expected = "Current Job : Mosaic Grid\nCurrent Job : Mosaic Grid 100%\nCurrent Job : Cell Pic Lib\n";
    for (int t = 10; t <= 100; t += 10)
        expected += "Current Job : Cell Pic Lib " + std::to_string(t) + "%\n";
    expected += "Current Job : OutPut Final Mosaic Picture\nCurrent Job : OutPut Final Mosaic Picture 10%\n";
    EXPECT_EQ(out.str(), expected);
}

TEST(CliProgress, TerminalRedrawsOneLineAndEndsIt)
{
    std::ostringstream out;
    {
        ConsoleObserver observer(out, true);
        observer.setJobLabel("Current Job : Mosaic Grid");
        observer.setProgress(0);   // the label already drew 0%
        observer.setProgress(50);
        observer.setProgress(50);  // unchanged: no redraw
        observer.setProgress(150); // shown as 100
        observer.setJobLabel("Current Job : Mosaic Created");
    }
    const std::string text = out.str();
    EXPECT_EQ(text,
              "\rCurrent Job : Mosaic Grid  [------------------------------]   0%"
              "\rCurrent Job : Mosaic Grid  [###############---------------]  50%"
              "\rCurrent Job : Mosaic Grid  [##############################] 100%\n"
              "\rCurrent Job : Mosaic Created  [------------------------------]   0%\n");
}

TEST(CliMain, ExitStatusesAndOneLineOnError)
{
    fs::path root = test::scratchDir("cli_main_status");
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string errorStart;  // empty: nothing on the error stream
    };
    const std::string missingMain = (root / "missing.jpg").string();
    const std::vector<Row> rows = {
        {{"--help"}, 0, ""},
        {{"create", "--help"}, 0, ""},
        {{"--version"}, 0, ""},
        {{}, 2, "tilewright-cli: no command given"},
        {{"create", "--main", "m.jpg", "--out", "o.jpg", "--cells", "48x"}, 2, "tilewright-cli: --cells: "},
        {{"create", "--main", missingMain, "--library", root.string(), "--out", (root / "o.jpg").string()}, 1,
         "tilewright-cli: Cannot open file \"" + missingMain + "\""},
        {{"create", "--main", "m.jpg", "--library", (root / "absent").string(), "--out", "o.jpg"}, 1,
         "tilewright-cli: library \""},
        {{"usage", (root / "absent.tw6").string()}, 1, "tilewright-cli: Cannot open file"},
    };
    for (const Row& row : rows) {
        std::ostringstream out, err;
        int status = runMain(row.args, out, err, false);
        std::string joined;
        for (const std::string& a : row.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        EXPECT_EQ(status, row.status);
        const std::string e = err.str();
        if (row.errorStart.empty()) {
            EXPECT_EQ(e, "");
            EXPECT_FALSE(out.str().empty());
        } else {
            EXPECT_EQ(e.rfind(row.errorStart, 0), 0u) << e;
            ASSERT_FALSE(e.empty());
            EXPECT_EQ(e.find('\n'), e.size() - 1) << "more than one line: " << e;
        }
    }
}

TEST(CliMain, StandardModeWithEmptyLibraryIsRefused)
{
    fs::path root = test::scratchDir("cli_main_empty_library");
    fs::create_directories(root / "empty");
    saveBmp(test::solidPicture(16, 16, Bgr{10, 20, 30}), (root / "main.bmp").string());
    std::ostringstream out, err;
    int status = runMain({"create", "--main", (root / "main.bmp").string(), "--library", (root / "empty").string(),
                          "--cells", "8x8", "--out", (root / "o.bmp").string()},
                         out, err, false);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err.str(), "tilewright-cli: " + kNotEnoughImagesMessage + "\n");
    EXPECT_FALSE(fs::exists(root / "o.bmp"));
}

} // namespace
} // namespace tw::cli

namespace tw::cli {
namespace {

// A main picture, a library of three photographs and an image list naming
// them, for runs that are refused before they start.
class CliRefusals : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = test::unprivilegedDir("cli_refusals");
        library = root / "library";
        fs::create_directories(library);
        for (int i = 0; i < 3; ++i)
            saveBmp(test::solidPicture(12, 10, Bgr{static_cast<std::uint8_t>(i * 80), 90, 200}),
                    (library / ("p" + std::to_string(i) + ".bmp")).string());
        mainPicture = (root / "main.bmp").string();
        saveBmp(test::solidPicture(40, 30, Bgr{30, 60, 90}), mainPicture);
        listFile = (root / "list.IL2").string();
        CellPicLib list;
        list.replaceAll(listLibraryFolder(library.string(), false));
        list.writeListFile(listFile);
        out = root / "out";
        fs::create_directories(out);
        if (::geteuid() == 0)
            (void)!::chown(out.c_str(), 65534, 65534);
    }

    std::vector<std::string> create(const std::string& outPath, std::vector<std::string> extra = {}) const
    {
        std::vector<std::string> args = {"create", "--main", mainPicture, "--library", library.string(),
                                         "--cells",  "4x4", "--cell-size", "8x8", "--out", outPath};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // What a refused run must look like: status 1, the one error line and
    // nothing else, no output file.
    static std::string refusalProblems(const std::vector<std::string>& args, const std::string& line,
                                       const fs::path& outFolder)
    {
        std::size_t before = 0;
        for ([[maybe_unused]] auto& e : fs::directory_iterator(outFolder))
            ++before;
        std::ostringstream o, e;
        const int status = runMain(args, o, e, false);
        std::string problems;
        if (status != 1)
            problems += "status " + std::to_string(status) + "; ";
        if (e.str() != line + "\n")
            problems += "error stream \"" + e.str() + "\", wanted \"" + line + "\"; ";
        if (!o.str().empty())
            problems += "work began: \"" + o.str().substr(0, 60) + "\"; ";
        std::size_t after = 0;
        for ([[maybe_unused]] auto& f : fs::directory_iterator(outFolder))
            ++after;
        if (after != before)
            problems += "files were written; ";
        return problems;
    }

    fs::path root, library, out;
    std::string mainPicture, listFile;
};

TEST_F(CliRefusals, WhatWouldFailAtTheEndIsRefusedBeforeTheWork)
{
    const std::string photo = (library / "p1.bmp").string();
    const std::string longName = (out / (std::string(252, 'n') + ".bmp")).string();
    fs::create_symlink(listFile, out / "list-link.bmp");
    const std::string listLink = (out / "list-link.bmp").string();
    // A project named like a picture, for render.
    const std::string project = (out / "project.bmp").string();
    fs::create_directory(out / "folder.bmp");
    {
        std::ostringstream o, e;
        ASSERT_EQ(runMain(create((out / "first.jpg").string(), {"--project", project}), o, e, false), 0) << e.str();
        fs::remove(out / "first.jpg");
    }
    struct Row {
        const char* fault;
        std::vector<std::string> args;
        std::string line;
    };
    const std::string o = out.string();
    const std::vector<Row> rows = {
        {"output folder missing", create(o + "/no/such/x.bmp"),
         "tilewright-cli: Cannot create file \"" + o + "/no/such/x.bmp\". No such file or directory"},
        {"project folder missing", create(o + "/x.bmp", {"--project", o + "/none/p.tw6"}),
         "tilewright-cli: Cannot create file \"" + o + "/none/p.tw6\". No such file or directory"},
        {"output name too long", create(longName),
         "tilewright-cli: Cannot create file \"" + longName + "\". File name too long"},
        {"name too long once .jpg is added", create(o + "/" + std::string(253, 'n') + ".jpeg"),
         "tilewright-cli: Cannot create file \"" + o + "/" + std::string(253, 'n') +
             ".jpeg.jpg\". File name too long"},
        {"output is a folder", create(o + "/folder.bmp"),
         "tilewright-cli: Cannot create file \"" + o + "/folder.bmp\". Is a directory"},
        {"output is the main picture", create(mainPicture),
         "tilewright-cli: --out \"" + mainPicture + "\" would overwrite the main picture"},
        {"project is the main picture", create(o + "/x.bmp", {"--project", mainPicture}),
         "tilewright-cli: --project \"" + mainPicture + "\" would overwrite the main picture"},
        {"output is a library photograph", create(photo),
         "tilewright-cli: --out \"" + photo + "\" would overwrite library photograph \"" + photo + "\""},
        {"output links to the image list",
         {"create", "--main", mainPicture, "--library", listFile, "--cells", "4x4", "--out", listLink},
         "tilewright-cli: --out \"" + listLink + "\" would overwrite the image list file"},
        {"output and project the same", create(o + "/same.bmp", {"--project", o + "/./same.bmp"}),
         "tilewright-cli: --out and --project name the same file \"" + o + "/./same.bmp\""},
        {"largest grid as BMP", create(o + "/big.bmp", {"--cells", "800x800", "--cell-size", "48x48"}),
         "tilewright-cli: a mosaic of 38400 x 38400 pixels does not fit in a BMP file, which holds at most 4 GB; "
         "save it as JPEG"},
        {"render over its project", {"render", project, "--out", project},
         "tilewright-cli: --out \"" + project + "\" would overwrite the project file"},
        {"render over a library photograph", {"render", project, "--out", photo},
         "tilewright-cli: --out \"" + photo + "\" would overwrite library photograph \"" + photo + "\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        EXPECT_EQ(refusalProblems(row.args, row.line, out), "");
    }
    // The largest grid fits a JPEG and a BMP of 47-pixel cells: those pass
    // the format check (and meet the memory check or the work).
    EXPECT_TRUE(bmpCanHold(37600, 37600));
    EXPECT_FALSE(bmpCanHold(38400, 38400));
}

TEST_F(CliRefusals, UnwritableOutputFolderIsRefusedBeforeTheWork)
{
    const std::string report = test::runUnprivileged([&]() -> std::string {
        ::chmod(out.c_str(), 0555);
        std::string problems = refusalProblems(
            create((out / "x.jpg").string()),
            "tilewright-cli: Cannot create file \"" + (out / "x.jpg").string() + "\". Permission denied", out);
        ::chmod(out.c_str(), 0755);
        return problems;
    });
    EXPECT_EQ(report, "");
}

TEST_F(CliRefusals, LongestNameTheFolderTakesIsWritten)
{
    // The name reaches the file system's limit; the temporary must not go
    // beyond it.
    const std::string name = (out / (std::string(251, 'n') + ".bmp")).string();
    std::ostringstream o, e;
    ASSERT_EQ(runMain(create(name), o, e, false), 0) << e.str();
    EXPECT_TRUE(fs::exists(name));
}

TEST_F(CliRefusals, OnlyRegularFilesAreReadAndRefusedAtOnce)
{
    const std::string fifo = (out / "x.bmp").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string fifoList = (out / "pipe.IL2").string();
    ASSERT_EQ(::mkfifo(fifoList.c_str(), 0600), 0);
    const std::string zeroProject = (out / "zero.tw6").string();
    fs::create_symlink("/dev/zero", zeroProject);
    // A list naming the pipe as a photograph.
    const std::string listWithPipe = (out / "with-pipe.IL2").string();
    CellPicLib list;
    list.replaceAll({(library / "p0.bmp").string(), fifo});
    list.writeListFile(listWithPipe);

    const std::string pipeReason = "\". Not a regular file (a named pipe)";
    struct Row {
        const char* input;
        std::vector<std::string> args;
        std::string line;
    };
    const std::string o = out.string();
    const std::vector<Row> rows = {
        {"main picture", {"create", "--main", fifo, "--library", library.string(), "--out", o + "/m.jpg"},
         "tilewright-cli: Cannot open file \"" + fifo + pipeReason},
        {"image list", {"create", "--main", mainPicture, "--library", fifoList, "--out", o + "/m.jpg"},
         "tilewright-cli: Cannot open file \"" + fifoList + pipeReason},
        {"library line",
         {"create", "--main", mainPicture, "--library", listWithPipe, "--cells", "4x4", "--out", o + "/m.jpg"},
         "tilewright-cli: Cannot open file \"" + fifo + pipeReason},
        {"project for render", {"render", zeroProject, "--out", o + "/m.jpg"},
         "tilewright-cli: Cannot open file \"" + zeroProject + "\". Not a regular file (a character device)"},
        {"project for usage", {"usage", zeroProject},
         "tilewright-cli: Cannot open file \"" + zeroProject + "\". Not a regular file (a character device)"},
    };
    std::atomic<bool> stop{false};
    std::thread feeder([&] { test::feedPipeUntil(fifo, stop); });
    std::thread listFeeder([&] { test::feedPipeUntil(fifoList, stop); });
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        std::ostringstream out, err;
        EXPECT_EQ(runMain(row.args, out, err, false), 1);
        const std::string e = err.str();
        const auto lastLine = e.rfind('\n', e.size() - 2);
        EXPECT_EQ(e.substr(lastLine == std::string::npos ? 0 : lastLine + 1), row.line + "\n");
    }
    stop = true;
    feeder.join();
    listFeeder.join();
    EXPECT_FALSE(fs::exists(out / "m.jpg"));
}

TEST_F(CliRefusals, ControlCharactersFromFilesAreEchoedEscaped)
{
    // A list line that would clear the screen and one that would rub out
    // what came before it.
    const std::string clear = (out / "\x1b[2J\x1b[Hgone.bmp").string();
    const std::string broken = (out / "rub\b\b\bout.bmp").string();
    struct Row {
        std::string entry, shown;
    };
    const Row rows[] = {
        {clear, (out / "\\x1b[2J\\x1b[Hgone.bmp").string()},
        {broken, (out / "rub\\x08\\x08\\x08out.bmp").string()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shown);
        const std::string listPath = (out / "hostile.IL2").string();
        CellPicLib list;
        list.replaceAll({row.entry});
        list.writeListFile(listPath);
        std::ostringstream o, e;
        EXPECT_EQ(runMain({"create", "--main", mainPicture, "--library", listPath, "--cells", "4x4", "--out",
                           (out / "m.jpg").string()},
                          o, e, false),
                  1);
        const std::string err = e.str();
        EXPECT_EQ(err.find_first_of("\x1b\b"), std::string::npos);
        EXPECT_NE(err.find("tilewright-cli: Cannot open file \"" + row.shown + "\". No such file or directory\n"),
                  std::string::npos)
            << err;
        // The brief names the main picture only; its lines are escaped too.
        EXPECT_EQ(o.str().find('\x1b'), std::string::npos);
    }
}

TEST_F(CliRefusals, UsageListsKeepTheirBytesExceptOnATerminal)
{
    // A photograph whose name would clear the screen when printed raw.
    const fs::path hostile = out / "pics";
    fs::create_directories(hostile);
    saveBmp(test::solidPicture(12, 10, Bgr{5, 200, 90}), (hostile / "\x1b[2Jx.bmp").string());
    const std::string project = (out / "p.tw6").string();
    {
        std::ostringstream o, e;
        ASSERT_EQ(runMain({"create", "--main", mainPicture, "--library", hostile.string(), "--cells", "2x2",
                           "--cell-size", "8x8", "--out", (out / "m.jpg").string(), "--project", project},
                          o, e, false),
                  0)
            << e.str();
    }
    struct Row {
        bool terminal;
        std::string line;
    };
    const Row rows[] = {
        {false, "\x1b[2Jx.bmpTotal used time:4\n"},
        {true, "\\x1b[2Jx.bmpTotal used time:4\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.terminal ? "terminal" : "file");
        std::ostringstream o, e;
        EXPECT_EQ(runMain({"usage", project}, o, e, false, row.terminal), 0) << e.str();
        EXPECT_EQ(o.str(), row.line);
    }
}

} // namespace
} // namespace tw::cli
