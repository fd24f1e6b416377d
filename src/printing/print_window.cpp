#include "printing/print_window.h"

#include "platform/platform.h"
#include "ui/app_context.h"
#include "ui/spin_edit.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>


namespace tw {

namespace {

// The window's laid-out client size; it grows only where the platform font
// needs more.
constexpr int kClientWidth = 292;
constexpr int kClientHeight = 319;

const QColor kGreen(0x00, 0x80, 0x00);
const QColor kCream(0xFF, 0xFB, 0xF0);

char localeDecimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80)
        return static_cast<char>(point.at(0).unicode());
    return '.';
}

void paintGreen(QLabel* label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kGreen);
    label->setPalette(palette);
}

void paintCream(QWidget* field)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, kCream);
    field->setPalette(palette);
}

// A result label: the text can be selected and copied, and it carries its
// caption as its accessible name.
QLabel* valueLabel(const char* name, const QString& caption, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setAccessibleName(caption);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* captionLabel(const char* name, const QString& caption, QWidget* parent)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setAccessibleName(caption);
    return label;
}

// Shows the wait cursor while the pages are sent.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

PrintWindow::PrintWindow(AppContext& context, QWidget* parent)
    // A fixed dialog-like frame: title and close button only, above the
    // other windows.
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      context_(context)
{
    setObjectName(QStringLiteral("TForm7"));
    setWindowTitle(QStringLiteral("Print Mosaic Picture"));
    setAttribute(Qt::WA_QuitOnClose, false);
    createControls();

    connect(rbfit_, &QRadioButton::clicked, this, &PrintWindow::Button2Click);
    connect(RadioButton2_, &QRadioButton::clicked, this, &PrintWindow::Button2Click);
    connect(cdpi_, &QComboBox::currentTextChanged, this, &PrintWindow::Button2Click);
    connect(seCDPI_, &SpinEdit::changed, this, &PrintWindow::Button2Click);
    connect(BTPsetup_, &QPushButton::clicked, this, &PrintWindow::BTPsetupClick);
    connect(btprint_, &QPushButton::clicked, this, &PrintWindow::btprintClick);
    connect(btcancel_, &QPushButton::clicked, this, &PrintWindow::btcancelClick);
    connect(&context_, &AppContext::busyChanged, this, &PrintWindow::updateActions);
    updateActions();

    // The laid-out size, or what the platform font needs at the least.
    setFixedSize(minimumSizeHint().expandedTo(QSize(kClientWidth, kClientHeight)));
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void PrintWindow::createControls()
{
    GroupBox1_ = new QGroupBox(QStringLiteral("Size"), this);
    GroupBox1_->setObjectName(QStringLiteral("GroupBox1"));
    Label1_ = captionLabel("Label1", QStringLiteral("Picture size in Pixels"), GroupBox1_);
    paintGreen(Label1_);
    lbsourcesize_ = valueLabel("lbsourcesize", Label1_->text(), GroupBox1_);
    rbfit_ = new QRadioButton(QStringLiteral("Fit to Page"), GroupBox1_);
    rbfit_->setObjectName(QStringLiteral("rbfit"));
    RadioButton2_ = new QRadioButton(QStringLiteral("Print at this Resolution  (Image Resolution)"), GroupBox1_);
    RadioButton2_->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton2_->setChecked(true);
    for (QRadioButton* b : {rbfit_, RadioButton2_})
        b->setAccessibleName(b->text());

    cdpi_ = new QComboBox(GroupBox1_);
    cdpi_->setObjectName(QStringLiteral("cdpi"));
    cdpi_->setAccessibleName(RadioButton2_->text());
    cdpi_->setEditable(true);
    cdpi_->setInsertPolicy(QComboBox::NoInsert);
    for (const char* entry : kPrintDpiEntryTexts)
        cdpi_->addItem(QString::fromLatin1(entry));
    cdpi_->setCurrentIndex(kDefaultPrintDpiEntry);
    // Wide enough for "1200 DPI", not for the whole row.
    cdpi_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cdpi_->setMinimumContentsLength(8);
    paintCream(cdpi_);

    Label45_ = captionLabel("Label45", QStringLiteral("Custom DPI:"), GroupBox1_);
    seCDPI_ = new SpinEdit(kCustomDpiMin, kCustomDpiMax, kCustomDpiDefault, GroupBox1_);
    seCDPI_->setObjectName(QStringLiteral("seCDPI"));
    seCDPI_->setAccessibleName(Label45_->text());
    paintCream(seCDPI_);
    Label45_->setBuddy(seCDPI_);

    Label2_ = captionLabel("Label2", QString::fromLatin1(kPrintedSizeCaption), GroupBox1_);
    paintGreen(Label2_);
    lbprintedfullsize_ = valueLabel("lbprintedfullsize", Label2_->text(), GroupBox1_);
    Label8_ = captionLabel("Label8", QString::fromLatin1(kCellSizeCaption), GroupBox1_);
    paintGreen(Label8_);
    lbprintedcellsize_ = valueLabel("lbprintedcellsize", Label8_->text(), GroupBox1_);
    lbpagecount_ = valueLabel("lbpagecount", QStringLiteral("Page Count"), GroupBox1_);

    auto* size = new QGridLayout(GroupBox1_);
    size->setContentsMargins(8, 4, 8, 6);
    size->setHorizontalSpacing(6);
    size->setVerticalSpacing(2);
    size->setColumnStretch(0, 1);
    size->addWidget(Label1_, 0, 0);
    size->addWidget(lbsourcesize_, 0, 1, 1, 2);
    size->addWidget(rbfit_, 1, 0, 1, 3);
    size->addWidget(RadioButton2_, 2, 0, 1, 3);
    size->addWidget(cdpi_, 3, 0);
    size->addWidget(Label45_, 3, 1);
    size->addWidget(seCDPI_, 3, 2);
    size->addWidget(Label2_, 4, 0, 1, 3);
    size->addWidget(lbprintedfullsize_, 5, 0, 1, 3);
    size->addWidget(Label8_, 6, 0, 1, 3);
    size->addWidget(lbprintedcellsize_, 7, 0, 1, 3);
    size->addWidget(lbpagecount_, 8, 0, 1, 3);

    GroupBox2_ = new QGroupBox(QStringLiteral("Printer Capabilities"), this);
    GroupBox2_->setObjectName(QStringLiteral("GroupBox2"));
    Label5_ = captionLabel("Label5", QString::fromLatin1(kPrinterResolutionCaption), GroupBox2_);
    lpdpi_ = valueLabel("lpdpi", Label5_->text(), GroupBox2_);
    // Which printer the values are of: "PDF" when pages go to PDF files.
    lpprinter_ = valueLabel("lpprinter", QStringLiteral("Printer"), GroupBox2_);
    Label4_ = captionLabel("Label4", QString::fromLatin1(kPrintableAreaCaption), GroupBox2_);
    lpagesize_ = valueLabel("lpagesize", Label4_->text(), GroupBox2_);

    auto* printer = new QGridLayout(GroupBox2_);
    printer->setContentsMargins(8, 4, 8, 6);
    printer->setHorizontalSpacing(6);
    printer->setVerticalSpacing(2);
    printer->setColumnStretch(2, 1);
    printer->addWidget(Label5_, 0, 0);
    printer->addWidget(lpdpi_, 0, 1);
    printer->addWidget(lpprinter_, 0, 2);
    printer->addWidget(Label4_, 1, 0, 1, 3);
    printer->addWidget(lpagesize_, 2, 0, 1, 3);

    BTPsetup_ = new QPushButton(QStringLiteral("Printer Setup"), this);
    BTPsetup_->setObjectName(QStringLiteral("BTPsetup"));
    btprint_ = new QPushButton(QStringLiteral("Print"), this);
    btprint_->setObjectName(QStringLiteral("btprint"));
    btprint_->setDefault(true);
    btcancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    btcancel_->setObjectName(QStringLiteral("btcancel"));
    for (QPushButton* b : {BTPsetup_, btprint_, btcancel_})
        b->setAccessibleName(b->text());

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BTPsetup_);
    buttons->addStretch(1);
    buttons->addWidget(btprint_);
    buttons->addWidget(btcancel_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addWidget(GroupBox1_);
    layout->addWidget(GroupBox2_);
    layout->addStretch(1);
    layout->addLayout(buttons);

    showTexts();
}

void PrintWindow::showWindow()
{
    show();
    raise();
    activateWindow();
}

void PrintWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void PrintWindow::FormShow()
{
    context_.guarded([this] { computePrintLayout(); });
}

void PrintWindow::updateActions()
{
    // A creation in progress is drawing the mosaic that would be printed.
    btprint_->setEnabled(!context_.isBusy());
}

PrintChoice PrintWindow::currentChoice() const
{
    PrintChoice choice;
    choice.fitToPage = rbfit_->isChecked();
    // Text typed into the list's field selects no entry unless it is one.
    choice.dpiEntry = cdpi_->findText(cdpi_->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    choice.customDpi = seCDPI_->value();
    return choice;
}

void PrintWindow::computePrintLayout()
{
    const PrinterStatus printer = context_.platform().currentPrinter();
    printerName_ = printer.name;
    tw::computePrintLayout(state_, printer.values, currentChoice(), printPictureOf(context_.project()),
                           localeDecimalSeparator());
    showTexts();
}

bool PrintWindow::hasPages() const
{
    const Picture& picture = context_.project().MosaicImage;
    const PrintLayout& l = state_.layout;
    return !picture.empty() && picture.width() == l.sourceWidth && picture.height() == l.sourceHeight &&
           l.pagesAcross > 0 && l.pagesDown > 0;
}

void PrintWindow::showTexts()
{
    const PrintTexts& t = state_.texts;
    lbsourcesize_->setText(fromCoreText(t.sourceSize));
    lbprintedfullsize_->setText(fromCoreText(t.printedSize));
    lbprintedcellsize_->setText(fromCoreText(t.cellSize));
    lbpagecount_->setText(fromCoreText(t.pageCount));
    lpdpi_->setText(fromCoreText(t.printerResolution));
    lpagesize_->setText(fromCoreText(t.printableArea));
    const QString shown = lpprinter_->fontMetrics().elidedText(printerName_, Qt::ElideRight, 110);
    lpprinter_->setText(shown);
    lpprinter_->setToolTip(printerName_);
}

void PrintWindow::Button2Click()
{
    context_.guarded([this] { computePrintLayout(); });
}

void PrintWindow::BTPsetupClick()
{
    context_.guarded([this] {
        if (context_.platform().printerSetupDialog(this))
            computePrintLayout();
    });
}

void PrintWindow::btprintClick()
{
    if (context_.isBusy())
        return;
    context_.guarded([this] {
        Platform& platform = context_.platform();
        const PrinterStatus printer = platform.currentPrinter();
        QString pdfPath;
        bool confirmed = false;
        if (printer.pdf) {
            // A PDF needs a page: say so instead of asking for a file that
            // would never be written.
            computePrintLayout();
            if (!hasPages()) {
                close();
                platform.showMessage("There is nothing to print", "Caution");
                return;
            }
            FileDialogRequest request;
            request.title = QStringLiteral("Print to PDF");
            request.filters = {QStringLiteral("PDF (*.pdf)")};
            request.defaultSuffix = QStringLiteral("pdf");
            request.confirmOverwrite = true;
            const QString main = QFileInfo(fromCoreText(context_.project().mainImagePath)).completeBaseName();
            request.fileName = (main.isEmpty() ? QStringLiteral("mosaic") : main) + QStringLiteral(".pdf");
            if (const auto chosen = platform.saveFileDialog(this, request)) {
                pdfPath = chosen->path;
                confirmed = true;
            }
        } else {
            confirmed = platform.printDialog(this);
        }
        // The window closes in every case, and before the pages go out, so
        // that any failure the printing reports is not hidden behind it.
        close();
        if (confirmed)
            printMosaic(pdfPath);
    });
    close();
}

void PrintWindow::printMosaic(const QString& pdfPath)
{
    computePrintLayout();
    const MosaicProject& project = context_.project();
    WaitCursor wait;
    std::unique_ptr<PrintDocument> document = context_.platform().beginPrintDocument(
        fromCoreText(printDocumentTitle(project.mainImagePath)), pdfPath);
    tw::printMosaic(state_.layout, project.MosaicImage, *document);
    document->finish();
}

void PrintWindow::btcancelClick() { close(); }

} // namespace tw
