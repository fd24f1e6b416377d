#include "printing/print_layout.h"

#include "platform/files.h"
#include "setup/mosaic_size.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tw {

namespace {

// Products of printer values and picture sizes are taken in 64 bits; a
// result beyond 32 bits (only from absurd printer values) is held at the
// largest 32-bit value instead of wrapping.
std::int32_t toInt32(std::int64_t value)
{
    constexpr std::int64_t top = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t bottom = std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(std::clamp(value, bottom, top));
}

std::int32_t mulDiv(std::int64_t a, std::int64_t b, std::int64_t divisor) { return toInt32(a * b / divisor); }

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

// "w x h Inch  or w x h CM" with both sizes in F() form.
std::string inchAndCm(double w, double h, char separator)
{
    return formatFixed2(w, separator) + " x " + formatFixed2(h, separator) + " Inch  or " +
           formatFixed2(w * 2.54, separator) + " x " + formatFixed2(h * 2.54, separator) + " CM";
}

double perInch(std::int32_t dots, std::int32_t dpi) { return dpi > 0 ? static_cast<double>(dots) / dpi : 0.0; }

// Page columns (or rows) of a print at a resolution: one per tile of
// picture, as far as the printed size reaches. Counting "printed div span
// + 1" would add a column of blank sheets whenever the printed size is an
// exact multiple of the span; limiting by the picture's tiles as well keeps
// every sheet's tile non-empty on both sides despite the truncations.
std::int32_t pageCount(std::int32_t source, std::int32_t tile, std::int32_t printed, std::int32_t span)
{
    if (source <= 0 || tile <= 0 || printed <= 0 || span <= 0)
        return 0;
    return toInt32(std::min(ceilDiv(source, tile), ceilDiv(printed, span)));
}

void layOutFitToPage(PrintLayout& l)
{
    l.printedWidth = l.printedHeight = 0;
    if (l.printableWidth > 0 && l.printableHeight > 0) {
        const double rx = static_cast<double>(l.printableWidth) / l.sourceWidth;
        const double ry = static_cast<double>(l.printableHeight) / l.sourceHeight;
        const double s = rx > ry ? ry : rx;
        // Never more than the printable area, so the truncation stays in range.
        l.printedWidth = static_cast<std::int32_t>(std::trunc(l.sourceWidth * s));
        l.printedHeight = static_cast<std::int32_t>(std::trunc(l.sourceHeight * s));
    }
    l.pageSpanX = l.printedWidth;
    l.pageSpanY = l.printedHeight;
    l.tileWidth = l.sourceWidth;
    l.tileHeight = l.sourceHeight;
    const bool fits = l.printedWidth > 0 && l.printedHeight > 0;
    l.pagesAcross = l.pagesDown = fits ? 1 : 0;
}

void layOutAtResolution(PrintLayout& l)
{
    l.printedWidth = l.printedHeight = l.tileWidth = l.tileHeight = l.pageSpanX = l.pageSpanY = 0;
    l.pagesAcross = l.pagesDown = 0;
    const bool usable = l.printerDpiX > 0 && l.printerDpiY > 0 && l.printableWidth > 0 && l.printableHeight > 0 &&
                        l.printDpi > 0;
    if (!usable)
        return;
    l.printedWidth = mulDiv(l.sourceWidth, l.printerDpiX, l.printDpi);
    l.printedHeight = mulDiv(l.sourceHeight, l.printerDpiY, l.printDpi);
    l.tileWidth = mulDiv(l.printableWidth, l.printDpi, l.printerDpiX);
    l.tileHeight = mulDiv(l.printableHeight, l.printDpi, l.printerDpiY);
    l.pageSpanX = mulDiv(l.tileWidth, l.printerDpiX, l.printDpi);
    l.pageSpanY = mulDiv(l.tileHeight, l.printerDpiY, l.printDpi);
    const std::int32_t across = pageCount(l.sourceWidth, l.tileWidth, l.printedWidth, l.pageSpanX);
    const std::int32_t down = pageCount(l.sourceHeight, l.tileHeight, l.printedHeight, l.pageSpanY);
    // A picture that reaches no page in one direction prints on none.
    if (across > 0 && down > 0) {
        l.pagesAcross = across;
        l.pagesDown = down;
    }
}

} // namespace

PrintPicture printPictureOf(const MosaicProject& project)
{
    PrintPicture p;
    p.width = project.MosaicImage.width();
    p.height = project.MosaicImage.height();
    p.hasCells = project.projectState == ProjectState::Mosaic;
    p.cellsX = project.settings.cellsX;
    p.cellsY = project.settings.cellsY;
    return p;
}

