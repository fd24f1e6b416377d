#pragma once
// The command line of tilewright-cli: what each subcommand accepts, turned
// into the same setting structures the New Project wizard fills, plus the
// help texts. Parsing only looks at the words; files are opened later.
#include "engine/project.h"
#include "printing/print_layout.h"
#include "setup/mosaic_size.h"
#include "setup/wizard_options.h"
#include "workspace/export.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tw::cli {

enum class Command { None, Create, Render, Usage, Print, Cache };

// Ranges the command line accepts beyond the wizard's: the grid itself holds
// 800 x 800 cells, so the command line lets the counts go up to that.
struct CliLimits {
    static constexpr int cellsMin = 1, cellsMax = kGridSize;
    static constexpr int threadsMin = 0, threadsMax = 256;
    // The PDF printer's resolution.
    static constexpr int printerDpiMin = 72, printerDpiMax = 2400, printerDpiDefault = 600;
};

struct CreateRequest {
    std::string mainPath;
    std::string outPath;
    std::string libraryPath;  // folder or image list file; empty: the default list
    bool recursive = false;
    SizeFields size;
    WizardOptions options;
    std::string projectPath;  // empty: no project file is saved
    bool noCache = false;     // neither use nor fill the analysis cache
};

struct RenderRequest {
    std::string projectPath;
    std::string outPath;
    bool noCache = false;  // draw without the analysis cache
};

struct UsageRequest {
    std::string projectPath;
    bool detail = false;
    bool fullNames = false;
};

// Paper of the PDF printer; Locale is A4, or Letter where the user's locale
// measures in US units.
enum class Paper { Locale, A4, Letter, A3, Legal };

struct PrintRequest {
    std::string inputPath;  // a project file (.tw6) or a picture
    std::string outPath;    // the PDF file
    bool fitToPage = false;
    std::optional<int> dpi;  // picture pixels per printed inch; none given: 72
    Paper paper = Paper::Locale;
    int printerDpi = CliLimits::printerDpiDefault;
    bool landscape = false;
    bool noCache = false;  // draw a project without the analysis cache
};

enum class CacheAction { Info, Clear };

struct CacheRequest {
    CacheAction action = CacheAction::Info;
};

struct Invocation {
    Command command = Command::None;
    bool help = false;     // print the help of `command` (overall help for None)
    bool version = false;
    unsigned threads = 0;  // 0: one decoding thread per core
    CreateRequest create;
    RenderRequest render;
    UsageRequest usage;
    PrintRequest print;
    CacheRequest cache;
};

// A malformed command line; the message names the option and the value.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

// args are the words after the program name. Throws UsageError.
Invocation parseArguments(const std::vector<std::string>& args);

// The export format chosen by the output name's extension (.bmp, .jpg,
// .jpeg in any letter case). Throws UsageError naming the option.
PictureFileType outputTypeFor(const std::string& path, const std::string& optionName = "--out");

std::string helpText(Command command);

// The one line printed for any failure, control characters escaped.
std::string errorLine(const std::string& message);

} // namespace tw::cli
