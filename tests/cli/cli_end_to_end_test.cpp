// The real tilewright-cli program, run as a user would, on a tiny library:
// the files it writes, what it prints and its exit statuses.
#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "imaging/load_picture.h"
#include "platform/files.h"
#include "printing/poppler.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tw {
namespace {

namespace fs = std::filesystem;

struct RunResult {
    int status = -1;
    std::string out, err;
};

std::string shellQuote(const std::string& word)
{
    std::string q = "'";
    for (char c : word) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Runs the program with its error stream captured to a file (it is not a
// terminal, so progress comes as plain lines), with the environment
// settings given ("LC_ALL=C") before it.
RunResult runCli(const std::vector<std::string>& args, const fs::path& scratch, const std::string& environment = "")
{
    std::string command = environment + " " + shellQuote(TILEWRIGHT_CLI_PROGRAM);
    for (const std::string& a : args)
        command += " " + shellQuote(a);
    const fs::path errFile = scratch / "stderr.txt";
    command += " 2>" + shellQuote(errFile.string());
    RunResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    result.err = readText(errFile);
    return result;
}

Picture gradientPicture(int w, int h, Bgr from, Bgr to)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int t = (x + y) * 255 / (w + h - 2);
            auto lerp = [t](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a + (b - a) * t / 255); };
            p.setPixel(x, y, Bgr{lerp(from.b, to.b), lerp(from.g, to.g), lerp(from.r, to.r)});
        }
    return p;
}

class CliEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = test::scratchDir(std::string("cli_e2e_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        library = dir / "library";
        fs::create_directories(library);
        for (int i = 0; i < 12; ++i) {
            Bgr a{static_cast<std::uint8_t>(i * 20), static_cast<std::uint8_t>(255 - i * 20), 90};
            Bgr b{200, static_cast<std::uint8_t>(i * 15), static_cast<std::uint8_t>(250 - i * 10)};
            Picture p = gradientPicture(24 + i, 20, a, b);
            std::string name = "photo" + std::to_string(10 + i);
            if (i % 3 == 0)
                saveBmp(p, (library / (name + ".bmp")).string());
            else
                saveJpeg(p, (library / (name + ".jpg")).string());
        }
        mainPicture = dir / "main.bmp";
        saveBmp(gradientPicture(80, 60, Bgr{250, 40, 10}, Bgr{10, 200, 240}), mainPicture.string());
    }

    std::vector<std::string> createArgs(const fs::path& out, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"create", "--main", mainPicture.string(), "--library", library.string(),
                                         "--cells", "8x8", "--cell-size", "8x8", "--out", out.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    fs::path dir, library, mainPicture;
};

TEST_F(CliEndToEnd, CreateWritesAPictureOfTheMosaicSize)
{
    const fs::path out = dir / "mosaic.bmp";
    RunResult r = runCli(createArgs(out, {"--cells", "10x6", "--cell-size", "12x9"}), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    Picture picture;
    loadPicture(picture, out.string());
    EXPECT_EQ(picture.width(), 120);
    EXPECT_EQ(picture.height(), 54);

    // The brief comes first and the last line names the file written.
    std::vector<std::string> lines = linesOf(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Project Brief");
    EXPECT_NE(r.out.find("Cell Count : 10 x 6 = 60 Cells\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Image Library 12 Files\n"), std::string::npos) << r.out;
    EXPECT_EQ(lines.back(), "Mosaic written to " + out.string());
}

TEST_F(CliEndToEnd, OptionsReachTheRecordAsTheWizardWouldStoreThem)
{
    // 12 photographs x 2 uses < 64 cells, so the repeat limit is raised to
    // (64 x 1.2, truncated) div 12 + 1 = 7.
    RunResult r = runCli(createArgs(dir / "o.bmp", {"--limit-repeat", "2", "--enhance", "100", "--random", "8",
                                                    "--radius", "2", "--border", "3", "--border-color", "FF0000"}),
                         dir);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"Max Repeat time for each file = 7\n", "Color Enhance = 100%\n", "Randomize Level = 8\n",
                             "Minimum Repeat Radius = 2\n", "Border Size = 3\n", "Border Color = 255\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;

    RunResult plain = runCli(createArgs(dir / "p.bmp"), dir);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out.find("Max Repeat time"), std::string::npos) << "shown although the limit is off";
}

TEST_F(CliEndToEnd, JpegOutputDecodesAtTheMosaicSize)
{
    const fs::path out = dir / "mosaic.JPG";
    RunResult r = runCli(createArgs(out), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes bytes = readWholeFile(out.string());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    Picture picture;
    decodeJpeg(bytes.data(), bytes.size(), picture);
    EXPECT_EQ(picture.width(), 64);
    EXPECT_EQ(picture.height(), 64);
}

TEST_F(CliEndToEnd, ProgressIsShortPlainLinesWhenNotOnATerminal)
{
    RunResult r = runCli(createArgs(dir / "m.bmp"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = linesOf(r.err);
    for (const char* label : {"Current Job : Mosaic Grid", "Current Job : Cell Pic Lib",
                              "Current Job : Mosaic Mapping Table", "Current Job : OutPut Final Mosaic Picture",
                              "Current Job : Mosaic Created"})
        EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(label)), 1) << label << "\n" << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    EXPECT_LE(lines.size(), 5u + 4u * 10u);
}

TEST_F(CliEndToEnd, RenderOfTheSavedProjectGivesTheSameBytes)
{
    const fs::path created = dir / "created.bmp", project = dir / "saved.project", rendered = dir / "rendered.bmp";
    RunResult c = runCli(createArgs(created, {"--project", project.string(), "--stitch", "brick", "--border", "1",
                                              "--border-color", "FF8000"}),
                         dir);
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_NE(c.out.find("Project saved to " + project.string() + "\n"), std::string::npos) << c.out;
    ASSERT_TRUE(fs::exists(project)) << "the name is used exactly as given";

    RunResult r = runCli({"render", project.string(), "--out", rendered.string()}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(linesOf(r.out).back(), "Mosaic written to " + rendered.string());
    EXPECT_TRUE(readWholeFile(created.string()) == readWholeFile(rendered.string()));
}

TEST_F(CliEndToEnd, UsageListsAccountForEveryCell)
{
    const fs::path project = dir / "u.tw6";
    ASSERT_EQ(runCli(createArgs(dir / "u.bmp", {"--project", project.string()}), dir).status, 0);

    RunResult simple = runCli({"usage", project.string()}, dir);
    ASSERT_EQ(simple.status, 0) << simple.err;
    std::regex simpleLine("^photo\\d\\d\\.(jpg|bmp)Total used time:(\\d+)$");
    int total = 0;
    for (const std::string& line : linesOf(simple.out)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, simpleLine)) << line;
        total += std::stoi(m[2].str());
    }
    EXPECT_EQ(total, 64);

    RunResult detail = runCli({"usage", project.string(), "--detail", "--full-names"}, dir);
    ASSERT_EQ(detail.status, 0) << detail.err;
    int positions = 0;
    for (const std::string& line : linesOf(detail.out)) {
        EXPECT_EQ(line.rfind(library.string() + "/photo", 0), 0u) << line;
        EXPECT_NE(line.find(" POSITIONS: "), std::string::npos) << line;
        for (std::size_t p = line.find(" x:"); p != std::string::npos; p = line.find(" x:", p + 1))
            ++positions;
    }
    EXPECT_EQ(positions, 64);
}

TEST_F(CliEndToEnd, SelfMosaicNeedsNoLibrary)
{
    fs::create_directories(dir / "empty");
    const fs::path out = dir / "self.bmp";
    RunResult r = runCli({"create", "--main", mainPicture.string(), "--library", (dir / "empty").string(), "--mode",
                          "self", "--cells", "6x5", "--cell-size", "8x8", "--out", out.string()},
                         dir);
    ASSERT_EQ(r.status, 0) << r.err;
    Picture picture;
    loadPicture(picture, out.string());
    EXPECT_EQ(picture.width(), 48);
    EXPECT_EQ(picture.height(), 40);
}

TEST_F(CliEndToEnd, FailuresExitWithOneLineAndTheRightStatus)
{
    // A project file cut short, and one that is not a project at all.
    const fs::path project = dir / "whole.tw6";
    ASSERT_EQ(runCli(createArgs(dir / "w.bmp", {"--project", project.string()}), dir).status, 0);
    Bytes whole = readWholeFile(project.string());
    const fs::path cut = dir / "cut.tw6", junk = dir / "junk.tw6";
    writeFileAtomic(cut.string(), whole.data(), 200);
    writeFileAtomic(junk.string(), std::string("not a project").data(), 13);
    // A whole file whose record asks for 5000 cells across (record offset 52).
    Bytes damaged = whole;
    const std::int32_t tooMany = 5000;
    std::memcpy(damaged.data() + 4 + 52, &tooMany, 4);
    const fs::path oversized = dir / "oversized.tw6";
    writeFileAtomic(oversized.string(), damaged);
    const fs::path unreadable = dir / "broken.jpg";
    writeFileAtomic(unreadable.string(), std::string("\xFF\xD8 garbage").data(), 10);

    struct Row {
        std::vector<std::string> args;
        int status;
        std::string errorStart;
    };
    const std::vector<Row> rows = {
        {{"create", "--cells", "0x8"}, 2, "tilewright-cli: --cells: columns must be between 1 and 800, got 0"},
        {{"create", "--main", "m.bmp", "--out", "o.tif"}, 2, "tilewright-cli: --out: "},
        {{"frobnicate"}, 2, "tilewright-cli: unknown command \"frobnicate\""},
        {createArgs(dir / "x.bmp", {"--main", (dir / "nothere.bmp").string()}), 1, "tilewright-cli: Cannot open file"},
        {createArgs(dir / "x.bmp", {"--main", unreadable.string()}), 1,
         "tilewright-cli: " + unreadable.string() + ": JPEG error #"},
        {createArgs(dir / "x.bmp", {"--library", (dir / "nolib").string()}), 1, "tilewright-cli: library \""},
        {createArgs((dir / "no" / "such" / "folder" / "x.bmp")), 1, "tilewright-cli: Cannot create file"},
        {createArgs(dir / "x.bmp", {"--project", (dir / "no" / "p.tw6").string()}), 1,
         "tilewright-cli: Cannot create file"},
        {{"render", cut.string(), "--out", (dir / "r.bmp").string()}, 1, "tilewright-cli: "},
        {{"render", junk.string(), "--out", (dir / "r.bmp").string()}, 1, "tilewright-cli: "},
        {{"usage", cut.string()}, 1, "tilewright-cli: "},
        {{"render", oversized.string(), "--out", (dir / "r.bmp").string()}, 1, "tilewright-cli: "},
        {{"usage", oversized.string()}, 1, "tilewright-cli: "},
        {{"usage", (dir / "absent.tw6").string()}, 1, "tilewright-cli: Cannot open file"},
    };
    for (const Row& row : rows) {
        std::string joined;
        for (const std::string& a : row.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        RunResult r = runCli(row.args, dir);
        EXPECT_EQ(r.status, row.status) << r.err;
        // Progress lines may come before the failure; the failure itself is
        // the one last line.
        std::vector<std::string> lines = linesOf(r.err);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind(row.errorStart, 0), 0u) << r.err;
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.rfind("tilewright-cli:", 0) == 0; }),
                  1)
            << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "r.bmp"));
    EXPECT_FALSE(fs::exists(dir / "x.bmp"));
}

