#include "platform/qt_print_document.h"

#include "platform/errors.h"
#include "platform/platform.h"

#include <QBuffer>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace tw {

namespace {

// Bytes of one band of a tile: small beside a page at printer resolution
// (an A4 page at 600 dpi is 130 MB), large enough that the tiles of common
// enlargements go into the document whole.
constexpr std::int64_t kBandBytes = 16 << 20;

int bandRowsFor(int width, int height)
{
    return static_cast<int>(std::clamp<std::int64_t>(kBandBytes / (std::int64_t{width} * 4), 1, height));
}

// The first of the dots that show picture row (or column) i when n of them
// are spread over d dots, each dot showing the one its position falls in.
int firstDotOf(int i, int n, int d) { return static_cast<int>((std::int64_t{i} * d + n - 1) / n); }

void copyRow(const std::uint8_t* bgr, QRgb* line, int width)
{
    for (int x = 0; x < width; ++x, bgr += 3)
        line[x] = qRgb(bgr[2], bgr[1], bgr[0]);
}

std::string cannotCreate(const QString& path, const QString& reason)
{
    return "Cannot create file \"" + toCoreText(path) + "\". " + reason.toStdString();
}

class PdfDocument final : public PagedDocument {
public:
    PdfDocument(const QString& path, const QPageLayout& layout, int dpi, const QString& title)
        : PagedDocument(writer_), path_(path), file_(path), writer_(&file_)
    {
        if (!file_.open(QIODevice::WriteOnly))
            throw Error(cannotCreate(path_, file_.errorString()));
        writer_.setResolution(dpi);
        writer_.setPageLayout(layout);
        writer_.setTitle(title);
        writer_.setCreator(QStringLiteral("Tilewright"));
    }

    ~PdfDocument() override
    {
        // The writer goes before the base class could end its painting.
        endPainting();
    }

    void finish() override
    {
        if (!painted()) {
            // A PDF cannot hold a document without pages: nothing is written.
            file_.cancelWriting();
            return;
        }
        if (!endPainting() || !file_.commit())
            throw Error(cannotCreate(path_, file_.errorString()));
    }

private:
    std::string beginFailure() const override { return cannotCreate(path_, file_.errorString()); }

    QString path_;
    QSaveFile file_;
    QPdfWriter writer_;
};

} // namespace

QPageSize::PageSizeId localePaperSize()
{
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4;
}

QPageLayout pdfPageLayout(QPageSize::PageSizeId paper, QPageLayout::Orientation orientation)
{
    // The writer touches its device only when painting begins.
    QBuffer unused;
    QPdfWriter probe(&unused);
    probe.setPageSize(QPageSize(paper));
    probe.setPageOrientation(orientation);
    return probe.pageLayout();
}

PrinterValues pdfPrinterValues(const QPageLayout& layout, int dpi)
{
    const QRect area = layout.paintRectPixels(dpi);
    return PrinterValues{dpi, dpi, area.width(), area.height()};
}

void drawTileRepeatingPixels(QPainter& painter, const Picture& picture, const Rect& source, const Rect& destination)
{
    const int dw = destination.width(), dh = destination.height();
    const int sw = source.width(), sh = source.height();
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || source.left < 0 || source.top < 0 ||
        source.right > picture.width() || source.bottom > picture.height())
        return;

    if (dw >= sw && dh >= sh) {
        // Enlarging: the picture's own pixels go into the document, which
        // marks no image for smoothing, and the printer or viewer repeats
        // them. Baking the enlargement in at the device's resolution would
        // not help: a viewer that smooths small enlargements smooths that
        // picture's edges too, and the document would grow by the square of
        // the enlargement. Bands of whole picture rows, each onto the dots
        // its rows cover.
        const int bandRows = bandRowsFor(sw, sh);
        for (int top = 0; top < sh; top += bandRows) {
            const int rows = std::min(bandRows, sh - top);
            QImage band(sw, rows, QImage::Format_RGB32);
            if (band.isNull())
                throw std::bad_alloc();
            for (int r = 0; r < rows; ++r)
                copyRow(picture.row(source.top + top + r) + static_cast<std::size_t>(source.left) * 3,
                        reinterpret_cast<QRgb*>(band.scanLine(r)), sw);
            const int y0 = firstDotOf(top, sh, dh), y1 = firstDotOf(top + rows, sh, dh);
            painter.drawImage(QRect(destination.left, destination.top + y0, dw, y1 - y0), band);
        }
        return;
    }

    // Reducing: each dot picks its pixel here, at the device's resolution,
    // so no device averages them. Bands of destination rows.
    std::vector<int> columns(static_cast<std::size_t>(dw));
    for (int x = 0; x < dw; ++x)
        columns[static_cast<std::size_t>(x)] = source.left + static_cast<int>(std::int64_t{x} * sw / dw);
    const int bandRows = bandRowsFor(dw, dh);
    for (int top = 0; top < dh; top += bandRows) {
        const int rows = std::min(bandRows, dh - top);
        QImage band(dw, rows, QImage::Format_RGB32);
        if (band.isNull())
            throw std::bad_alloc();
        for (int r = 0; r < rows; ++r) {
            const int sy = source.top + static_cast<int>(std::int64_t{top + r} * sh / dh);
            const std::uint8_t* pixels = picture.row(sy);
            auto* line = reinterpret_cast<QRgb*>(band.scanLine(r));
            for (int x = 0; x < dw; ++x) {
                const std::uint8_t* p = pixels + static_cast<std::size_t>(columns[static_cast<std::size_t>(x)]) * 3;
                line[x] = qRgb(p[2], p[1], p[0]);
            }
        }
        painter.drawImage(QRect(destination.left, destination.top + top, dw, rows), band);
    }
}

PagedDocument::PagedDocument(QPagedPaintDevice& device) : device_(device) {}

PagedDocument::~PagedDocument() { endPainting(); }

QPainter& PagedDocument::painter()
{
    if (!painter_) {
        auto painter = std::make_unique<QPainter>();
        if (!painter->begin(&device_))
            throw Error(beginFailure());
        // Pictures go into the document as they are, never as JPEG.
        painter->setRenderHint(QPainter::LosslessImageRendering);
        painter_ = std::move(painter);
    }
    return *painter_;
}

bool PagedDocument::endPainting()
{
    if (!painter_)
        return true;
    const bool ok = !painter_->isActive() || painter_->end();
    painter_.reset();
    return ok;
}

void PagedDocument::drawTile(const Picture& picture, const Rect& source, const Rect& destination)
{
    drawTileRepeatingPixels(painter(), picture, source, destination);
}

void PagedDocument::newPage()
{
    painter();
    if (!device_.newPage())
        throw Error(beginFailure());
}

std::unique_ptr<PrintDocument> beginPdfDocument(const QString& path, const QPageLayout& layout, int dpi,
                                                const QString& title)
{
    return std::make_unique<PdfDocument>(path, layout, dpi, title);
}

} // namespace tw