void readPrinterCaps(PrintState& state, const std::optional<PrinterValues>& printer, char decimalSeparator)
{
    if (!printer)
        return;
    PrintLayout& l = state.layout;
    l.printerDpiX = printer->dpiX;
    l.printerDpiY = printer->dpiY;
    l.printableWidth = printer->printableWidth;
    l.printableHeight = printer->printableHeight;
    l.pageWidthInch = perInch(l.printableWidth, l.printerDpiX);
    l.pageHeightInch = perInch(l.printableHeight, l.printerDpiY);
    state.texts.printerResolution = std::to_string(l.printerDpiX) + " x " + std::to_string(l.printerDpiY);
    state.texts.printableArea = inchAndCm(l.pageWidthInch, l.pageHeightInch, decimalSeparator) + "  ";
}

void computePrintLayout(PrintState& state, const std::optional<PrinterValues>& printer, const PrintChoice& choice,
                        const PrintPicture& picture, char decimalSeparator)
{
    readPrinterCaps(state, printer, decimalSeparator);
    if (picture.width <= 0 || picture.height <= 0)
        return;
    PrintLayout& l = state.layout;
    PrintTexts& t = state.texts;
    l.sourceWidth = picture.width;
    l.sourceHeight = picture.height;

    if (choice.fitToPage) {
        layOutFitToPage(l);
    } else {
        if (choice.dpiEntry >= 0 && choice.dpiEntry < kCustomDpiEntry)
            l.printDpi = kPrintDpiEntryValues[static_cast<std::size_t>(choice.dpiEntry)];
        else if (choice.dpiEntry == kCustomDpiEntry)
            l.printDpi = choice.customDpi;
        layOutAtResolution(l);
    }

    t.sourceSize = std::to_string(l.sourceWidth) + " x " + std::to_string(l.sourceHeight) + " pixels";
    t.printedSize = inchAndCm(perInch(l.printedWidth, l.printerDpiX), perInch(l.printedHeight, l.printerDpiY),
                              decimalSeparator);
    if (picture.hasCells) {
        auto cellInch = [](std::int32_t printed, int cells, std::int32_t dpi) {
            const double dots = static_cast<double>(cells) * dpi;
            return dots > 0 ? printed / dots : 0.0;
        };
        t.cellSize = inchAndCm(cellInch(l.printedWidth, picture.cellsX, l.printerDpiX),
                               cellInch(l.printedHeight, picture.cellsY, l.printerDpiY), decimalSeparator);
    } else {
        t.cellSize = "No Cells";
    }
    if (choice.fitToPage)
        t.pageCount = "Page Count : " + std::to_string(l.pagesAcross * l.pagesDown);
    else
        t.pageCount = "Page Count : " + std::to_string(l.pagesAcross) + " x " + std::to_string(l.pagesDown);
}

PrintTile printTile(const PrintLayout& l, int row, int column)
{
    const bool lastColumn = column == l.pagesAcross - 1;
    const bool lastRow = row == l.pagesDown - 1;
    PrintTile tile;
    tile.source.left = toInt32(std::int64_t{column} * l.tileWidth);
    tile.source.top = toInt32(std::int64_t{row} * l.tileHeight);
    tile.source.right = lastColumn ? l.sourceWidth : toInt32(std::int64_t{column + 1} * l.tileWidth);
    tile.source.bottom = lastRow ? l.sourceHeight : toInt32(std::int64_t{row + 1} * l.tileHeight);
    // The last column and row take what is left of the printed size. The
    // page counts follow the picture's tiles, and the truncated spans can
    // leave a few dots more than one span there: those stay off the page
    // rather than outside the printable area.
    auto rest = [](std::int32_t printed, int index, std::int32_t span) {
        return toInt32(std::min<std::int64_t>(printed - std::int64_t{index} * span, span));
    };
    tile.destination.right = lastColumn ? rest(l.printedWidth, column, l.pageSpanX) : l.pageSpanX;
    tile.destination.bottom = lastRow ? rest(l.printedHeight, row, l.pageSpanY) : l.pageSpanY;
    return tile;
}

void printMosaic(const PrintLayout& layout, const Picture& picture, PageSink& sink)
{
    if (picture.empty() || picture.width() != layout.sourceWidth || picture.height() != layout.sourceHeight)
        return;
    bool first = true;
    for (int row = 0; row < layout.pagesDown; ++row) {
        for (int column = 0; column < layout.pagesAcross; ++column) {
            if (!first)
                sink.newPage();
            first = false;
            const PrintTile tile = printTile(layout, row, column);
            if (tile.source.width() > 0 && tile.source.height() > 0 && tile.destination.width() > 0 &&
                tile.destination.height() > 0)
                sink.drawTile(picture, tile.source, tile.destination);
        }
    }
}

std::string printDocumentTitle(const std::string& mainImagePath)
{
    return "Tilewright project" + fileNamePart(mainImagePath);
}

} // namespace tw