// A picture whose neighbouring pixels all differ, so a page that shows a
// shifted or smoothed tile cannot pass for the right one.
Picture patternPicture(int w, int h)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y,
                       Bgr{static_cast<std::uint8_t>(x * 97 + y * 31), static_cast<std::uint8_t>((x * 13) ^ (y * 71)),
                           static_cast<std::uint8_t>(x * 5 + y * 151 + 40)});
    return p;
}

// The A4 PDF printer at 600 dpi: Qt's PDF margins of 10 points leave the
// printable area 83 dots from the paper's top-left corner.
constexpr int kA4Origin = 83;

TEST_F(CliEndToEnd, PrintOfAProjectWritesTheWindowTextsAndOnePagePerTile)
{
    const fs::path mosaicFile = dir / "mosaic.bmp", project = dir / "p.tw6", pdf = dir / "p.pdf";
    ASSERT_EQ(runCli(createArgs(mosaicFile, {"--cells", "40x8", "--project", project.string()}), dir).status, 0);
    Picture mosaic;
    loadPicture(mosaic, mosaicFile.string());
    ASSERT_EQ(mosaic.width(), 320);

    RunResult r = runCli({"print", project.string(), "--dpi", "30", "--out", pdf.string()}, dir, "LC_ALL=C");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> expected = {
        "Printer Resolution (DPI): 600 x 600 PDF",
        "Printable Area Size: 7.99 x 11.42 Inch  or 20.29 x 29.00 CM  ",
        "Picture size in Pixels: 320 x 64 pixels",
        "Printed Picture Size (Inchs): 10.67 x 2.13 Inch  or 27.09 x 5.42 CM",
        "Printed Cell Size: 0.27 x 0.27 Inch  or 0.68 x 0.68 CM",
        "Page Count : 2 x 1",
        "PDF written to " + pdf.string(),
    };
    EXPECT_EQ(linesOf(r.out), expected);
    EXPECT_NE(r.err.find("Current Job : OutPut Final Mosaic Picture"), std::string::npos) << "drawn again";

    ASSERT_EQ(test::pdfPageCount(pdf.string()), 2) << "is poppler-utils installed?";
    const std::string info = test::commandOutput("pdfinfo " + shellQuote(pdf.string()));
    EXPECT_NE(info.find("Title:           Tilewright projectp.tw6\n"), std::string::npos) << info;
    // 4792 printable dots hold 239 picture pixels at 20 dots each: the first
    // page takes columns 0 to 238, the second the remaining 81.
    struct Page {
        Rect source;
        int width, height;
    };
    const Page pages[] = {{{0, 0, 239, 64}, 4780, 1280}, {{239, 0, 320, 64}, 1620, 1280}};
    for (int page = 1; page <= 2; ++page) {
        SCOPED_TRACE("page " + std::to_string(page));
        const auto size = test::pdfPageSize(pdf.string(), page);
        ASSERT_TRUE(size.has_value());
        EXPECT_NEAR(size->width, 595, 0.01);
        EXPECT_NEAR(size->height, 842, 0.01);
        const Page& p = pages[page - 1];
        EXPECT_TRUE(test::pageShowsTile(pdf.string(), page, 600, kA4Origin, kA4Origin, mosaic, p.source, p.width,
                                        p.height));
    }
}

