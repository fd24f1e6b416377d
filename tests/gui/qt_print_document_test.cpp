// Pages drawn through Qt: the tile drawing itself, and PDF files written by
// the desktop program's PDF printer, read back with poppler-utils.
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/qt_print_document.h"
#include "platform/qt_platform.h"
#include "printing/poppler.h"
#include "test_support.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinterInfo>

#include <gtest/gtest.h>

#include <filesystem>

namespace tw::test {
namespace {

namespace fs = std::filesystem;

// Every pixel differs from its neighbours, so a shifted or smoothed tile
// cannot pass for the right one.
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

Picture fromImage(const QImage& image)
{
    Picture p(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            p.setPixel(x, y,
                       Bgr{static_cast<std::uint8_t>(qBlue(c)), static_cast<std::uint8_t>(qGreen(c)),
                           static_cast<std::uint8_t>(qRed(c))});
        }
    return p;
}

Picture cropped(const Picture& from, int left, int top, int w, int h)
{
    Picture part(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            part.setPixel(x, y, from.pixel(left + x, top + y));
    return part;
}

std::string scratch(const std::string& name)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return (scratchDir(std::string("qtprint-") + info->name()) / name).string();
}

bool noPrinterInstalled() { return QPrinterInfo::availablePrinterNames().isEmpty(); }

TEST(DrawTileRepeatingPixels, EachDotTakesThePixelItFallsIn)
{
    struct Row {
        const char* fault;
        Size picture;
        Rect source;
        int width, height;
        int slack;  // enlargements are repeated by the painter
    };
    const Row rows[] = {
        {"whole picture one to one", {60, 40}, {0, 0, 60, 40}, 60, 40, 0},
        {"enlarged three times", {60, 40}, {10, 5, 30, 25}, 60, 60, 1},
        {"enlarged by a fraction (72 DPI on 600)", {60, 40}, {0, 0, 48, 36}, 400, 300, 1},
        {"last column of a page", {60, 40}, {52, 0, 60, 40}, 67, 333, 1},
        {"reduced by dropping pixels", {60, 40}, {0, 0, 60, 40}, 30, 20, 0},
        {"reduced unevenly", {60, 40}, {3, 7, 60, 40}, 41, 13, 0},
        {"reduced across, enlarged down", {60, 40}, {0, 0, 60, 40}, 45, 90, 0},
        // More than one band each: the bands must meet without a seam.
        {"bands of an enlarged tile", {5000, 900}, {0, 0, 5000, 900}, 5000, 1800, 1},
        {"bands of a reduced tile", {6000, 1300}, {0, 0, 6000, 1300}, 5000, 1200, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        const Picture picture = patternPicture(row.picture.width, row.picture.height);
        QImage page(row.width + 4, row.height + 4, QImage::Format_RGB32);
        page.fill(Qt::white);
        {
            QPainter painter(&page);
            drawTileRepeatingPixels(painter, picture, row.source, Rect{2, 2, 2 + row.width, 2 + row.height});
        }
        const Picture drawn = fromImage(page);
        EXPECT_TRUE(showsTile(cropped(drawn, 2, 2, row.width, row.height), picture, row.source, row.width,
                              row.height, row.slack));
        // Nothing outside the destination.
        const Bgr white{255, 255, 255};
        for (int x = 0; x < page.width(); ++x) {
            ASSERT_EQ(drawn.pixel(x, 1), white) << "above, x " << x;
            ASSERT_EQ(drawn.pixel(x, row.height + 2), white) << "below, x " << x;
        }
        for (int y = 0; y < page.height(); ++y) {
            ASSERT_EQ(drawn.pixel(1, y), white) << "left, y " << y;
            ASSERT_EQ(drawn.pixel(row.width + 2, y), white) << "right, y " << y;
        }
    }
}

TEST(PdfPrinter, StandsInWhenNoPrinterIsInstalled)
{
    if (!noPrinterInstalled())
        GTEST_SKIP() << "a printer is installed here";
    QtPlatform platform;
    const PrinterStatus printer = platform.currentPrinter();
    EXPECT_TRUE(printer.pdf);
    EXPECT_EQ(printer.name, "PDF");
    EXPECT_EQ(printer.values.dpiX, 600);
    EXPECT_EQ(printer.values.dpiY, 600);
    EXPECT_EQ(printer.values, pdfPrinterValues(pdfPageLayout(localePaperSize(), QPageLayout::Portrait), 600));
}

TEST(PdfPrinter, LayoutOfEachPaperIsTheOneTheWriterPaintsOn)
{
    struct Row {
        QPageSize::PageSizeId paper;
        QPageLayout::Orientation orientation;
        double widthPoints, heightPoints;
    };
    const Row rows[] = {
        // Qt gives its paper sizes in whole points.
        {QPageSize::A4, QPageLayout::Portrait, 595, 842},
        {QPageSize::A4, QPageLayout::Landscape, 842, 595},
        {QPageSize::Letter, QPageLayout::Portrait, 612, 792},
        {QPageSize::A3, QPageLayout::Portrait, 842, 1191},
        {QPageSize::Legal, QPageLayout::Landscape, 1008, 612},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(QPageSize::name(row.paper).toStdString());
        const QPageLayout layout = pdfPageLayout(row.paper, row.orientation);
        const QRectF full = layout.fullRectPoints();
        EXPECT_NEAR(full.width(), row.widthPoints, 0.01);
        EXPECT_NEAR(full.height(), row.heightPoints, 0.01);
        const PrinterValues values = pdfPrinterValues(layout, kPdfPrinterDpi);
        EXPECT_GT(values.printableWidth, 0);
        EXPECT_LT(values.printableWidth, full.width() / 72 * kPdfPrinterDpi);
        // The dots the layout is computed on are the dots a writer paints.
        QBuffer unused;
        QPdfWriter writer(&unused);
        writer.setResolution(kPdfPrinterDpi);
        writer.setPageLayout(layout);
        EXPECT_EQ(writer.width(), values.printableWidth);
        EXPECT_EQ(writer.height(), values.printableHeight);
    }
}

TEST(PdfPrinter, WrittenPagesShowEachTileAsAViewerRendersThem)
{
    if (!noPrinterInstalled())
        GTEST_SKIP() << "a printer is installed here";
    QtPlatform platform;
    const PrinterStatus printer = platform.currentPrinter();
    ASSERT_TRUE(printer.pdf);
    const QPageLayout layout = pdfPageLayout(localePaperSize(), QPageLayout::Portrait);
    const QRect area = layout.paintRectPixels(kPdfPrinterDpi);
    const QRectF full = layout.fullRectPoints();

    struct Row {
        const char* fault;
        int entry, width, height;
        int pagesAcross, pagesDown;
    };
    // Enlargements of 4 and more, which a viewer repeats without smoothing.
    const Row rows[] = {
        {"20 dots per pixel across two page columns", 0, 300, 100, 2, 1},
        {"8.33 dots per pixel across two page rows", 2, 200, 1000, 1, 2},
        {"4 dots per pixel", 5, 500, 300, 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        const Picture picture = patternPicture(row.width, row.height);
        PrintState state;
        PrintChoice choice;
        choice.dpiEntry = row.entry;
        computePrintLayout(state, printer.values, choice, PrintPicture{row.width, row.height, false, 0, 0});
        ASSERT_EQ(state.layout.pagesAcross, row.pagesAcross);
        ASSERT_EQ(state.layout.pagesDown, row.pagesDown);

        const std::string path = scratch("mosaic.pdf");
        auto document = platform.beginPrintDocument(QStringLiteral("Tilewright projectbeach.jpg"),
                                                    QString::fromStdString(path));
        printMosaic(state.layout, picture, *document);
        EXPECT_FALSE(fs::exists(path)) << "the file appears only when the document is complete";
        document->finish();

        const int pages = row.pagesAcross * row.pagesDown;
        ASSERT_EQ(pdfPageCount(path), pages) << "is poppler-utils installed?";
        const std::string info = commandOutput("pdfinfo " + shellWord(path));
        EXPECT_NE(info.find("Title:           Tilewright projectbeach.jpg\n"), std::string::npos) << info;
        const Bytes bytes = readWholeFile(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()).find("/Interpolate true"), std::string::npos);
        for (int page = 1; page <= pages; ++page) {
            SCOPED_TRACE("page " + std::to_string(page));
            const auto size = pdfPageSize(path, page);
            ASSERT_TRUE(size.has_value());
            EXPECT_NEAR(size->width, full.width(), 0.01);
            EXPECT_NEAR(size->height, full.height(), 0.01);

            // Rendered at the printer's resolution, every dot of the tile is
            // a picture pixel, the one its position falls in.
            const PrintTile tile =
                printTile(state.layout, (page - 1) / row.pagesAcross, (page - 1) % row.pagesAcross);
            const int w = tile.destination.width(), h = tile.destination.height();
            EXPECT_TRUE(pageShowsTile(path, page, kPdfPrinterDpi, area.left(), area.top(), picture, tile.source, w, h));
            // White beyond the tile.
            const Picture rendered =
                renderPdfPage(path, page, kPdfPrinterDpi, area.left(), area.top(), w + 8, h + 8);
            ASSERT_FALSE(rendered.empty());
            const Bgr white{255, 255, 255};
            for (int y = 0; y < h; y += 7)
                ASSERT_EQ(rendered.pixel(w + 4, y), white) << "right of the tile, y " << y;
            for (int x = 0; x < w; x += 7)
                ASSERT_EQ(rendered.pixel(x, h + 4), white) << "below the tile, x " << x;
        }
    }
}

TEST(PdfDocument, FailuresAndAbandonedDocumentsLeaveNoFile)
{
    const QPageLayout layout = pdfPageLayout(QPageSize::A4, QPageLayout::Portrait);
    const Picture picture = patternPicture(10, 10);
    struct Row {
        const char* fault;
        bool pages;   // a tile is drawn
        bool finish;  // finish is called
    };
    const Row rows[] = {
        {"abandoned document replaced the old file", true, false},
        {"document without pages wrote a PDF", false, true},
        {"abandoned empty document replaced the old file", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        const std::string path = scratch("old.pdf");
        writeFileAtomic(path, std::string("old").data(), 3);
        {
            auto document = beginPdfDocument(QString::fromStdString(path), layout, 600, QString());
            if (row.pages)
                document->drawTile(picture, Rect{0, 0, 10, 10}, Rect{0, 0, 100, 100});
            if (row.finish)
                document->finish();
        }
        const Bytes bytes = readWholeFile(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old");
        EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(path).parent_path()), fs::directory_iterator()), 1)
            << "a temporary file stayed behind";
    }

    const std::string missing = scratch("") + "no/such/folder/m.pdf";
    try {
        beginPdfDocument(QString::fromStdString(missing), layout, 600, QString());
        ADD_FAILURE() << "a PDF in a missing folder began";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + missing + "\". ", 0), 0u) << e.what();
    }
}

} // namespace
} // namespace tw::test
