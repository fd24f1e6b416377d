#pragma once
// The print window's arithmetic without the window: the printer's values in,
// the page layout and the window's texts out, and the tiles that printing
// sends page by page. Only four printer values matter (dots per inch across
// and down, printable width and height in dots), so everything here works
// the same for a real printer, the PDF printer and the tests.
#include "engine/project.h"
#include "imaging/picture.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tw {

// What a printer reports about itself.
struct PrinterValues {
    int dpiX = 0, dpiY = 0;                // logical dots per inch across and down
    int printableWidth = 0, printableHeight = 0;  // printable area in dots
    friend bool operator==(const PrinterValues&, const PrinterValues&) = default;
};

// The layout of the last computation. All zero at program start; a
// computation that stops early keeps the previous values.
struct PrintLayout {
    std::int32_t printerDpiX = 0, printerDpiY = 0;
    double pageWidthInch = 0, pageHeightInch = 0;
    // The printable area in dots as last read, for the layout arithmetic.
    std::int32_t printableWidth = 0, printableHeight = 0;
    std::int32_t sourceWidth = 0, sourceHeight = 0;  // picture size in pixels
    std::int32_t printDpi = 0;                       // picture pixels per printed inch
    std::int32_t printedWidth = 0, printedHeight = 0;  // printed picture in printer dots
    std::int32_t tileWidth = 0, tileHeight = 0;      // picture pixels on one full page
    std::int32_t pageSpanX = 0, pageSpanY = 0;       // printer dots of one full page tile
    std::int32_t pagesAcross = 0, pagesDown = 0;
};

// The window's result labels, with their texts before the first computation.
struct PrintTexts {
    std::string printerResolution = "0 x 0";  // lpdpi
    std::string printableArea = "0 x 0";      // lpagesize
    std::string sourceSize = "0 x 0";         // lbsourcesize
    std::string printedSize = "0 x 0";        // lbprintedfullsize
    std::string cellSize = "0 x 0";           // lbprintedcellsize
    std::string pageCount = "Page Count";     // lbpagecount
};

struct PrintState {
    PrintLayout layout;
    PrintTexts texts;
};

// The entries of the resolution list, in order, and the print resolution of
// each; the last entry takes the custom resolution.
inline constexpr int kPrintDpiEntryCount = 10;
inline constexpr int kCustomDpiEntry = 9;
inline constexpr std::array<const char*, kPrintDpiEntryCount> kPrintDpiEntryTexts = {
    "30 DPI", "60DPI", "72 DPI", "96 DPI", "100 DPI", "150 DPI", "300 DPI", "600 DPI", "1200 DPI", "CUSTOM"};
inline constexpr std::array<int, kPrintDpiEntryCount - 1> kPrintDpiEntryValues = {30,  60,  72,  96, 100,
                                                                                  150, 300, 600, 1200};
inline constexpr int kDefaultPrintDpiEntry = 2;  // "72 DPI"
inline constexpr int kCustomDpiMin = 1, kCustomDpiMax = 1200, kCustomDpiDefault = 72;

// What the window's controls say.
struct PrintChoice {
    bool fitToPage = false;
    int dpiEntry = kDefaultPrintDpiEntry;  // -1: no entry selected (text typed into the list)
    int customDpi = kCustomDpiDefault;     // the custom field's value, as typed
};

// What is printed: the picture's size and, for a created project, its cells.
struct PrintPicture {
    int width = 0, height = 0;
    bool hasCells = false;  // a created project (projectState 2)
    int cellsX = 0, cellsY = 0;
};
PrintPicture printPictureOf(const MosaicProject& project);

// Reads the printer's values into the layout and the two printer texts. With
// no printer (an empty optional) nothing changes. A zero dots-per-inch value
// gives a printable area of 0 inches instead of a division.
void readPrinterCaps(PrintState& state, const std::optional<PrinterValues>& printer, char decimalSeparator = '.');

// readPrinterCaps, then the layout and its texts for the picture. An empty
// picture leaves the layout and the picture texts as they were. Printer
// values or a print resolution of zero or less give a layout of no pages
// instead of a division by them.
void computePrintLayout(PrintState& state, const std::optional<PrinterValues>& printer, const PrintChoice& choice,
                        const PrintPicture& picture, char decimalSeparator = '.');

// One page: the part of the picture it shows and where it goes on the page,
// in dots from the printable area's top-left corner.
struct PrintTile {
    Rect source;
    Rect destination;
};

// The tile of page row `row` and page column `column` (both from 0).
PrintTile printTile(const PrintLayout& layout, int row, int column);

// Where printed pages go: a printer document, a PDF file or a recording.
class PageSink {
public:
    virtual ~PageSink() = default;
    // Copies the source rectangle of the picture into the destination
    // rectangle of the current page, repeating pixels to enlarge and dropping
    // them to reduce, never averaging.
    virtual void drawTile(const Picture& picture, const Rect& source, const Rect& destination) = 0;
    // Ends the current page and starts the next one.
    virtual void newPage() = 0;
};

// A print job: pages sent through the sink, then finish. A document
// destroyed without finish is abandoned: nothing reaches the printer and no
// file is left behind.
class PrintDocument : public PageSink {
public:
    // Ends the document and hands it to the printer or completes its file.
    // Throws tw::Error when that fails.
    virtual void finish() = 0;
};

// Sends the pages of the layout, row by row, one tile per page, with a new
// page between tiles and none after the last. A picture that does not match
// the layout (none yet, or another one since the computation) sends nothing.
void printMosaic(const PrintLayout& layout, const Picture& picture, PageSink& sink);

// "Tilewright project" followed by the file name of the main picture.
std::string printDocumentTitle(const std::string& mainImagePath);

// The captions the window shows before its result texts.
inline constexpr const char* kPrinterResolutionCaption = "Printer Resolution (DPI)";
inline constexpr const char* kPrintableAreaCaption = "Printable Area Size";
inline constexpr const char* kSourceSizeCaption = "Picture size in Pixels";
inline constexpr const char* kPrintedSizeCaption = "Printed Picture Size (Inchs)";
inline constexpr const char* kCellSizeCaption = "Printed Cell Size";

// The name the PDF printer goes by in the window's texts.
inline constexpr const char* kPdfPrinterName = "PDF";

} // namespace tw
