#include "cli/cli_print.h"

#include "cli/cli_commands.h"
#include "imaging/load_picture.h"
#include "library/cell_pic_lib.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/qt_print_document.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <ostream>

namespace tw::cli {

namespace {

bool isProjectName(const std::string& path)
{
    std::string ext = extensionPart(path);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == "tw6";
}

QPageSize::PageSizeId pageSizeOf(Paper paper)
{
    switch (paper) {
    case Paper::A4: return QPageSize::A4;
    case Paper::Letter: return QPageSize::Letter;
    case Paper::A3: return QPageSize::A3;
    case Paper::Legal: return QPageSize::Legal;
    case Paper::Locale: break;
    }
    return localePaperSize();
}

} // namespace

std::vector<std::string> printReport(const PrintTexts& texts, const std::string& printerName)
{
    auto line = [](const char* caption, const std::string& text) { return std::string(caption) + ": " + text; };
    return {
        line(kPrinterResolutionCaption, texts.printerResolution + " " + printerName),
        line(kPrintableAreaCaption, texts.printableArea),
        line(kSourceSizeCaption, texts.sourceSize),
        line(kPrintedSizeCaption, texts.printedSize),
        line(kCellSizeCaption, texts.cellSize),
        texts.pageCount,
    };
}

void runPrint(const Invocation& invocation, std::ostream& out, std::ostream& progress, bool terminal)
{
    const PrintRequest& request = invocation.print;
    const std::vector<OutputFile> outputs = {{"--out", request.outPath}};
    checkOutputNames(outputs);

    auto project = std::make_unique<MosaicProject>();
    if (isProjectName(request.inputPath)) {
        CellPicLib library;
        // Printing encodes nothing whole; the JPEG estimate is the closest.
        openAndRender(*project, library, request.inputPath, RenderTarget{PictureFileType::Jpeg, false, outputs},
                      invocation.threads, !request.noCache, progress, terminal);
    } else {
        InputFiles inputs;
        inputs.mainPicture = request.inputPath;
        checkOutputsSpareInputs(outputs, inputs);
        loadPicture(project->MosaicImage, request.inputPath);
        project->mainImagePath = request.inputPath;
        project->projectState = ProjectState::Picture;
    }

    const QPageLayout layout = pdfPageLayout(
        pageSizeOf(request.paper), request.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    const PrinterValues printer = pdfPrinterValues(layout, request.printerDpi);
    PrintChoice choice;
    choice.fitToPage = request.fitToPage;
    choice.dpiEntry = kCustomDpiEntry;
    choice.customDpi = request.dpi.value_or(kCustomDpiDefault);
    PrintState state;
    computePrintLayout(state, printer, choice, printPictureOf(*project));

    for (const std::string& line : printReport(state.texts, kPdfPrinterName))
        out << line << '\n';
    out.flush();
    if (state.layout.pagesAcross <= 0 || state.layout.pagesDown <= 0)
        throw Error("There is nothing to print");

    std::unique_ptr<PrintDocument> document =
        beginPdfDocument(fromCoreText(request.outPath), layout, request.printerDpi,
                         fromCoreText(printDocumentTitle(project->mainImagePath)));
    printMosaic(state.layout, project->MosaicImage, *document);
    document->finish();
    out << "PDF written to " << request.outPath << '\n';
}

} // namespace tw::cli
