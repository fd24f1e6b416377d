// The pieces of tilewright-cli's commands: library gathering, the memory
// check, the console progress display and the exit statuses of runMain.
#include "cli/cli_commands.h"

#include "engine/engine_fixtures.h"
#include "engine/pipeline.h"
#include "imaging/jpeg.h"
#include "imaging/bmp.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "test_support.h"
#include "workspace/project_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
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
    const CellPicLib library = test::makeGradientLibrary("cli_memory", 6);
    for (const Row& row : rows) {
        tmosaicproject s = test::gridSettings(row.cells, row.cells, row.cellSize, row.cellSize);
        s.renderMode = row.mode;
        auto project = test::makeProject(s);
        project->MainImage = test::gradientPicture(row.mainW, row.mainH, Bgr{0, 40, 90}, Bgr{250, 200, 10});
        const std::uint64_t need = creationMemoryNeed(s, library.count(), row.type, row.saves, project->MainImage);
        NullObserver quiet;
        runCreation(*project, library, quiet);
        const std::uint64_t drawing =
            project->MosaicImage.byteSize() + project->GridImage.byteSize() + kCreationWorkBytes;
        EXPECT_GE(need, drawing) << row.what;
        if (row.saves) {
            const std::uint64_t saving = project->MosaicImage.byteSize() +
                                         buildProjectFile(*project, library).size() +
                                         encodeBmp(project->MainImage).size();
            EXPECT_GE(need, saving) << row.what;
        }
        // The encoded output is counted whole beside the mosaic.
        const std::uint64_t written = row.type == PictureFileType::Bmp ? encodeBmp(project->MosaicImage).size()
                                                                      : encodeJpeg(project->MosaicImage, 75).size();
        EXPECT_GE(need, project->MosaicImage.byteSize() + written) << row.what;
    }
}

TEST(CliMemory, LargestGridDoesNotOverflowTheEstimate)
{
    const tmosaicproject s = settingsFor(800, 800, 48, 48);
    const std::uint64_t mosaic = 38400ull * 38400 * 3;
    EXPECT_GT(creationMemoryNeed(s, 10241, PictureFileType::Bmp, true, Picture(Picture::kMaxDimension, 1)), 2 * mosaic);
}

TEST(CliMemory, MosaicBeyondAvailableMemoryIsRefusedWithFigures)
{
    const tmosaicproject s = settingsFor(8, 8, 8, 8);
    const Picture main(64, 64);
    const std::uint64_t need = creationMemoryNeed(s, 1, PictureFileType::Jpeg, false, main);
    EXPECT_NO_THROW(checkMosaicFits(s, 1, PictureFileType::Jpeg, false, main, MemoryStatus{0, need}));
    EXPECT_NO_THROW(checkMosaicFits(s, 1, PictureFileType::Jpeg, false, main, MemoryStatus{0, 0}));  // unknown
    try {
        checkMosaicFits(s, 1, PictureFileType::Jpeg, false, main, MemoryStatus{0, need - 1});
        FAIL() << "no refusal";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "a mosaic of 64 x 64 pixels needs about 13 MB of memory, but only 12 MB is available");
    }
    const tmosaicproject big = settingsFor(800, 800, 48, 48);
    try {
        checkMosaicFits(big, 0, PictureFileType::Bmp, false, main, MemoryStatus{0, 1ull << 30});
        FAIL() << "no refusal";
    } catch (const Error& e) {
        std::string text = e.what();
        EXPECT_EQ(text.rfind("a mosaic of 38400 x 38400 pixels needs about 8458 MB of memory, but only 1024 MB", 0), 0u)
            << text;
    }
}

TEST(CliMemory, MosaicBeyondThePictureLimitIsRefused)
{
    tmosaicproject s = settingsFor(8, 8, 8, 8);
    s.mosaicWidth = Picture::kMaxDimension + 1;
    EXPECT_THROW(checkMosaicFits(s, 1, PictureFileType::Jpeg, false, Picture{}, MemoryStatus{}), Error);
    s.mosaicWidth = 0;
    EXPECT_THROW(checkMosaicFits(s, 1, PictureFileType::Jpeg, false, Picture{}, MemoryStatus{}), Error);
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