TEST_F(CliEndToEnd, PrintOfAPictureFollowsPaperOrientationAndPrinter)
{
    const fs::path picture = dir / "picture.bmp", pdf = dir / "out.pdf";
    saveBmp(patternPicture(64, 48), picture.string());
    struct Row {
        std::vector<std::string> options;
        std::string environment;
        double pageWidth, pageHeight;
        std::vector<std::string> lines;  // the first six lines
    };
    const std::vector<Row> rows = {
        {{"--fit", "--paper", "Letter", "--landscape"},
         "LC_ALL=C",
         792,
         612,
         {"Printer Resolution (DPI): 600 x 600 PDF", "Printable Area Size: 10.72 x 8.22 Inch  or 27.24 x 20.89 CM  ",
          "Picture size in Pixels: 64 x 48 pixels",
          "Printed Picture Size (Inchs): 10.72 x 8.04 Inch  or 27.24 x 20.43 CM", "Printed Cell Size: No Cells",
          "Page Count : 1"}},
        {{"--paper", "a3", "--printer-dpi", "300"},
         "LC_ALL=C",
         842,
         1191,
         {"Printer Resolution (DPI): 300 x 300 PDF", "Printable Area Size: 11.41 x 16.26 Inch  or 28.99 x 41.31 CM  ",
          "Picture size in Pixels: 64 x 48 pixels", "Printed Picture Size (Inchs): 0.89 x 0.67 Inch  or 2.25 x 1.69 CM",
          "Printed Cell Size: No Cells", "Page Count : 1 x 1"}},
        // The paper of a locale that measures in US units, and of one that
        // does not.
        {{"--dpi", "96"},
         "LC_ALL=en_US.UTF-8",
         612,
         792,
         {"Printer Resolution (DPI): 600 x 600 PDF", "Printable Area Size: 8.22 x 10.72 Inch  or 20.89 x 27.24 CM  ",
          "Picture size in Pixels: 64 x 48 pixels", "Printed Picture Size (Inchs): 0.67 x 0.50 Inch  or 1.69 x 1.27 CM",
          "Printed Cell Size: No Cells", "Page Count : 1 x 1"}},
        {{"--dpi", "96"},
         "LC_ALL=de_DE.UTF-8",
         595,
         842,
         {"Printer Resolution (DPI): 600 x 600 PDF", "Printable Area Size: 7.99 x 11.42 Inch  or 20.29 x 29.00 CM  ",
          "Picture size in Pixels: 64 x 48 pixels", "Printed Picture Size (Inchs): 0.67 x 0.50 Inch  or 1.69 x 1.27 CM",
          "Printed Cell Size: No Cells", "Page Count : 1 x 1"}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = {"print", picture.string(), "--out", pdf.string()};
        args.insert(args.end(), row.options.begin(), row.options.end());
        std::string joined = row.environment;
        for (const std::string& o : row.options)
            joined += " " + o;
        SCOPED_TRACE(joined);
        RunResult r = runCli(args, dir, row.environment);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> lines = linesOf(r.out);
        ASSERT_EQ(lines.size(), 7u) << r.out;
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6), row.lines);
        EXPECT_EQ(r.err, "") << "a picture is not drawn again";
        ASSERT_EQ(test::pdfPageCount(pdf.string()), 1);
        const auto size = test::pdfPageSize(pdf.string(), 1);
        ASSERT_TRUE(size.has_value());
        EXPECT_NEAR(size->width, row.pageWidth, 0.01);
        EXPECT_NEAR(size->height, row.pageHeight, 0.01);
    }
}

