// The command line of tilewright-cli: every option, its default, both ends
// of its range, and the exact line for every kind of mistake.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tw::cli {
namespace {

using Args = std::vector<std::string>;

Args createWith(Args extra)
{
    Args args = {"create", "--main", "main.jpg", "--out", "out.jpg"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

std::string errorOf(const Args& args)
{
    try {
        parseArguments(args);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(CliOptions, CreateDefaultsAreTheWizardDefaults)
{
    Invocation inv = parseArguments(createWith({}));
    ASSERT_EQ(inv.command, Command::Create);
    EXPECT_FALSE(inv.help);
    EXPECT_EQ(inv.create.mainPath, "main.jpg");
    EXPECT_EQ(inv.create.outPath, "out.jpg");
    EXPECT_EQ(inv.create.libraryPath, "");
    EXPECT_FALSE(inv.create.recursive);
    EXPECT_EQ(inv.create.projectPath, "");
    EXPECT_EQ(inv.threads, 0u);

    const SizeFields& s = inv.create.size;
    EXPECT_EQ(s.cellsX, 48);
    EXPECT_EQ(s.cellsY, 48);
    EXPECT_EQ(s.cellWidth, 32);
    EXPECT_EQ(s.cellHeight, 32);
    EXPECT_EQ(s.dpi, 72);
    EXPECT_FALSE(s.cropMain);

    const WizardOptions& o = inv.create.options;
    EXPECT_EQ(o.renderMode, RenderMode::Standard);
    EXPECT_EQ(o.stitchMode, StitchMode::Loom);
    EXPECT_EQ(o.randomLevel, 4);
    EXPECT_EQ(o.enhancePosition * 5, 50);
    EXPECT_TRUE(o.useAllPhotos);
    EXPECT_TRUE(o.cropCell);
    EXPECT_FALSE(o.monoCell);
    EXPECT_TRUE(o.allowHFlip);
    EXPECT_TRUE(o.allowVFlip);
    EXPECT_EQ(o.repeatRadius, 4);
    EXPECT_FALSE(o.limitRepeat);
    EXPECT_EQ(o.maxRepeat, 10);
    EXPECT_EQ(o.borderSize, 0);
    EXPECT_EQ(o.borderColor, 0u);
}

struct AcceptedRow {
    Args extra;
    std::function<bool(const Invocation&)> holds;
    const char* what;
};

TEST(CliOptions, EveryOptionReachesItsFieldAtBothEndsOfItsRange)
{
    const std::vector<AcceptedRow> rows = {
        {{"--cells", "1x1"}, [](const Invocation& i) { return i.create.size.cellsX == 1 && i.create.size.cellsY == 1; }, "cells low"},
        {{"--cells", "800x800"}, [](const Invocation& i) { return i.create.size.cellsX == 800 && i.create.size.cellsY == 800; }, "cells high"},
        {{"--cells", "64X8"}, [](const Invocation& i) { return i.create.size.cellsX == 64 && i.create.size.cellsY == 8; }, "cells capital X"},
        {{"--cells=12x34"}, [](const Invocation& i) { return i.create.size.cellsX == 12 && i.create.size.cellsY == 34; }, "cells with ="},
        {{"--cell-size", "8x48"}, [](const Invocation& i) { return i.create.size.cellWidth == 8 && i.create.size.cellHeight == 48; }, "cell size ends"},
        {{"--cell-size", "48x8"}, [](const Invocation& i) { return i.create.size.cellWidth == 48 && i.create.size.cellHeight == 8; }, "cell size ends swapped"},
        {{"--dpi", "30"}, [](const Invocation& i) { return i.create.size.dpi == 30; }, "dpi low"},
        {{"--dpi", "1200"}, [](const Invocation& i) { return i.create.size.dpi == 1200; }, "dpi high"},
        {{"--crop-main"}, [](const Invocation& i) { return i.create.size.cropMain; }, "crop main"},
        {{"--mode", "self"}, [](const Invocation& i) { return i.create.options.renderMode == RenderMode::SelfMosaic; }, "self mode"},
        {{"--mode", "self", "--mode", "standard"}, [](const Invocation& i) { return i.create.options.renderMode == RenderMode::Standard; }, "last mode wins"},
        {{"--stitch", "peyote"}, [](const Invocation& i) { return i.create.options.stitchMode == StitchMode::Peyote; }, "peyote"},
        {{"--stitch", "brick"}, [](const Invocation& i) { return i.create.options.stitchMode == StitchMode::Brick; }, "brick"},
        {{"--stitch", "Loom"}, [](const Invocation& i) { return i.create.options.stitchMode == StitchMode::Loom; }, "loom any case"},
        {{"--random", "1"}, [](const Invocation& i) { return i.create.options.randomLevel == 1; }, "random low"},
        {{"--random", "8"}, [](const Invocation& i) { return i.create.options.randomLevel == 8; }, "random high"},
        {{"--enhance", "0"}, [](const Invocation& i) { return i.create.options.enhancePosition == 0; }, "enhance low"},
        {{"--enhance", "100"}, [](const Invocation& i) { return i.create.options.enhancePosition == 20; }, "enhance high"},
        {{"--enhance", "55"}, [](const Invocation& i) { return i.create.options.enhancePosition == 11; }, "enhance step"},
        {{"--no-use-all"}, [](const Invocation& i) { return !i.create.options.useAllPhotos; }, "use all off"},
        {{"--no-crop-cell"}, [](const Invocation& i) { return !i.create.options.cropCell; }, "crop cell off"},
        {{"--mono"}, [](const Invocation& i) { return i.create.options.monoCell; }, "mono"},
        {{"--no-hflip"}, [](const Invocation& i) { return !i.create.options.allowHFlip && i.create.options.allowVFlip; }, "hflip off"},
        {{"--no-vflip"}, [](const Invocation& i) { return i.create.options.allowHFlip && !i.create.options.allowVFlip; }, "vflip off"},
        {{"--radius", "1"}, [](const Invocation& i) { return i.create.options.repeatRadius == 1; }, "radius low"},
        {{"--radius", "100"}, [](const Invocation& i) { return i.create.options.repeatRadius == 100; }, "radius high"},
        {{"--limit-repeat", "1"}, [](const Invocation& i) { return i.create.options.limitRepeat && i.create.options.maxRepeat == 1; }, "limit low"},
        {{"--limit-repeat", "999"}, [](const Invocation& i) { return i.create.options.limitRepeat && i.create.options.maxRepeat == 999; }, "limit high"},
        {{"--border", "0"}, [](const Invocation& i) { return i.create.options.borderSize == 0; }, "border low"},
        {{"--border", "20"}, [](const Invocation& i) { return i.create.options.borderSize == 20; }, "border high"},
        // The record keeps red in the low byte.
        {{"--border-color", "FF0000"}, [](const Invocation& i) { return i.create.options.borderColor == 255u; }, "pure red"},
        {{"--border-color", "0000FF"}, [](const Invocation& i) { return i.create.options.borderColor == 16711680u; }, "pure blue"},
        {{"--border-color", "#00ff00"}, [](const Invocation& i) { return i.create.options.borderColor == 0x00FF00u; }, "green with #"},
        {{"--border-color", "abcdef"}, [](const Invocation& i) { return i.create.options.borderColor == 0xEFCDABu; }, "byte order"},
        {{"--border-color", "FFFFFF"}, [](const Invocation& i) { return i.create.options.borderColor == 16777215u; }, "white"},
        {{"--library", "pics"}, [](const Invocation& i) { return i.create.libraryPath == "pics"; }, "library"},
        {{"--recursive"}, [](const Invocation& i) { return i.create.recursive; }, "recursive"},
        {{"--project", "a b.tw6"}, [](const Invocation& i) { return i.create.projectPath == "a b.tw6"; }, "project name kept"},
        {{"--threads", "0"}, [](const Invocation& i) { return i.threads == 0; }, "threads low"},
        {{"--threads", "256"}, [](const Invocation& i) { return i.threads == 256; }, "threads high"},
    };
    for (const AcceptedRow& row : rows) {
        SCOPED_TRACE(row.what);
        Invocation inv;
        ASSERT_NO_THROW(inv = parseArguments(createWith(row.extra)));
        EXPECT_TRUE(row.holds(inv));
    }
}

struct RejectedRow {
    Args args;
    std::string message;
};

TEST(CliOptions, MistakesGiveOneExactLine)
{
    const std::string cellsForm = "is not of the form COLUMNSxROWS (for example 48x48)";
    const std::vector<RejectedRow> rows = {
        {createWith({"--cells", "48x"}), "--cells: \"48x\" " + cellsForm},
        {createWith({"--cells", "x48"}), "--cells: \"x48\" " + cellsForm},
        {createWith({"--cells", "abc"}), "--cells: \"abc\" " + cellsForm},
        {createWith({"--cells", "48"}), "--cells: \"48\" " + cellsForm},
        {createWith({"--cells", "4 8x48"}), "--cells: \"4 8x48\" " + cellsForm},
        {createWith({"--cells", "48x48x2"}), "--cells: \"48x48x2\" " + cellsForm},
        {createWith({"--cells", "0x5"}), "--cells: columns must be between 1 and 800, got 0"},
        {createWith({"--cells", "5x801"}), "--cells: rows must be between 1 and 800, got 801"},
        {createWith({"--cells", "-1x5"}), "--cells: columns must be between 1 and 800, got -1"},
        {createWith({"--cell-size", "7x32"}), "--cell-size: width must be between 8 and 48, got 7"},
        {createWith({"--cell-size", "32x49"}), "--cell-size: height must be between 8 and 48, got 49"},
        {createWith({"--cell-size", "32"}), "--cell-size: \"32\" is not of the form WIDTHxHEIGHT (for example 32x32)"},
        {createWith({"--dpi", "29"}), "--dpi: must be between 30 and 1200, got 29"},
        {createWith({"--dpi", "1201"}), "--dpi: must be between 30 and 1200, got 1201"},
        {createWith({"--dpi", "abc"}), "--dpi: \"abc\" is not a whole number"},
        {createWith({"--dpi", "7.5"}), "--dpi: \"7.5\" is not a whole number"},
        {createWith({"--dpi", "72dpi"}), "--dpi: \"72dpi\" is not a whole number"},
        {createWith({"--dpi", "99999999999999999999"}), "--dpi: must be between 30 and 1200, got 99999999999999999999"},
        {createWith({"--dpi="}), "--dpi: needs a value"},
        {createWith({"--random", "0"}), "--random: must be between 1 and 8, got 0"},
        {createWith({"--random", "9"}), "--random: must be between 1 and 8, got 9"},
        {createWith({"--enhance", "52"}), "--enhance: must be a multiple of 5, got 52"},
        {createWith({"--enhance", "105"}), "--enhance: must be between 0 and 100, got 105"},
        {createWith({"--enhance", "-5"}), "--enhance: must be between 0 and 100, got -5"},
        {createWith({"--radius", "0"}), "--radius: must be between 1 and 100, got 0"},
        {createWith({"--radius", "101"}), "--radius: must be between 1 and 100, got 101"},
        {createWith({"--limit-repeat", "0"}), "--limit-repeat: must be between 1 and 999, got 0"},
        {createWith({"--limit-repeat", "1000"}), "--limit-repeat: must be between 1 and 999, got 1000"},
        {createWith({"--border", "21"}), "--border: must be between 0 and 20, got 21"},
        {createWith({"--border", "-1"}), "--border: must be between 0 and 20, got -1"},
        {createWith({"--threads", "257"}), "--threads: must be between 0 and 256, got 257"},
        {createWith({"--border-color", "GGGGGG"}), "--border-color: \"GGGGGG\" is not a colour of six hex digits RRGGBB"},
        {createWith({"--border-color", "FFF"}), "--border-color: \"FFF\" is not a colour of six hex digits RRGGBB"},
        {createWith({"--border-color", "#12345"}), "--border-color: \"#12345\" is not a colour of six hex digits RRGGBB"},
        {createWith({"--border-color", "1234567"}), "--border-color: \"1234567\" is not a colour of six hex digits RRGGBB"},
        {createWith({"--mode", "fancy"}), "--mode: \"fancy\" is not one of standard, self"},
        {createWith({"--stitch", "zigzag"}), "--stitch: \"zigzag\" is not one of loom, peyote, brick"},
        {createWith({"--cells"}), "--cells: needs a value"},
        {createWith({"--cells", "--dpi", "72"}), "--cells: needs a value"},
        {createWith({"--library"}), "--library: needs a value"},
        {createWith({"--bogus"}), "create: unknown option \"--bogus\""},
        {createWith({"--bogus=3"}), "create: unknown option \"--bogus\""},
        {createWith({"-x"}), "create: unknown option \"-x\""},
        {createWith({"--mono=1"}), "--mono: takes no value"},
        {createWith({"--detail"}), "create: unknown option \"--detail\""},
        {createWith({"stray"}), "create: unexpected argument \"stray\""},
        {{"create", "--out", "o.jpg"}, "create: --main PICTURE is required"},
        {{"create", "--main", "m.jpg"}, "create: --out FILE is required"},
        {{"create", "--main", "m.jpg", "--out", "o.png"}, "--out: \"o.png\" does not end in .bmp, .jpg or .jpeg"},
        {{"create", "--main", "m.jpg", "--out", "mosaic"}, "--out: \"mosaic\" does not end in .bmp, .jpg or .jpeg"},
        {{"create", "--main", "m.jpg", "--out", ".bmp"}, "--out: \".bmp\" does not end in .bmp, .jpg or .jpeg"},
        {{}, "no command given (try tilewright-cli --help)"},
        {{"bogus"}, "unknown command \"bogus\" (try tilewright-cli --help)"},
        {{"--bogus"}, "unknown option \"--bogus\" (try tilewright-cli --help)"},
        {{"help", "bogus"}, "unknown command \"bogus\" (try tilewright-cli --help)"},
        {{"render", "--out", "o.bmp"}, "render: a project file is required"},
        {{"render", "p.tw6"}, "render: --out FILE is required"},
        {{"render", "p.tw6", "q.tw6", "--out", "o.bmp"}, "render: unexpected argument \"q.tw6\""},
        {{"render", "p.tw6", "--out", "o.gif"}, "--out: \"o.gif\" does not end in .bmp, .jpg or .jpeg"},
        {{"render", "p.tw6", "--out", "o.bmp", "--cells", "8x8"}, "render: unknown option \"--cells\""},
        {{"render", "p.tw6", "--out", "o.bmp", "--threads", "x"}, "--threads: \"x\" is not a whole number"},
        {{"usage"}, "usage: a project file is required"},
        {{"usage", "p.tw6", "--bogus"}, "usage: unknown option \"--bogus\""},
        {{"usage", "p.tw6", "q.tw6"}, "usage: unexpected argument \"q.tw6\""},
    };
    for (const RejectedRow& row : rows) {
        std::string joined;
        for (const std::string& a : row.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        EXPECT_EQ(errorOf(row.args), row.message);
    }
}

TEST(CliOptions, CacheTakesOneActionAndCreateTakesNoCache)
{
    EXPECT_FALSE(parseArguments(createWith({})).create.noCache);
    EXPECT_TRUE(parseArguments(createWith({"--no-cache"})).create.noCache);
    struct Row {
        Args args;
        CacheAction action;
    };
    for (const Row& row : {Row{{"cache", "info"}, CacheAction::Info}, Row{{"cache", "clear"}, CacheAction::Clear}}) {
        const Invocation inv = parseArguments(row.args);
        EXPECT_EQ(inv.command, Command::Cache);
        EXPECT_EQ(inv.cache.action, row.action) << row.args[1];
    }
    struct Mistake {
        Args args;
        std::string error;
    };
    const Mistake mistakes[] = {
        {{"cache"}, "cache: say info or clear"},
        {{"cache", "purge"}, "cache: \"purge\" is not one of info, clear"},
        {{"cache", "info", "clear"}, "cache: unexpected argument \"clear\""},
        {{"cache", "info", "--no-cache"}, "cache: unknown option \"--no-cache\""},
        {createWith({"--no-cache=yes"}), "--no-cache: takes no value"},
    };
    for (const Mistake& m : mistakes)
        EXPECT_EQ(errorOf(m.args), m.error) << m.args.back();
}

TEST(CliOptions, RenderAndUsageTakeTheirProjectAndSwitches)
{
    Invocation render = parseArguments({"render", "p.tw6", "--out", "r.bmp", "--threads", "3"});
    EXPECT_EQ(render.command, Command::Render);
    EXPECT_EQ(render.render.projectPath, "p.tw6");
    EXPECT_EQ(render.render.outPath, "r.bmp");
    EXPECT_EQ(render.threads, 3u);
    EXPECT_FALSE(render.render.noCache);
    EXPECT_TRUE(parseArguments({"render", "p.tw6", "--no-cache", "--out", "r.bmp"}).render.noCache);

    Invocation plain = parseArguments({"usage", "p.tw6"});
    EXPECT_FALSE(plain.usage.detail);
    EXPECT_FALSE(plain.usage.fullNames);
    Invocation both = parseArguments({"usage", "--detail", "p.tw6", "--full-names"});
    EXPECT_EQ(both.usage.projectPath, "p.tw6");
    EXPECT_TRUE(both.usage.detail);
    EXPECT_TRUE(both.usage.fullNames);
}

TEST(CliOptions, PrintOptionsReachTheirFields)
{
    const Invocation plain = parseArguments({"print", "p.tw6", "--out", "p.pdf"});
    ASSERT_EQ(plain.command, Command::Print);
    EXPECT_EQ(plain.print.inputPath, "p.tw6");
    EXPECT_EQ(plain.print.outPath, "p.pdf");
    EXPECT_FALSE(plain.print.fitToPage);
    EXPECT_FALSE(plain.print.dpi.has_value()) << "the window's 72 DPI applies";
    EXPECT_EQ(plain.print.paper, Paper::Locale);
    EXPECT_EQ(plain.print.printerDpi, 600);
    EXPECT_FALSE(plain.print.landscape);
    EXPECT_FALSE(plain.print.noCache);

    struct Row {
        Args extra;
        std::function<bool(const PrintRequest&)> check;
    };
    const std::vector<Row> rows = {
        {{"--fit"}, [](const PrintRequest& r) { return r.fitToPage; }},
        {{"--dpi", "1"}, [](const PrintRequest& r) { return r.dpi == 1; }},
        {{"--dpi=1200"}, [](const PrintRequest& r) { return r.dpi == 1200; }},
        {{"--paper", "a4"}, [](const PrintRequest& r) { return r.paper == Paper::A4; }},
        {{"--paper", "LETTER"}, [](const PrintRequest& r) { return r.paper == Paper::Letter; }},
        {{"--paper", "A3"}, [](const PrintRequest& r) { return r.paper == Paper::A3; }},
        {{"--paper", "Legal"}, [](const PrintRequest& r) { return r.paper == Paper::Legal; }},
        {{"--printer-dpi", "72"}, [](const PrintRequest& r) { return r.printerDpi == 72; }},
        {{"--printer-dpi", "2400"}, [](const PrintRequest& r) { return r.printerDpi == 2400; }},
        {{"--landscape"}, [](const PrintRequest& r) { return r.landscape; }},
        {{"--no-cache"}, [](const PrintRequest& r) { return r.noCache; }},
    };
    for (const Row& row : rows) {
        Args args = {"print", "m.bmp", "--out", "m.PDF"};
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        SCOPED_TRACE(row.extra.front());
        EXPECT_TRUE(row.check(parseArguments(args).print));
    }
    EXPECT_EQ(parseArguments({"print", "p.tw6", "--out", "p.pdf", "--threads", "2"}).threads, 2u);
}

TEST(CliOptions, PrintMistakesGiveOneExactLine)
{
    const std::vector<RejectedRow> rows = {
        {{"print"}, "print: a project file or picture is required"},
        {{"print", "p.tw6"}, "print: --out FILE.pdf is required"},
        {{"print", "p.tw6", "--out", "p.jpg"}, "--out: \"p.jpg\" does not end in .pdf"},
        {{"print", "p.tw6", "--out", ".pdf"}, "--out: \".pdf\" does not end in .pdf"},
        {{"print", "p.tw6", "q.tw6", "--out", "p.pdf"}, "print: unexpected argument \"q.tw6\""},
        {{"print", "p.tw6", "--out", "p.pdf", "--fit", "--dpi", "72"}, "print: --fit and --dpi exclude each other"},
        {{"print", "p.tw6", "--out", "p.pdf", "--dpi", "0"}, "--dpi: must be between 1 and 1200, got 0"},
        {{"print", "p.tw6", "--out", "p.pdf", "--dpi", "1201"}, "--dpi: must be between 1 and 1200, got 1201"},
        {{"print", "p.tw6", "--out", "p.pdf", "--dpi", "72dpi"}, "--dpi: \"72dpi\" is not a whole number"},
        {{"print", "p.tw6", "--out", "p.pdf", "--paper", "A5"}, "--paper: \"A5\" is not one of A4, Letter, A3, Legal"},
        {{"print", "p.tw6", "--out", "p.pdf", "--printer-dpi", "71"},
         "--printer-dpi: must be between 72 and 2400, got 71"},
        {{"print", "p.tw6", "--out", "p.pdf", "--landscape=yes"}, "--landscape: takes no value"},
        {{"print", "p.tw6", "--out", "p.pdf", "--cells", "8x8"}, "print: unknown option \"--cells\""},
    };
    for (const RejectedRow& row : rows) {
        std::string joined;
        for (const std::string& a : row.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        EXPECT_EQ(errorOf(row.args), row.message);
    }
}

TEST(CliOptions, HelpWinsOverMistakesOnTheSameLine)
{
    struct Row {
        Args args;
        Command command;
    };
    const std::vector<Row> rows = {
        {{"--help"}, Command::None},
        {{"-h"}, Command::None},
        {{"help"}, Command::None},
        {{"help", "create"}, Command::Create},
        {{"help", "usage"}, Command::Usage},
        {{"create", "--help"}, Command::Create},
        {{"create", "--cells", "0x0", "--bogus", "-h"}, Command::Create},
        {{"render", "--help"}, Command::Render},
        {{"usage", "--help"}, Command::Usage},
        {{"print", "--fit", "--dpi", "0", "--help"}, Command::Print},
        {{"help", "print"}, Command::Print},
    };
    for (const Row& row : rows) {
        Invocation inv = parseArguments(row.args);
        EXPECT_TRUE(inv.help);
        EXPECT_EQ(inv.command, row.command);
    }
    EXPECT_TRUE(parseArguments({"--version"}).version);
}

TEST(CliOptions, HelpDocumentsEveryOption)
{
    const std::vector<std::string> createOptions = {
        "--main", "--out", "--library", "--recursive", "--cells", "--cell-size", "--dpi", "--mode",
        "--stitch", "--random", "--enhance", "--no-use-all", "--crop-main", "--no-crop-cell", "--mono",
        "--no-hflip", "--no-vflip", "--radius", "--limit-repeat", "--border", "--border-color", "--project",
        "--threads", "--no-cache"};
    const std::string create = helpText(Command::Create);
    for (const std::string& option : createOptions) {
        EXPECT_NE(create.find(option + " "), std::string::npos) << option;
        // Every documented option is also one the parser takes.
        Args args = createWith({option});
        std::string error = errorOf(args);
        EXPECT_EQ(error.find("unknown option"), std::string::npos) << option << ": " << error;
    }
    EXPECT_NE(create.find("38400 x"), std::string::npos);  // the largest output is stated

    const std::string render = helpText(Command::Render);
    for (const char* option : {"--out", "--threads", "--no-cache"})
        EXPECT_NE(render.find(option), std::string::npos) << option;
    const std::string usage = helpText(Command::Usage);
    for (const char* option : {"--detail", "--full-names"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    const std::string print = helpText(Command::Print);
    for (const char* option :
         {"--out", "--dpi", "--fit", "--paper", "--landscape", "--printer-dpi", "--threads", "--no-cache"}) {
        EXPECT_NE(print.find(option), std::string::npos) << option;
        const std::string error = errorOf({"print", "p.tw6", "--out", "p.pdf", option});
        EXPECT_EQ(error.find("unknown option"), std::string::npos) << option << ": " << error;
    }
    const std::string overall = helpText(Command::None);
    for (const char* command : {"create", "render", "usage", "print", "cache"})
        EXPECT_NE(overall.find(command), std::string::npos) << command;
}

TEST(CliOptions, OutputTypeFollowsTheExtensionInAnyCase)
{
    EXPECT_EQ(outputTypeFor("a.bmp"), PictureFileType::Bmp);
    EXPECT_EQ(outputTypeFor("dir.jpg/a.BMP"), PictureFileType::Bmp);
    EXPECT_EQ(outputTypeFor("a.Jpg"), PictureFileType::Jpeg);
    EXPECT_EQ(outputTypeFor("a.JPEG"), PictureFileType::Jpeg);
    EXPECT_EQ(outputTypeFor("a.jpeg.bmp"), PictureFileType::Bmp);
    EXPECT_THROW(outputTypeFor("a.bmp.png"), UsageError);
    EXPECT_THROW(outputTypeFor("abmp"), UsageError);
}

TEST(CliOptions, ErrorLineIsAlwaysOneLine)
{
    EXPECT_EQ(errorLine("bad"), "tilewright-cli: bad");
    EXPECT_EQ(errorLine("two\nlines\r"), "tilewright-cli: two\\nlines\\r");
}

} // namespace
} // namespace tw::cli
