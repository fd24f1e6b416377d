#include "platform/qt_platform.h"

#include "platform/errors.h"
#include "platform/qt_print_document.h"
#include "platform/qt_settings.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace tw {

namespace {

QMessageBox::Icon iconForCaption(const QString& caption)
{
    if (caption == QLatin1String("Error"))
        return QMessageBox::Critical;
    if (caption == QLatin1String("Caution"))
        return QMessageBox::Warning;
    return QMessageBox::Information;
}

// Dialogs and message boxes stand above the program's stay-on-top windows
// (the wizard, the overview), whichever window asked for them.
void standAboveAll(QWidget& dialog) { dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true); }
// A document on an installed printer (or on the file the print dialog chose).
class PrinterDocument final : public PagedDocument {
public:
    PrinterDocument(QPrinter& printer, const QString& title) : PagedDocument(printer), printer_(printer)
    {
        printer_.setDocName(title);
    }

    ~PrinterDocument() override
    {
        // Abandoned halfway: the job is withdrawn, not half printed.
        if (painted() && !finished_)
            printer_.abort();
        endPainting();
    }

    void finish() override
    {
        finished_ = true;
        if (!endPainting())
            throw Error(beginFailure());
    }

private:
    std::string beginFailure() const override
    {
        return "The printer \"" + toCoreText(printer_.printerName()) + "\" cannot print the document";
    }

    QPrinter& printer_;
    bool finished_ = false;
};

} // namespace

QtPlatform::QtPlatform() = default;
QtPlatform::~QtPlatform() = default;
QString dialogFolderKey(const FileDialogRequest& request)
{
    QString name = request.purpose.isEmpty() ? request.title : request.purpose;
    // A separator in the name would open a settings group of its own.
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    if (name.isEmpty())
        name = QStringLiteral("unnamed");
    return QStringLiteral("dialogFolders/") + name;
}

QString dialogStartFolder(const FileDialogRequest& request)
{
    const QString remembered = ProgramSettings().value(dialogFolderKey(request)).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    return request.directory;
}

void rememberDialogFolder(const FileDialogRequest& request, const QString& chosenPath)
{
    if (chosenPath.isEmpty())
        return;
    ProgramSettings().setValue(dialogFolderKey(request), QFileInfo(chosenPath).absolutePath());
}

void QtPlatform::setDialogParent(QWidget* parent) { dialogParent_ = parent; }

QWidget* QtPlatform::parentFor(QWidget* parent) const
{
    if (parent)
        return parent;
    // A message stands over the window the user is working in: parented to
    // the main window instead, it would raise that window over the library
    // manager whose entry the message is about, or hide behind a window that
    // stays on top (the wizard).
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return dialogParent_.data();
}

void QtPlatform::showMessage(const std::string& text, const std::string& caption)
{
    const QString title = fromCoreText(caption);
    QMessageBox box(iconForCaption(title), title, fromCoreText(text), QMessageBox::Ok, parentFor(nullptr));
    standAboveAll(box);
    box.exec();
}

Confirmation QtPlatform::confirm(const std::string& text, const std::string& caption)
{
    const QString title = fromCoreText(caption);
    QMessageBox box(iconForCaption(title), title, fromCoreText(text), QMessageBox::Ok | QMessageBox::Cancel,
                    parentFor(nullptr));
    box.setDefaultButton(QMessageBox::Ok);
    standAboveAll(box);
    return box.exec() == QMessageBox::Ok ? Confirmation::Ok : Confirmation::Cancel;
}

std::optional<FileDialogResult> QtPlatform::runFileDialog(QWidget* parent, const FileDialogRequest& request,
                                                          bool save)
{
    QFileDialog dialog(parentFor(parent), request.title);
    standAboveAll(dialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Open dialogs accept any typed name: the commands decide what a missing
    // file means.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.filters);
    // The folder remembered for the purpose, else the request's own; a name
    // with a folder of its own, selected below, still wins over both.
    if (const QString folder = dialogStartFolder(request); !folder.isEmpty())
        dialog.setDirectory(folder);
    if (request.filterIndex >= 0 && request.filterIndex < request.filters.size())
        dialog.selectNameFilter(request.filters.at(request.filterIndex));
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    FileDialogResult result;
    result.path = withDefaultSuffix(files.first(), request.defaultSuffix);
    result.filterIndex = std::max<qsizetype>(0, request.filters.indexOf(dialog.selectedNameFilter()));
    rememberDialogFolder(request, result.path);
    return result;
}

std::optional<FileDialogResult> QtPlatform::openFileDialog(QWidget* parent, const FileDialogRequest& request)
{
    return runFileDialog(parent, request, false);
}

std::optional<FileDialogResult> QtPlatform::saveFileDialog(QWidget* parent, const FileDialogRequest& request)
{
    return runFileDialog(parent, request, true);
}

std::optional<QColor> QtPlatform::colorDialog(QWidget* parent, const QColor& initial)
{
    QColorDialog dialog(initial, parentFor(parent));
    standAboveAll(dialog);
    if (dialog.exec() != QDialog::Accepted || !dialog.selectedColor().isValid())
        return std::nullopt;
    return dialog.selectedColor();
}

SaveChoice QtPlatform::askSaveChanges(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Caution"), fromCoreText(text),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parentFor(nullptr));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    standAboveAll(box);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveChoice::Save;
    case QMessageBox::Discard:
        return SaveChoice::Discard;
    default:
        return SaveChoice::Cancel;
    }
}

void QtPlatform::openWithDesktop(const QUrl& address) { QDesktopServices::openUrl(address); }

MemoryStatus QtPlatform::memoryStatus() { return queryMemoryStatus(); }

void QtPlatform::choosePrinter()
{
    const bool havePrinters = !QPrinterInfo::availablePrinterNames().isEmpty();
    if (printer_ && pdfPrinter_ != havePrinters)
        return;
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    pdfPrinter_ = !havePrinters;
    if (pdfPrinter_) {
        printer_->setOutputFormat(QPrinter::PdfFormat);
        printer_->setResolution(kPdfPrinterDpi);
        printer_->setPageLayout(pdfPageLayout(localePaperSize(), QPageLayout::Portrait));
    }
}

QPrinter& QtPlatform::printer()
{
    if (!printer_)
        choosePrinter();
    return *printer_;
}

PrinterStatus QtPlatform::currentPrinter()
{
    QPrinter& p = printer();
    PrinterStatus status;
    status.pdf = pdfPrinter_;
    if (pdfPrinter_) {
        status.name = QString::fromLatin1(kPdfPrinterName);
        status.values = pdfPrinterValues(p.pageLayout(), p.resolution());
    } else {
        status.name = p.printerName();
        status.values = PrinterValues{p.logicalDpiX(), p.logicalDpiY(), p.width(), p.height()};
    }
    return status;
}

bool QtPlatform::printerSetupDialog(QWidget* parent)
{
    choosePrinter();
    QPageSetupDialog dialog(printer_.get(), parentFor(parent));
    return dialog.exec() == QDialog::Accepted;
}

bool QtPlatform::printDialog(QWidget* parent)
{
    choosePrinter();
    QPrintDialog dialog(printer_.get(), parentFor(parent));
    // Every page is printed; there is no range to choose.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    return dialog.exec() == QDialog::Accepted;
}

std::unique_ptr<PrintDocument> QtPlatform::beginPrintDocument(const QString& title, const QString& pdfPath)
{
    QPrinter& p = printer();
    if (pdfPrinter_)
        return beginPdfDocument(pdfPath, p.pageLayout(), p.resolution(), title);
    return std::make_unique<PrinterDocument>(p, title);
}

} // namespace tw