TEST_F(CliEndToEnd, PrintFailuresExitWithOneLineAndWriteNothing)
{
    const fs::path picture = dir / "picture.bmp", strip = dir / "strip.bmp", broken = dir / "broken.jpg";
    saveBmp(patternPicture(64, 48), picture.string());
    // Fitted to a page, one pixel high is less than one dot: no page.
    saveBmp(patternPicture(20000, 1), strip.string());
    writeFileAtomic(broken.string(), std::string("\xFF\xD8 garbage").data(), 10);
    const fs::path pdf = dir / "out.pdf";
    // A PDF name that leads to the picture printed.
    const fs::path pictureLink = dir / "picture-link.pdf";
    fs::create_symlink(picture, pictureLink);
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string errorStart;
    };
    const std::vector<Row> rows = {
        {{"print", picture.string(), "--out", (dir / "out.png").string()}, 2, "tilewright-cli: --out: "},
        {{"print", picture.string(), "--out", pdf.string(), "--fit", "--dpi", "30"}, 2,
         "tilewright-cli: print: --fit and --dpi exclude each other"},
        {{"print", (dir / "absent.bmp").string(), "--out", pdf.string()}, 1, "tilewright-cli: Cannot open file"},
        {{"print", broken.string(), "--out", pdf.string()}, 1, "tilewright-cli: " + broken.string() + ": JPEG error #"},
        {{"print", (dir / "absent.tw6").string(), "--out", pdf.string()}, 1, "tilewright-cli: Cannot open file"},
        {{"print", picture.string(), "--out", (dir / "no" / "folder" / "out.pdf").string()}, 1,
         "tilewright-cli: Cannot create file"},
        {{"print", strip.string(), "--out", pdf.string(), "--fit"}, 1, "tilewright-cli: There is nothing to print"},
        {{"print", picture.string(), "--out", pictureLink.string()}, 1,
         "tilewright-cli: --out \"" + pictureLink.string() + "\" would overwrite the main picture"},
    };
    for (const Row& row : rows) {
        std::string joined;
        for (const std::string& a : row.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        RunResult r = runCli(row.args, dir);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_EQ(linesOf(r.err).size(), 1u) << r.err;
        EXPECT_EQ(r.err.rfind(row.errorStart, 0), 0u) << r.err;
        EXPECT_FALSE(fs::exists(pdf));
    }
    Picture kept;
    loadPicture(kept, picture.string());
    EXPECT_TRUE(test::samePicture(kept, patternPicture(64, 48))) << "the picture was overwritten";
}

