#include "printing/print_layout.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tw {
namespace {

constexpr PrinterValues kLetterAt600{600, 600, 4800, 6600};

PrintChoice atEntry(int entry, int custom = kCustomDpiDefault)
{
    PrintChoice c;
    c.dpiEntry = entry;
    c.customDpi = custom;
    return c;
}

PrintChoice fit()
{
    PrintChoice c;
    c.fitToPage = true;
    return c;
}

PrintPicture mosaic(int w, int h, int cellsX, int cellsY) { return PrintPicture{w, h, true, cellsX, cellsY}; }
PrintPicture plainPicture(int w, int h) { return PrintPicture{w, h, false, 0, 0}; }

std::string describe(const Rect& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + ".." + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

TEST(PrinterCaps, TextsFromTheFourPrinterValues)
{
    struct Row {
        const char* fault;
        PrinterValues printer;
        char separator;
        const char* resolution;
        const char* area;
    };
    const Row rows[] = {
        {"letter printable area", kLetterAt600, '.', "600 x 600", "8.00 x 11.00 Inch  or 20.32 x 27.94 CM  "},
        {"locale separator ignored", kLetterAt600, ',', "600 x 600", "8,00 x 11,00 Inch  or 20,32 x 27,94 CM  "},
        {"across and down swapped", PrinterValues{300, 600, 600, 1200}, '.', "300 x 600",
         "2.00 x 2.00 Inch  or 5.08 x 5.08 CM  "},
        // 1/8 inch is 0.125 (a tie: half away from zero gives 0.13) and 0.3175 CM.
        {"ties rounded to even", PrinterValues{8, 8, 1, 3}, '.', "8 x 8", "0.13 x 0.38 Inch  or 0.32 x 0.95 CM  "},
        {"division by a zero resolution", PrinterValues{0, 0, 4800, 6600}, '.', "0 x 0",
         "0.00 x 0.00 Inch  or 0.00 x 0.00 CM  "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        PrintState state;
        readPrinterCaps(state, row.printer, row.separator);
        EXPECT_EQ(state.texts.printerResolution, row.resolution);
        EXPECT_EQ(state.texts.printableArea, row.area);
        EXPECT_EQ(state.layout.printerDpiX, row.printer.dpiX);
        EXPECT_EQ(state.layout.printerDpiY, row.printer.dpiY);
    }
}

TEST(PrinterCaps, NoPrinterChangesNothing)
{
    PrintState state;
    readPrinterCaps(state, kLetterAt600);
    const PrintState before = state;
    readPrinterCaps(state, std::nullopt);
    EXPECT_EQ(state.texts.printerResolution, before.texts.printerResolution);
    EXPECT_EQ(state.texts.printableArea, before.texts.printableArea);
    EXPECT_EQ(state.layout.pageWidthInch, before.layout.pageWidthInch);
    EXPECT_DOUBLE_EQ(state.layout.pageWidthInch, 8.0);
    EXPECT_DOUBLE_EQ(state.layout.pageHeightInch, 11.0);

    PrintState fresh;
    readPrinterCaps(fresh, std::nullopt);
    EXPECT_EQ(fresh.texts.printerResolution, "0 x 0");
    EXPECT_EQ(fresh.layout.printerDpiX, 0);
}

struct LayoutRow {
    const char* fault;
    PrinterValues printer;
    PrintChoice choice;
    PrintPicture picture;
    // Expected layout.
    int printDpi, printedWidth, printedHeight, tileWidth, tileHeight, pageSpanX, pageSpanY, pagesAcross, pagesDown;
    // Expected texts.
    const char* sourceSize;
    const char* printedSize;
    const char* cellSize;
    const char* pageCount;
};

TEST(ComputePrintLayout, LayoutAndTextsOfEachChoice)
{
    const LayoutRow rows[] = {
        {"72 DPI across several pages", kLetterAt600, atEntry(2), mosaic(1536, 1536, 48, 48), 72, 12800, 12800, 576,
         792, 4800, 6600, 3, 2, "1536 x 1536 pixels", "21.33 x 21.33 Inch  or 54.19 x 54.19 CM",
         "0.44 x 0.44 Inch  or 1.13 x 1.13 CM", "Page Count : 3 x 2"},
        {"fit to page scale", kLetterAt600, fit(), mosaic(1536, 1536, 48, 48), 0, 4800, 4800, 1536, 1536, 4800,
         4800, 1, 1, "1536 x 1536 pixels", "8.00 x 8.00 Inch  or 20.32 x 20.32 CM",
         "0.17 x 0.17 Inch  or 0.42 x 0.42 CM", "Page Count : 1"},
        {"fit to page uses the smaller ratio", kLetterAt600, fit(), plainPicture(1000, 3000), 0, 2200, 6600, 1000,
         3000, 2200, 6600, 1, 1, "1000 x 3000 pixels", "3.67 x 11.00 Inch  or 9.31 x 27.94 CM", "No Cells",
         "Page Count : 1"},
        // 9600 dots are exactly two spans: two page columns, not a third of
        // blank sheets.
        {"blank column when printed size is a multiple of the span", kLetterAt600, atEntry(5),
         mosaic(2400, 2400, 50, 50), 150, 9600, 9600, 1200, 1650, 4800, 6600, 2, 2, "2400 x 2400 pixels",
         "16.00 x 16.00 Inch  or 40.64 x 40.64 CM", "0.32 x 0.32 Inch  or 0.81 x 0.81 CM", "Page Count : 2 x 2"},
        {"custom resolution ignored", kLetterAt600, atEntry(kCustomDpiEntry, 600), mosaic(1536, 1536, 48, 48), 600,
         1536, 1536, 4800, 6600, 4800, 6600, 1, 1, "1536 x 1536 pixels", "2.56 x 2.56 Inch  or 6.50 x 6.50 CM",
         "0.05 x 0.05 Inch  or 0.14 x 0.14 CM", "Page Count : 1 x 1"},
        {"list value table out of order", kLetterAt600, atEntry(8), mosaic(9600, 9600, 50, 50), 1200, 4800, 4800,
         9600, 13200, 4800, 6600, 1, 1, "9600 x 9600 pixels", "8.00 x 8.00 Inch  or 20.32 x 20.32 CM",
         "0.16 x 0.16 Inch  or 0.41 x 0.41 CM", "Page Count : 1 x 1"},
        {"cell size without a created project", kLetterAt600, atEntry(2), plainPicture(720, 360), 72, 6000, 3000,
         576, 792, 4800, 6600, 2, 1, "720 x 360 pixels", "10.00 x 5.00 Inch  or 25.40 x 12.70 CM", "No Cells",
         "Page Count : 2 x 1"},
        {"printer resolution across and down mixed up", PrinterValues{300, 600, 2400, 6600}, atEntry(2),
         plainPicture(720, 720), 72, 3000, 6000, 576, 792, 2400, 6600, 2, 1, "720 x 720 pixels",
         "10.00 x 10.00 Inch  or 25.40 x 25.40 CM", "No Cells", "Page Count : 2 x 1"},
        {"division by a custom resolution of 0 typed", kLetterAt600, atEntry(kCustomDpiEntry, 0),
         mosaic(1536, 1536, 48, 48), 0, 0, 0, 0, 0, 0, 0, 0, 0, "1536 x 1536 pixels",
         "0.00 x 0.00 Inch  or 0.00 x 0.00 CM", "0.00 x 0.00 Inch  or 0.00 x 0.00 CM", "Page Count : 0 x 0"},
        {"division by a zero printer resolution", PrinterValues{0, 0, 0, 0}, atEntry(2), mosaic(1536, 1536, 48, 48),
         72, 0, 0, 0, 0, 0, 0, 0, 0, "1536 x 1536 pixels", "0.00 x 0.00 Inch  or 0.00 x 0.00 CM",
         "0.00 x 0.00 Inch  or 0.00 x 0.00 CM", "Page Count : 0 x 0"},
        {"fit to page on a zero printable area", PrinterValues{600, 600, 0, 0}, fit(), mosaic(1536, 1536, 48, 48), 0,
         0, 0, 1536, 1536, 0, 0, 0, 0, "1536 x 1536 pixels", "0.00 x 0.00 Inch  or 0.00 x 0.00 CM",
         "0.00 x 0.00 Inch  or 0.00 x 0.00 CM", "Page Count : 0"},
        // Less than one printable dot per page at 1 DPI: no tile fits.
        {"division by a zero tile", PrinterValues{600, 600, 500, 500}, atEntry(kCustomDpiEntry, 1),
         plainPicture(10, 10), 1, 6000, 6000, 0, 0, 0, 0, 0, 0, "10 x 10 pixels",
         "10.00 x 10.00 Inch  or 25.40 x 25.40 CM", "No Cells", "Page Count : 0 x 0"},
        {"division by zero cells", kLetterAt600, atEntry(2), mosaic(1536, 1536, 0, 0), 72, 12800, 12800, 576, 792,
         4800, 6600, 3, 2, "1536 x 1536 pixels", "21.33 x 21.33 Inch  or 54.19 x 54.19 CM",
         "0.00 x 0.00 Inch  or 0.00 x 0.00 CM", "Page Count : 3 x 2"},
    };
    for (const LayoutRow& row : rows) {
        SCOPED_TRACE(row.fault);
        PrintState state;
        computePrintLayout(state, row.printer, row.choice, row.picture);
        const PrintLayout& l = state.layout;
        EXPECT_EQ(l.sourceWidth, row.picture.width);
        EXPECT_EQ(l.sourceHeight, row.picture.height);
        EXPECT_EQ(l.printDpi, row.printDpi);
        EXPECT_EQ(l.printedWidth, row.printedWidth);
        EXPECT_EQ(l.printedHeight, row.printedHeight);
        EXPECT_EQ(l.tileWidth, row.tileWidth);
        EXPECT_EQ(l.tileHeight, row.tileHeight);
        EXPECT_EQ(l.pageSpanX, row.pageSpanX);
        EXPECT_EQ(l.pageSpanY, row.pageSpanY);
        EXPECT_EQ(l.pagesAcross, row.pagesAcross);
        EXPECT_EQ(l.pagesDown, row.pagesDown);
        EXPECT_EQ(state.texts.sourceSize, row.sourceSize);
        EXPECT_EQ(state.texts.printedSize, row.printedSize);
        EXPECT_EQ(state.texts.cellSize, row.cellSize);
        EXPECT_EQ(state.texts.pageCount, row.pageCount);
    }
}

TEST(ComputePrintLayout, StepsKeepWhatTheyDoNotCompute)
{
    // Each step follows an earlier computation on the same state.
    struct Row {
        const char* fault;
        PrintChoice choice;
        PrintPicture picture;
        int printDpi, pagesAcross, pagesDown;
        const char* sourceSize;
        const char* pageCount;
    };
    const Row rows[] = {
        {"empty picture before any mosaic computes texts", atEntry(2), PrintPicture{}, 0, 0, 0, "0 x 0",
         "Page Count"},
        {"first picture", atEntry(6), mosaic(1536, 1536, 48, 48), 300, 1, 1, "1536 x 1536 pixels",
         "Page Count : 1 x 1"},
        {"typed list text resets the resolution", atEntry(-1), mosaic(1536, 1536, 48, 48), 300, 1, 1,
         "1536 x 1536 pixels", "Page Count : 1 x 1"},
        {"fit to page forgets the chosen resolution", fit(), mosaic(1536, 1536, 48, 48), 300, 1, 1,
         "1536 x 1536 pixels", "Page Count : 1"},
        {"typed text after fit loses the resolution", atEntry(-1), mosaic(1536, 1536, 48, 48), 300, 1, 1,
         "1536 x 1536 pixels", "Page Count : 1 x 1"},
        {"empty picture later overwrites the layout", atEntry(0), PrintPicture{}, 300, 1, 1, "1536 x 1536 pixels",
         "Page Count : 1 x 1"},
        {"list entry after typed text", atEntry(0), mosaic(1536, 1536, 48, 48), 30, 7, 5, "1536 x 1536 pixels",
         "Page Count : 7 x 5"},
    };
    PrintState state;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        computePrintLayout(state, kLetterAt600, row.choice, row.picture);
        EXPECT_EQ(state.layout.printDpi, row.printDpi);
        EXPECT_EQ(state.layout.pagesAcross, row.pagesAcross);
        EXPECT_EQ(state.layout.pagesDown, row.pagesDown);
        EXPECT_EQ(state.texts.sourceSize, row.sourceSize);
        EXPECT_EQ(state.texts.pageCount, row.pageCount);
        EXPECT_EQ(state.texts.printerResolution, "600 x 600") << "the printer is read even without a picture";
    }
}

TEST(ComputePrintLayout, LocaleSeparatorInEveryText)
{
    PrintState state;
    computePrintLayout(state, kLetterAt600, atEntry(2), mosaic(1536, 1536, 48, 48), ',');
    EXPECT_EQ(state.texts.printableArea, "8,00 x 11,00 Inch  or 20,32 x 27,94 CM  ");
    EXPECT_EQ(state.texts.printedSize, "21,33 x 21,33 Inch  or 54,19 x 54,19 CM");
    EXPECT_EQ(state.texts.cellSize, "0,44 x 0,44 Inch  or 1,13 x 1,13 CM");
}

// Records what printing sends: each page's tiles.
class RecordingSink final : public PageSink {
public:
    struct Tile {
        Rect source, destination;
    };
    std::vector<std::vector<Tile>> pages{1};

    void drawTile(const Picture& picture, const Rect& source, const Rect& destination) override
    {
        EXPECT_GE(source.left, 0);
        EXPECT_GE(source.top, 0);
        EXPECT_LE(source.right, picture.width());
        EXPECT_LE(source.bottom, picture.height());
        pages.back().push_back({source, destination});
    }
    void newPage() override { pages.emplace_back(); }
};

TEST(PrintMosaic, OnePagePerTileRowByRow)
{
    struct Row {
        const char* fault;
        PrintChoice choice;
        int width, height;
        std::vector<RecordingSink::Tile> tiles;  // one per page, in page order
    };
    const std::vector<Row> rows = {
        {"72 DPI pages",
         atEntry(2),
         1536,
         1536,
         {{{0, 0, 576, 792}, {0, 0, 4800, 6600}},
          {{576, 0, 1152, 792}, {0, 0, 4800, 6600}},
          {{1152, 0, 1536, 792}, {0, 0, 3200, 6600}},
          {{0, 792, 576, 1536}, {0, 0, 4800, 6200}},
          {{576, 792, 1152, 1536}, {0, 0, 4800, 6200}},
          {{1152, 792, 1536, 1536}, {0, 0, 3200, 6200}}}},
        {"fit to page", fit(), 1536, 1536, {{{0, 0, 1536, 1536}, {0, 0, 4800, 4800}}}},
        {"one picture pixel per dot", atEntry(kCustomDpiEntry, 600), 1536, 1536,
         {{{0, 0, 1536, 1536}, {0, 0, 1536, 1536}}}},
        {"blank third column",
         atEntry(5),
         2400,
         1000,
         {{{0, 0, 1200, 1000}, {0, 0, 4800, 4000}}, {{1200, 0, 2400, 1000}, {0, 0, 4800, 4000}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        PrintState state;
        computePrintLayout(state, kLetterAt600, row.choice, plainPicture(row.width, row.height));
        RecordingSink sink;
        const Picture picture(row.width, row.height);
        printMosaic(state.layout, picture, sink);
        ASSERT_EQ(sink.pages.size(), row.tiles.size());
        for (std::size_t i = 0; i < row.tiles.size(); ++i) {
            SCOPED_TRACE("page " + std::to_string(i + 1));
            ASSERT_EQ(sink.pages[i].size(), 1u);
            EXPECT_EQ(sink.pages[i][0].source, row.tiles[i].source) << describe(sink.pages[i][0].source);
            EXPECT_EQ(sink.pages[i][0].destination, row.tiles[i].destination)
                << describe(sink.pages[i][0].destination);
        }
    }
}

TEST(PrintMosaic, TilesCoverThePictureAndThePrintedSizeExactlyOnce)
{
    // Odd sizes and resolutions whose truncations do not line up.
    struct Row {
        PrinterValues printer;
        int entry, custom, width, height;
    };
    const Row rows[] = {
        {kLetterAt600, 2, 72, 1537, 1535}, {kLetterAt600, kCustomDpiEntry, 7, 101, 97},
        {PrinterValues{300, 600, 2385, 6407}, kCustomDpiEntry, 1199, 5000, 3001},
        {PrinterValues{360, 180, 2877, 1911}, 3, 72, 963, 1201}, {kLetterAt600, kCustomDpiEntry, 1000, 9601, 1201},
        // Spans of 4971.43 dots truncated to 4971: three tiles of picture
        // print 14914 dots, one more than three spans.
        {PrinterValues{600, 600, 5000, 6600}, kCustomDpiEntry, 7, 174, 50},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height) + " at " +
                     std::to_string(row.custom));
        PrintState state;
        computePrintLayout(state, row.printer, atEntry(row.entry, row.custom), plainPicture(row.width, row.height));
        const PrintLayout& l = state.layout;
        ASSERT_GT(l.pagesAcross, 0);
        ASSERT_GT(l.pagesDown, 0);
        RecordingSink sink;
        printMosaic(l, Picture(row.width, row.height), sink);
        ASSERT_EQ(sink.pages.size(), static_cast<std::size_t>(l.pagesAcross * l.pagesDown));
        long long sourceArea = 0;
        int printedAcross = 0, printedDown = 0;
        for (std::size_t i = 0; i < sink.pages.size(); ++i) {
            const auto& page = sink.pages[i];
            ASSERT_EQ(page.size(), 1u) << "a sheet without picture";
            const RecordingSink::Tile& t = page[0];
            EXPECT_GT(t.source.width(), 0);
            EXPECT_GT(t.destination.width(), 0);
            EXPECT_LE(t.destination.right, l.pageSpanX) << "larger than a full page tile";
            EXPECT_LE(t.destination.bottom, l.pageSpanY) << "larger than a full page tile";
            EXPECT_LE(l.pageSpanX, row.printer.printableWidth) << "beyond the printable area";
            EXPECT_LE(l.pageSpanY, row.printer.printableHeight) << "beyond the printable area";
            sourceArea += static_cast<long long>(t.source.width()) * t.source.height();
            if (i < static_cast<std::size_t>(l.pagesAcross))
                printedAcross += t.destination.width();
            if (i % static_cast<std::size_t>(l.pagesAcross) == 0)
                printedDown += t.destination.height();
        }
        EXPECT_EQ(sourceArea, static_cast<long long>(row.width) * row.height);
        // The printed size, short of at most the truncations of the spans.
        EXPECT_LE(printedAcross, l.printedWidth);
        EXPECT_GT(printedAcross, l.printedWidth - l.pagesAcross);
        EXPECT_LE(printedDown, l.printedHeight);
        EXPECT_GT(printedDown, l.printedHeight - l.pagesDown);
    }
}

TEST(PrintMosaic, NothingWithoutTheLaidOutPicture)
{
    PrintState state;
    computePrintLayout(state, kLetterAt600, atEntry(2), PrintPicture{});
    struct Row {
        const char* fault;
        Picture picture;
    };
    Row rows[] = {{"empty mosaic printed a page", Picture()},
                  {"another picture than the one laid out", Picture(20, 10)}};
    for (Row& row : rows) {
        SCOPED_TRACE(row.fault);
        RecordingSink sink;
        printMosaic(state.layout, row.picture, sink);
        EXPECT_EQ(sink.pages.size(), 1u);
        EXPECT_TRUE(sink.pages[0].empty());
    }
}

TEST(PrintDocumentTitle, ProgramNameThenFileName)
{
    struct Row {
        const char* path;
        const char* title;
    };
    const Row rows[] = {{"/home/me/pictures/beach.jpg", "Tilewright projectbeach.jpg"},
                        {"beach.bmp", "Tilewright projectbeach.bmp"},
                        {"", "Tilewright project"}};
    for (const Row& row : rows)
        EXPECT_EQ(printDocumentTitle(row.path), row.title) << row.path;
}

} // namespace
} // namespace tw
