#include "cli/cli_options.h"

#include "platform/errors.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <optional>
#include <string_view>

namespace tw::cli {

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isWholeNumberText(std::string_view text)
{
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// A whole number within lo..hi. what names the quantity inside the option
// ("columns" of --cells), or is empty for a single-valued option.
int parseRanged(const std::string& option, const std::string& what, const std::string& text, int lo, int hi)
{
    if (!isWholeNumberText(text))
        throw UsageError(option + ": " + quoted(text) + " is not a whole number");
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    std::string subject = what.empty() ? std::string() : what + " ";
    if (ec != std::errc() || end != text.data() + text.size() || value < lo || value > hi)
        throw UsageError(option + ": " + subject + "must be between " + std::to_string(lo) + " and " +
                         std::to_string(hi) + ", got " + text);
    return static_cast<int>(value);
}

struct Pair {
    int first = 0, second = 0;
};

// "48x48": two whole numbers around one 'x'.
Pair parsePair(const std::string& option, const std::string& text, const char* firstName, const char* secondName,
               int lo, int hi, const char* example)
{
    auto pos = text.find_first_of("xX");
    std::string a = pos == std::string::npos ? std::string() : text.substr(0, pos);
    std::string b = pos == std::string::npos ? std::string() : text.substr(pos + 1);
    if (pos == std::string::npos || !isWholeNumberText(a) || !isWholeNumberText(b))
        throw UsageError(option + ": " + quoted(text) + " is not of the form " + example);
    return Pair{parseRanged(option, firstName, a, lo, hi), parseRanged(option, secondName, b, lo, hi)};
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// RRGGBB (an optional leading '#') into the stored form: red in the low byte.
std::uint32_t parseColour(const std::string& option, const std::string& text)
{
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '#')
        digits.remove_prefix(1);
    bool ok = digits.size() == 6 && std::all_of(digits.begin(), digits.end(), [](char c) { return hexDigit(c) >= 0; });
    if (!ok)
        throw UsageError(option + ": " + quoted(text) + " is not a colour of six hex digits RRGGBB");
    auto byteAt = [&](std::size_t i) {
        return static_cast<std::uint32_t>(hexDigit(digits[i]) * 16 + hexDigit(digits[i + 1]));
    };
    return byteAt(0) | (byteAt(2) << 8) | (byteAt(4) << 16);
}

struct OptionSpec {
    std::string name;
    bool takesValue = false;
    std::function<void(Invocation&, const std::string&)> apply;
};

std::vector<OptionSpec> createOptions()
{
    return {
        {"--main", true, [](Invocation& inv, const std::string& v) { inv.create.mainPath = v; }},
        {"--out", true, [](Invocation& inv, const std::string& v) { inv.create.outPath = v; }},
        {"--library", true, [](Invocation& inv, const std::string& v) { inv.create.libraryPath = v; }},
        {"--recursive", false, [](Invocation& inv, const std::string&) { inv.create.recursive = true; }},
        {"--cells", true,
         [](Invocation& inv, const std::string& v) {
             Pair p = parsePair("--cells", v, "columns", "rows", CliLimits::cellsMin, CliLimits::cellsMax,
                                "COLUMNSxROWS (for example 48x48)");
             inv.create.size.cellsX = p.first;
             inv.create.size.cellsY = p.second;
         }},
        {"--cell-size", true,
         [](Invocation& inv, const std::string& v) {
             Pair p = parsePair("--cell-size", v, "width", "height", SizeLimits::cellSizeMin, SizeLimits::cellSizeMax,
                                "WIDTHxHEIGHT (for example 32x32)");
             inv.create.size.cellWidth = p.first;
             inv.create.size.cellHeight = p.second;
         }},
        {"--dpi", true,
         [](Invocation& inv, const std::string& v) {
             inv.create.size.dpi = parseRanged("--dpi", "", v, SizeLimits::dpiMin, SizeLimits::dpiMax);
         }},
        {"--mode", true,
         [](Invocation& inv, const std::string& v) {
             std::string m = lowerCase(v);
             if (m == "standard")
                 inv.create.options.renderMode = RenderMode::Standard;
             else if (m == "self")
                 inv.create.options.renderMode = RenderMode::SelfMosaic;
             else
                 throw UsageError("--mode: " + quoted(v) + " is not one of standard, self");
         }},
        {"--stitch", true,
         [](Invocation& inv, const std::string& v) {
             std::string m = lowerCase(v);
             if (m == "loom")
                 inv.create.options.stitchMode = StitchMode::Loom;
             else if (m == "peyote")
                 inv.create.options.stitchMode = StitchMode::Peyote;
             else if (m == "brick")
                 inv.create.options.stitchMode = StitchMode::Brick;
             else
                 throw UsageError("--stitch: " + quoted(v) + " is not one of loom, peyote, brick");
         }},
        {"--random", true,
         [](Invocation& inv, const std::string& v) {
             inv.create.options.randomLevel =
                 parseRanged("--random", "", v, OptionLimits::randomMin, OptionLimits::randomMax);
         }},
        {"--enhance", true,
         [](Invocation& inv, const std::string& v) {
             int percent = parseRanged("--enhance", "", v, OptionLimits::enhancePositionMin * 5,
                                       OptionLimits::enhancePositionMax * 5);
             if (percent % 5 != 0)
                 throw UsageError("--enhance: must be a multiple of 5, got " + v);
             inv.create.options.enhancePosition = percent / 5;
         }},
        {"--no-use-all", false, [](Invocation& inv, const std::string&) { inv.create.options.useAllPhotos = false; }},
        {"--crop-main", false, [](Invocation& inv, const std::string&) { inv.create.size.cropMain = true; }},
        {"--no-crop-cell", false, [](Invocation& inv, const std::string&) { inv.create.options.cropCell = false; }},
        {"--mono", false, [](Invocation& inv, const std::string&) { inv.create.options.monoCell = true; }},
        {"--no-hflip", false, [](Invocation& inv, const std::string&) { inv.create.options.allowHFlip = false; }},
        {"--no-vflip", false, [](Invocation& inv, const std::string&) { inv.create.options.allowVFlip = false; }},
        {"--radius", true,
         [](Invocation& inv, const std::string& v) {
             inv.create.options.repeatRadius =
                 parseRanged("--radius", "", v, OptionLimits::radiusMin, OptionLimits::radiusMax);
         }},
        {"--limit-repeat", true,
         [](Invocation& inv, const std::string& v) {
             inv.create.options.maxRepeat =
                 parseRanged("--limit-repeat", "", v, OptionLimits::maxRepeatMin, OptionLimits::maxRepeatMax);
             inv.create.options.limitRepeat = true;
         }},
        {"--border", true,
         [](Invocation& inv, const std::string& v) {
             inv.create.options.borderSize =
                 parseRanged("--border", "", v, OptionLimits::borderMin, OptionLimits::borderMax);
         }},
        {"--border-color", true,
         [](Invocation& inv, const std::string& v) { inv.create.options.borderColor = parseColour("--border-color", v); }},
        {"--project", true, [](Invocation& inv, const std::string& v) { inv.create.projectPath = v; }},
        {"--no-cache", false, [](Invocation& inv, const std::string&) { inv.create.noCache = true; }},
        {"--threads", true,
         [](Invocation& inv, const std::string& v) {
             inv.threads = static_cast<unsigned>(
                 parseRanged("--threads", "", v, CliLimits::threadsMin, CliLimits::threadsMax));
         }},
    };
}

std::vector<OptionSpec> renderOptions()
{
    return {
        {"--out", true, [](Invocation& inv, const std::string& v) { inv.render.outPath = v; }},
        {"--no-cache", false, [](Invocation& inv, const std::string&) { inv.render.noCache = true; }},
        {"--threads", true,
         [](Invocation& inv, const std::string& v) {
             inv.threads = static_cast<unsigned>(
                 parseRanged("--threads", "", v, CliLimits::threadsMin, CliLimits::threadsMax));
         }},
    };
}

std::vector<OptionSpec> usageOptions()
{
    return {
        {"--detail", false, [](Invocation& inv, const std::string&) { inv.usage.detail = true; }},
        {"--full-names", false, [](Invocation& inv, const std::string&) { inv.usage.fullNames = true; }},
    };
}

std::vector<OptionSpec> printOptions()
{
    return {
        {"--out", true, [](Invocation& inv, const std::string& v) { inv.print.outPath = v; }},
        {"--fit", false, [](Invocation& inv, const std::string&) { inv.print.fitToPage = true; }},
        {"--no-cache", false, [](Invocation& inv, const std::string&) { inv.print.noCache = true; }},
        {"--dpi", true,
         [](Invocation& inv, const std::string& v) {
             inv.print.dpi = parseRanged("--dpi", "", v, kCustomDpiMin, kCustomDpiMax);
         }},
        {"--paper", true,
         [](Invocation& inv, const std::string& v) {
             const std::string p = lowerCase(v);
             if (p == "a4")
                 inv.print.paper = Paper::A4;
             else if (p == "letter")
                 inv.print.paper = Paper::Letter;
             else if (p == "a3")
                 inv.print.paper = Paper::A3;
             else if (p == "legal")
                 inv.print.paper = Paper::Legal;
             else
                 throw UsageError("--paper: " + quoted(v) + " is not one of A4, Letter, A3, Legal");
         }},
        {"--printer-dpi", true,
         [](Invocation& inv, const std::string& v) {
             inv.print.printerDpi =
                 parseRanged("--printer-dpi", "", v, CliLimits::printerDpiMin, CliLimits::printerDpiMax);
         }},
        {"--landscape", false, [](Invocation& inv, const std::string&) { inv.print.landscape = true; }},
        {"--threads", true,
         [](Invocation& inv, const std::string& v) {
             inv.threads = static_cast<unsigned>(
                 parseRanged("--threads", "", v, CliLimits::threadsMin, CliLimits::threadsMax));
         }},
    };
}

bool endsWithNoCase(const std::string& text, std::string_view suffix)
{
    const std::string lower = lowerCase(text);
    return lower.size() > suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::optional<Command> commandNamed(const std::string& word)
{
    if (word == "create")
        return Command::Create;
    if (word == "render")
        return Command::Render;
    if (word == "usage")
        return Command::Usage;
    if (word == "print")
        return Command::Print;
    if (word == "cache")
        return Command::Cache;
    return std::nullopt;
}

const char* commandName(Command c)
{
    switch (c) {
    case Command::Create: return "create";
    case Command::Render: return "render";
    case Command::Usage: return "usage";
    case Command::Print: return "print";
    case Command::Cache: return "cache";
    case Command::None: break;
    }
    return "tilewright-cli";
}

bool isHelpWord(const std::string& w) { return w == "--help" || w == "-h"; }

void parseCommandWords(Invocation& inv, const std::vector<std::string>& words, const std::vector<OptionSpec>& specs,
                       std::vector<std::string>& positionals)
{
    const std::string cmd = commandName(inv.command);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() < 2 || word.compare(0, 2, "--") != 0 || word == "--") {
            if (!word.empty() && word.front() == '-' && word != "-")
                throw UsageError(cmd + ": unknown option " + quoted(word));
            positionals.push_back(word);
            continue;
        }
        std::string name = word;
        std::optional<std::string> inlineValue;
        if (auto eq = word.find('='); eq != std::string::npos) {
            name = word.substr(0, eq);
            inlineValue = word.substr(eq + 1);
        }
        auto spec = std::find_if(specs.begin(), specs.end(), [&](const OptionSpec& s) { return s.name == name; });
        if (spec == specs.end())
            throw UsageError(cmd + ": unknown option " + quoted(name));
        if (!spec->takesValue) {
            if (inlineValue)
                throw UsageError(name + ": takes no value");
            spec->apply(inv, std::string());
            continue;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else {
            // An option word where a value belongs means the value was left out.
            if (i + 1 >= words.size() || words[i + 1].compare(0, 2, "--") == 0)
                throw UsageError(name + ": needs a value");
            value = words[++i];
        }
        if (value.empty())
            throw UsageError(name + ": needs a value");
        spec->apply(inv, value);
    }
}

} // namespace

Invocation parseArguments(const std::vector<std::string>& args)
{
    Invocation inv;
    if (args.empty())
        throw UsageError("no command given (try tilewright-cli --help)");

    const std::string& first = args.front();
    if (isHelpWord(first) || first == "help") {
        inv.help = true;
        if (first == "help" && args.size() > 1) {
            auto c = commandNamed(args[1]);
            if (!c)
                throw UsageError("unknown command " + quoted(args[1]) + " (try tilewright-cli --help)");
            inv.command = *c;
        }
        return inv;
    }
    if (first == "--version") {
        inv.version = true;
        return inv;
    }
    auto command = commandNamed(first);
    if (!command) {
        if (first.compare(0, 1, "-") == 0)
            throw UsageError("unknown option " + quoted(first) + " (try tilewright-cli --help)");
        throw UsageError("unknown command " + quoted(first) + " (try tilewright-cli --help)");
    }
    inv.command = *command;

    std::vector<std::string> words(args.begin() + 1, args.end());
    // Help wins over everything else on the line, so a half-typed command
    // can still ask for its options.
    if (std::any_of(words.begin(), words.end(), isHelpWord)) {
        inv.help = true;
        return inv;
    }

    std::vector<std::string> positionals;
    switch (inv.command) {
    case Command::Create: {
        parseCommandWords(inv, words, createOptions(), positionals);
        if (!positionals.empty())
            throw UsageError("create: unexpected argument " + quoted(positionals.front()));
        if (inv.create.mainPath.empty())
            throw UsageError("create: --main PICTURE is required");
        if (inv.create.outPath.empty())
            throw UsageError("create: --out FILE is required");
        outputTypeFor(inv.create.outPath);
        break;
    }
    case Command::Render: {
        parseCommandWords(inv, words, renderOptions(), positionals);
        if (positionals.empty())
            throw UsageError("render: a project file is required");
        if (positionals.size() > 1)
            throw UsageError("render: unexpected argument " + quoted(positionals[1]));
        inv.render.projectPath = positionals.front();
        if (inv.render.outPath.empty())
            throw UsageError("render: --out FILE is required");
        outputTypeFor(inv.render.outPath);
        break;
    }
    case Command::Usage: {
        parseCommandWords(inv, words, usageOptions(), positionals);
        if (positionals.empty())
            throw UsageError("usage: a project file is required");
        if (positionals.size() > 1)
            throw UsageError("usage: unexpected argument " + quoted(positionals[1]));
        inv.usage.projectPath = positionals.front();
        break;
    }
    case Command::Print: {
        parseCommandWords(inv, words, printOptions(), positionals);
        if (positionals.empty())
            throw UsageError("print: a project file or picture is required");
        if (positionals.size() > 1)
            throw UsageError("print: unexpected argument " + quoted(positionals[1]));
        inv.print.inputPath = positionals.front();
        if (inv.print.outPath.empty())
            throw UsageError("print: --out FILE.pdf is required");
        if (!endsWithNoCase(inv.print.outPath, ".pdf"))
            throw UsageError("--out: " + quoted(inv.print.outPath) + " does not end in .pdf");
        if (inv.print.fitToPage && inv.print.dpi)
            throw UsageError("print: --fit and --dpi exclude each other");
        break;
    }
    case Command::Cache: {
        parseCommandWords(inv, words, {}, positionals);
        if (positionals.empty())
            throw UsageError("cache: say info or clear");
        if (positionals.size() > 1)
            throw UsageError("cache: unexpected argument " + quoted(positionals[1]));
        if (positionals.front() == "info")
            inv.cache.action = CacheAction::Info;
        else if (positionals.front() == "clear")
            inv.cache.action = CacheAction::Clear;
        else
            throw UsageError("cache: " + quoted(positionals.front()) + " is not one of info, clear");
        break;
    }
    case Command::None: break;
    }
    return inv;
}

PictureFileType outputTypeFor(const std::string& path, const std::string& optionName)
{
    std::string lower = lowerCase(path);
    auto endsWith = [&](std::string_view suffix) {
        return lower.size() > suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    if (endsWith(".bmp"))
        return PictureFileType::Bmp;
    if (endsWith(".jpg") || endsWith(".jpeg"))
        return PictureFileType::Jpeg;
    throw UsageError(optionName + ": " + quoted(path) + " does not end in .bmp, .jpg or .jpeg");
}

std::string errorLine(const std::string& message)
{
    // One line whatever the message holds: the paths in it may come from
    // list and project files, and their control characters are shown, not
    // obeyed by the terminal.
    return "tilewright-cli: " + escapeControlCharacters(message);
}

std::string helpText(Command command)
{
    switch (command) {
    case Command::None:
        return R"(Usage: tilewright-cli COMMAND [OPTIONS]

Makes photomosaics without the desktop program.

Commands:
  create    make a mosaic from a main picture and a library of photographs
  render    draw the mosaic of a saved project file again and export it
  usage     list where each library photograph was placed in a project
  print     print a project's mosaic or a picture across pages into a PDF
  cache     show or empty the analysis cache that makes repeat creations fast

Run "tilewright-cli COMMAND --help" for the options of a command.

Other options:
  --help, -h   this text
  --version    the program's version

Exit status: 0 done, 1 the work failed (unreadable picture, not enough
memory, a file that cannot be written), 2 the command line is wrong.
)";
    case Command::Create:
        return R"(Usage: tilewright-cli create --main PICTURE --out FILE.jpg|FILE.bmp [OPTIONS]

Makes a mosaic of the main picture from the library photographs and saves
it as a JPEG (quality 75) or a 24-bit BMP, chosen by the name of --out.
The settings are those of the New Project wizard, with the same defaults.

Input and output:
  --main PICTURE        the main picture (BMP or JPEG); required
  --out FILE            the mosaic file, ending in .bmp, .jpg or .jpeg;
                        required. As in the desktop program's Save Picture,
                        a JPEG name not ending in .jpg gets .jpg appended
                        (photo.jpeg is written as photo.jpeg.jpg); the name
                        written is printed at the end.
  --library PATH        a folder of photographs (files ending in .bmp, .jpg
                        or .jpeg, hidden files left out, sorted by name
                        without regard to case) or an image list file
                        (.IL2). Default: the default image list, the
                        desktop program's (DefaultImgList.IL2 beside the
                        program; when installed, the user's own in
                        ~/.local/share/tilewright, else the one shipped in
                        share/tilewright), built from the sample images
                        when missing.
  --recursive           with a library folder, take the photographs of its
                        subfolders too (each folder's files first, then its
                        subfolders, both in name order)
  --project FILE        also save the project file (.tw6) under exactly
                        this name, to render it again or list its usage

Mosaic size:
  --cells CxR           cells across and down, 1..800 each (default 48x48)
  --cell-size WxH       pixels of one cell, 8..48 each (default 32x32)
  --dpi N               resolution recorded for printing, 30..1200
                        (default 72)
  --crop-main           crop the main picture to the mosaic's shape
                        instead of stretching it (default off)

Options:
  --mode standard|self  standard: cells are library photographs; self:
                        every cell is the main picture itself, coloured
                        toward the cell (needs no library). Default standard
  --stitch loom|peyote|brick
                        plain grid, odd rows shifted half a cell, or odd
                        columns shifted half a cell (default loom)
  --random N            choose at random among the N best photographs,
                        1..8 (default 4)
  --enhance P           move each photograph's colour P percent toward its
                        cell, 0..100 in steps of 5 (default 50)
  --no-use-all          do not make sure every photograph is used
  --no-crop-cell        stretch photographs to the cell instead of
                        cropping them to its shape
  --mono                turn the photographs grey
  --no-hflip            never mirror photographs left to right
  --no-vflip            never mirror photographs top to bottom
  --radius N            a photograph does not appear again within N cells,
                        1..100 (default 4)
  --limit-repeat N      use each photograph at most N times, 1..999 (off by
                        default); raised automatically when the library is
                        too small to fill the mosaic
  --border N            border strip of N pixels on the right and bottom of
                        every cell, 0..20 (default 0)
  --border-color RRGGBB border colour in hex (default 000000, black)
  --threads N           picture decoding threads, 0..256; 0 means one per
                        processor core (default 0). The mosaic is the same
                        for any number.
  --no-cache            neither use nor fill the analysis cache (see
                        tilewright-cli cache --help); the mosaic is the same

Largest output: up to 800 x 800 cells of 48 x 48 pixels, that is 38400 x
38400 pixels, as a JPEG. A BMP file holds at most 4 GB, about 37800 x 37800
pixels (800 x 800 cells of 47 x 47 pixels); a larger mosaic with a .bmp name
is refused before the work starts, as are an output folder that is missing
or not writable and an output that would overwrite an input. Before starting, the memory needed (the mosaic, plus the
same again for a BMP file, plus the cell-sized copies of the library
photographs) is compared with the memory available now; a mosaic that does
not fit is refused with a message saying how much it needs.

Example:
  tilewright-cli create --main beach.jpg --library ~/Pictures --recursive \
      --cells 64x48 --out beach-mosaic.jpg
)";
    case Command::Render:
        return R"(Usage: tilewright-cli render PROJECT.tw6 --out FILE.jpg|FILE.bmp [--threads N] [--no-cache]

Opens a project file, draws its mosaic again from the library photographs
it names (the placement stored in the file is kept, nothing is matched
again) and saves it as a JPEG or BMP chosen by the name of --out. The cells
of photographs the analysis cache holds are drawn from it without decoding
them.