// ---------------------------------------------------------------- analysis cache

// The cache folder of one test, given to the program through
// XDG_CACHE_HOME.
std::string cacheHomeOf(const fs::path& home) { return "XDG_CACHE_HOME=" + shellQuote(home.string()); }

TEST_F(CliEndToEnd, CachedCreationsWriteTheSameBytesAndCacheInfoAndClearTellWhatItHolds)
{
    const fs::path home = dir / "cache-home";
    const std::string env = cacheHomeOf(home);
    const fs::path database = home / "tilewright" / "analysis-cache.sqlite";
    RunResult plain = runCli(createArgs(dir / "plain.bmp", {"--no-cache"}), dir, env);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_FALSE(fs::exists(database)) << "--no-cache neither uses nor fills the cache";
    RunResult info = runCli({"cache", "info"}, dir, env);
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out, "Analysis cache: " + database.string() + "\nEmpty: no creation has filled it yet\n");

    struct Run {
        const char* name;
        std::vector<std::string> extra;
    };
    for (const Run& run : {Run{"first", {}}, Run{"repeat", {}}, Run{"other matching", {"--random", "5", "--enhance", "35", "--no-hflip"}}}) {
        SCOPED_TRACE(run.name);
        const fs::path cached = dir / (std::string(run.name) + ".bmp"), reference = dir / "reference.bmp";
        std::vector<std::string> extra = run.extra;
        RunResult r = runCli(createArgs(cached, extra), dir, env);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
        extra.push_back("--no-cache");
        ASSERT_EQ(runCli(createArgs(reference, extra), dir, env).status, 0);
        EXPECT_EQ(readText(cached), readText(reference));
    }
    EXPECT_TRUE(fs::exists(database));

    info = runCli({"cache", "info"}, dir, env);
    EXPECT_EQ(info.status, 0) << info.err;
    const std::vector<std::string> lines = linesOf(info.out);
    ASSERT_EQ(lines.size(), 3u) << info.out;
    EXPECT_EQ(lines[0], "Analysis cache: " + database.string());
    EXPECT_EQ(lines[1], "Entries: 12 for 12 photographs");
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(Size: \d+\.\d MB on disk, entries \d+\.\d MB of the 1024\.0 MB limit)")))
        << lines[2];

    RunResult clear = runCli({"cache", "clear"}, dir, env);
    EXPECT_EQ(clear.status, 0) << clear.err;
    EXPECT_TRUE(std::regex_match(clear.out, std::regex(R"(Analysis cache: .*\nRemoved 12 entries for 12 photographs \(\d+\.\d MB\)\n)")))
        << clear.out;
    info = runCli({"cache", "info"}, dir, env);
    EXPECT_NE(info.out.find("Entries: 0 for 0 photographs\n"), std::string::npos) << info.out;
}

