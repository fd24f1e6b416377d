#pragma once
// Printed pages drawn with Qt: the print tiles onto any paged device (a
// printer, a PDF file), and the PDF printer that stands in when the system
// has no printer. The desktop program's platform layer and tilewright-cli's
// print command both draw through here, so they write the same pages.
#include "printing/print_layout.h"

#include <QPageLayout>
#include <QPageSize>
#include <QString>

#include <memory>

class QPagedPaintDevice;
class QPainter;

namespace tw {

// The PDF printer: 600 dots per inch, the paper of the user's locale.
inline constexpr int kPdfPrinterDpi = 600;

// Letter where the locale measures in US units, A4 everywhere else.
QPageSize::PageSizeId localePaperSize();

// The page layout Qt's PDF writer gives a paper and orientation (its own
// default margins), so the printable area is the one Qt reports.
QPageLayout pdfPageLayout(QPageSize::PageSizeId paper, QPageLayout::Orientation orientation);

// The four values of a PDF printer with this layout and resolution.
PrinterValues pdfPrinterValues(const QPageLayout& layout, int dpi);

// Copies the source rectangle into the destination rectangle (device dots
// from the painter's origin), never averaging: enlarging repeats pixels,
// reducing drops them, each dot taking the pixel its position falls in.
// An enlargement goes to the device at the picture's resolution and the
// device repeats the pixels (it may place a pixel's edge one dot off where
// the enlargement is not a whole number); a reduction is picked here at the
// device's resolution. Either way in bands of a few megabytes, so no page
// needs a page-sized picture.
void drawTileRepeatingPixels(QPainter& painter, const Picture& picture, const Rect& source,
                             const Rect& destination);

// A document painting on a paged device. Painting begins with the first
// page, so a document that gets no page paints nothing at all.
class PagedDocument : public PrintDocument {
public:
    ~PagedDocument() override;
    PagedDocument(const PagedDocument&) = delete;
    PagedDocument& operator=(const PagedDocument&) = delete;

    void drawTile(const Picture& picture, const Rect& source, const Rect& destination) override;
    void newPage() override;

protected:
    explicit PagedDocument(QPagedPaintDevice& device);
    // Ends painting; false when the device reports a failure. True when
    // painting never began.
    bool endPainting();
    bool painted() const { return painter_ != nullptr; }
    // The message of a device that refuses to begin painting.
    virtual std::string beginFailure() const = 0;

private:
    QPainter& painter();

    QPagedPaintDevice& device_;
    std::unique_ptr<QPainter> painter_;
};

// Begins a PDF file at path with the layout and resolution given. The file
// appears, complete, only when the document finishes with at least one page;
// a document that fails or is abandoned leaves any file there untouched.
// Throws tw::Error ("Cannot create file ...") when the file cannot be made.
std::unique_ptr<PrintDocument> beginPdfDocument(const QString& path, const QPageLayout& layout, int dpi,
                                                const QString& title);

} // namespace tw