  --out FILE      the mosaic file, ending in .bmp, .jpg or .jpeg; required
                  (a JPEG name not ending in .jpg gets .jpg appended)
  --threads N     picture decoding threads, 0..256; 0 means one per core
  --no-cache      do not use the analysis cache; the mosaic is the same
)";
    case Command::Print:
        return R"(Usage: tilewright-cli print PROJECT.tw6|PICTURE --out FILE.pdf [OPTIONS]

Prints the mosaic of a project file (drawn again from its library
photographs) or a BMP or JPEG picture into a PDF file, as the desktop
program's Print window does on its PDF printer: at a resolution, cut into
one tile per page, row by row, or fitted to one page. Every printed dot
shows a picture pixel: enlarging repeats pixels, reducing drops them.
First the Print window's texts, each after its caption, then the name of
the file written.

  --out FILE.pdf      the PDF file, written whole or not at all; required
  --dpi N             picture pixels per printed inch, 1..1200 (default 72)
  --fit               fit the picture to one page instead (not with --dpi)
  --paper NAME        A4, Letter, A3 or Legal (default: Letter where the
                      locale measures in US units, A4 elsewhere)
  --landscape         turn the paper
  --printer-dpi N     dots per inch of the PDF printer, 72..2400 (default
                      600); the printable area leaves Qt's PDF margins
  --threads N         picture decoding threads for a project, 0..256; 0
                      means one per core
  --no-cache          draw a project without the analysis cache
)";
    case Command::Cache:
        return R"(Usage: tilewright-cli cache info|clear

The analysis cache keeps, for every library photograph a creation has
looked at, its colour signature and what drawing its cells needs, so that
the next creation with the same photographs and the same cell size, crop
and grey setting decodes none of them. Entries are found by the content of
the file (every file is read and hashed each time, so a changed photograph
is never drawn from its old content) and the least recently used go first
once the cache passes 1024 MB. It lives in
$XDG_CACHE_HOME/tilewright (~/.cache/tilewright when that is not set) and
is shared by tilewright-cli and the desktop program. A damaged cache is
made anew with a warning; one that cannot be written is left alone and
creations go on without it. Rendering or printing a project draws the
cells of the photographs it holds from it too. --no-cache (create, render,
print) leaves it out.

  info     where the cache is, how many entries it holds and its size
  clear    remove every entry
)";
    case Command::Usage:
        return R"(Usage: tilewright-cli usage PROJECT.tw6 [--detail] [--full-names]

Lists, for every library photograph used in the project's mosaic, how many
cells show it. Nothing is drawn.

  --detail        also list every position, as column and row counted from
                  1, column by column
  --full-names    print the full paths of the photographs instead of their
                  file names
)";
    }
    return {};
}

} // namespace tw::cli