// Rendering a saved project draws from the cache the creation filled, and
// writes the bytes the creation and an uncached rendering write.
TEST_F(CliEndToEnd, RenderWithAndWithoutTheCacheWritesTheCreatedBytes)
{
    const std::string env = cacheHomeOf(dir / "cache-home");
    const fs::path created = dir / "created.bmp", project = dir / "p.tw6";
    RunResult c = runCli(createArgs(created, {"--project", project.string(), "--enhance", "70"}), dir, env);
    ASSERT_EQ(c.status, 0) << c.err;
    for (const bool cached : {true, false}) {
        SCOPED_TRACE(cached ? "cached" : "--no-cache");
        const fs::path rendered = dir / (cached ? "cached.bmp" : "uncached.bmp");
        std::vector<std::string> args = {"render", project.string(), "--out", rendered.string()};
        if (!cached)
            args.push_back("--no-cache");
        RunResult r = runCli(args, dir, env);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
        EXPECT_TRUE(readWholeFile(created.string()) == readWholeFile(rendered.string()));
    }
}

// Two programs creating at once on one cache: both succeed without a
// warning and write the mosaic the uncached creation writes, and the cache
// holds every photograph once.
TEST_F(CliEndToEnd, TwoProgramsCreatingAtOnceShareTheCache)
{
    const std::string env = cacheHomeOf(dir / "cache-home");
    ASSERT_EQ(runCli(createArgs(dir / "reference.bmp", {"--no-cache"}), dir, env).status, 0);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "both filling" : "both finding");
        RunResult results[2];
        std::thread programs[2];
        for (int i = 0; i < 2; ++i) {
            const fs::path scratch = dir / ("program" + std::to_string(i));
            fs::create_directories(scratch);
            programs[i] = std::thread([&, i, scratch] {
                results[i] = runCli(createArgs(scratch / "mosaic.bmp", {"--threads", "2"}), scratch, env);
            });
        }
        for (std::thread& t : programs)
            t.join();
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(results[i].status, 0) << results[i].err;
            EXPECT_EQ(results[i].err.find("warning"), std::string::npos) << results[i].err;
            EXPECT_EQ(readText(dir / ("program" + std::to_string(i)) / "mosaic.bmp"), readText(dir / "reference.bmp"));
        }
    }
    EXPECT_NE(runCli({"cache", "info"}, dir, env).out.find("Entries: 12 for 12 photographs\n"), std::string::npos);
}

// A damaged database is made anew with a warning; a cache folder that
// cannot be made leaves the creation uncached with a warning. Either way
// the creation succeeds with the same bytes.
TEST_F(CliEndToEnd, CacheTroubleWarnsAndTheCreationGoesOn)
{
    ASSERT_EQ(runCli(createArgs(dir / "reference.bmp", {"--no-cache"}), dir).status, 0);
    const fs::path damaged = dir / "damaged-home";
    fs::create_directories(damaged / "tilewright");
    std::ofstream(damaged / "tilewright" / "analysis-cache.sqlite", std::ios::binary) << std::string(2000, '#');
    const fs::path blocked = dir / "blocked-home";
    std::ofstream(blocked) << "a file, not a folder";
    struct Row {
        const char* why;
        fs::path home;
        std::string warning;
    };
    const Row rows[] = {
        {"damaged database", damaged,
         "tilewright-cli: warning: the analysis cache " + (damaged / "tilewright" / "analysis-cache.sqlite").string() +
             " is damaged"},
        {"folder cannot be made", blocked,
         "tilewright-cli: warning: the analysis cache cannot be kept in " + (blocked / "tilewright").string()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const fs::path out = dir / "mosaic.bmp";
        RunResult r = runCli(createArgs(out), dir, cacheHomeOf(row.home));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(row.warning), std::string::npos) << r.err;
        EXPECT_EQ(readText(out), readText(dir / "reference.bmp"));
    }
    // Nothing can be in a folder that cannot be made.
    RunResult info = runCli({"cache", "info"}, dir, cacheHomeOf(blocked));
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\nEmpty: no creation has filled it yet\n"), std::string::npos) << info.out;
}

TEST_F(CliEndToEnd, HelpPrintsUsageAndSucceeds)
{
    RunResult r = runCli({"--help"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: tilewright-cli", 0), 0u);
    EXPECT_EQ(r.err, "");
    RunResult c = runCli({"create", "--help"}, dir);
    EXPECT_EQ(c.status, 0);
    EXPECT_NE(c.out.find("--border-color"), std::string::npos);
}

} // namespace
} // namespace tw
