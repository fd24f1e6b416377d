// The Print Mosaic Picture window driven through its controls, printing on
// the scripted platform's recording printer.
#include "gui/gui_fixture.h"

#include "imaging/load_picture.h"
#include "platform/qt_platform.h"
#include "printing/poppler.h"
#include "printing/print_window.h"
#include "ui/spin_edit.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>

namespace tw::test {
namespace {

constexpr PrinterValues kLetterAt600{600, 600, 4800, 6600};

class PrintWindowTest : public GuiTest {
protected:
    PrintWindow& window() { return windows_->print(); }
    QLabel* label(const char* name) { return child<QLabel>(window(), name); }
    std::string text(const char* name) { return label(name)->text().toStdString(); }
    QPushButton* push(const char* name) { return child<QPushButton>(window(), name); }
    QRadioButton* radio(const char* name) { return child<QRadioButton>(window(), name); }
    QComboBox* cdpi() { return child<QComboBox>(window(), "cdpi"); }
    SpinEdit* seCDPI() { return child<SpinEdit>(window(), "seCDPI"); }

    // The mosaic as a creation leaves it: cells, picture and state.
    void haveMosaic(int width, int height, int cellsX, int cellsY)
    {
        project().MosaicImage = gradientPicture(width, height);
        project().settings.cellsX = cellsX;
        project().settings.cellsY = cellsY;
        project().projectState = ProjectState::Mosaic;
        project().mainImagePath = "/pictures/holiday/beach.jpg";
    }

    // The Print button of the main window shows the window.
    void openWindow()
    {
        QTest::mouseClick(button("sbprint"), Qt::LeftButton);
        QApplication::processEvents();
        ASSERT_TRUE(window().isVisible());
        QApplication::setActiveWindow(&window());
    }

    // On the button's own mark: the widget spans the group's width.
    void clickRadio(const char* name)
    {
        QRadioButton* b = radio(name);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    }

    void chooseEntry(int index)
    {
        // The list follows the arrow keys like any combo box.
        while (cdpi()->currentIndex() > index)
            QTest::keyClick(cdpi(), Qt::Key_Up);
        while (cdpi()->currentIndex() < index)
            QTest::keyClick(cdpi(), Qt::Key_Down);
        ASSERT_EQ(cdpi()->currentIndex(), index);
    }

    void typeCustom(const char* typed)
    {
        QLineEdit* edit = seCDPI()->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, QString::fromLatin1(typed));
    }

    void leaveField()
    {
        QTest::keyClick(seCDPI(), Qt::Key_Tab);

        QApplication::processEvents();
    }

    const RecordedDocument& onlyDocument()
    {
        static const RecordedDocument none;
        EXPECT_EQ(platform_.documents.size(), 1u);
        return platform_.documents.empty() ? none : platform_.documents.front();
    }
};

TEST_F(PrintWindowTest, ControlsHaveTheirCaptionsAndStartStates)
{
    openWindow();
    EXPECT_EQ(window().objectName(), "TForm7");
    EXPECT_EQ(window().windowTitle(), "Print Mosaic Picture");
    EXPECT_TRUE(window().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(window().windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window().windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_GE(window().width(), 292);
    EXPECT_GE(window().height(), 319);
    EXPECT_EQ(window().minimumSize(), window().maximumSize()) << "a single border cannot be resized";

    struct Row {
        const char* name;
        const char* caption;
    };
    const Row captions[] = {{"Label1", "Picture size in Pixels"},
                            {"Label2", "Printed Picture Size (Inchs)"},
                            {"Label8", "Printed Cell Size"},
                            {"Label45", "Custom DPI:"},
                            {"Label5", "Printer Resolution (DPI)"},
                            {"Label4", "Printable Area Size"}};
    for (const Row& row : captions)
        EXPECT_EQ(text(row.name), row.caption) << row.name;
    const Row buttons[] = {{"BTPsetup", "Printer Setup"}, {"btprint", "Print"}, {"btcancel", "Cancel"}};
    for (const Row& row : buttons) {
        EXPECT_EQ(push(row.name)->text().toStdString(), row.caption);
        EXPECT_EQ(push(row.name)->accessibleName().toStdString(), row.caption);
        EXPECT_NE(push(row.name)->focusPolicy() & Qt::TabFocus, 0) << row.name;
    }
    EXPECT_EQ(child<QGroupBox>(window(), "GroupBox1")->title(), "Size");
    EXPECT_EQ(child<QGroupBox>(window(), "GroupBox2")->title(), "Printer Capabilities");
    EXPECT_EQ(radio("rbfit")->text(), "Fit to Page");
    EXPECT_EQ(radio("RadioButton2")->text(), "Print at this Resolution  (Image Resolution)");
    EXPECT_FALSE(radio("rbfit")->isChecked());
    EXPECT_TRUE(radio("RadioButton2")->isChecked());

    QStringList entries;
    for (int i = 0; i < cdpi()->count(); ++i)
        entries << cdpi()->itemText(i);
    EXPECT_EQ(entries.join(QLatin1Char('|')).toStdString(),
              "30 DPI|60DPI|72 DPI|96 DPI|100 DPI|150 DPI|300 DPI|600 DPI|1200 DPI|CUSTOM");
    EXPECT_TRUE(cdpi()->isEditable());
    EXPECT_EQ(cdpi()->currentIndex(), 2);
    EXPECT_EQ(seCDPI()->value(), 72);
    EXPECT_EQ(seCDPI()->accessibleName(), "Custom DPI:");

    const QColor green(0, 0x80, 0);
    for (const char* name : {"Label1", "Label2", "Label8"})
        EXPECT_EQ(label(name)->palette().color(QPalette::WindowText), green) << name;
    const QColor cream(0xFF, 0xFB, 0xF0);
    EXPECT_EQ(cdpi()->palette().color(QPalette::Base), cream);
    EXPECT_EQ(seCDPI()->palette().color(QPalette::Base), cream);

    // No mosaic yet: the picture texts keep their start, the printer is read.
    const Row start[] = {{"lbsourcesize", "0 x 0"},
                         {"lbprintedfullsize", "0 x 0"},
                         {"lbprintedcellsize", "0 x 0"},
                         {"lbpagecount", "Page Count"},
                         {"lpdpi", "600 x 600"},
                         {"lpagesize", "8.00 x 11.00 Inch  or 20.32 x 27.94 CM  "},
                         {"lpprinter", "PDF"}};
    for (const Row& row : start)
        EXPECT_EQ(text(row.name), row.caption) << row.name;
}

TEST_F(PrintWindowTest, EachListEntryPrintsAtItsResolution)
{
    haveMosaic(1536, 1536, 48, 48);
    openWindow();
    EXPECT_EQ(text("lbsourcesize"), "1536 x 1536 pixels");
    EXPECT_EQ(text("lbprintedfullsize"), "21.33 x 21.33 Inch  or 54.19 x 54.19 CM");
    EXPECT_EQ(text("lbprintedcellsize"), "0.44 x 0.44 Inch  or 1.13 x 1.13 CM");
    EXPECT_EQ(text("lbpagecount"), "Page Count : 3 x 2");

    struct Row {
        int entry;
        int printDpi;
        const char* pageCount;
        const char* printedSize;
    };
    const Row rows[] = {
        {0, 30, "Page Count : 7 x 5", "51.20 x 51.20 Inch  or 130.05 x 130.05 CM"},
        {1, 60, "Page Count : 4 x 3", "25.60 x 25.60 Inch  or 65.02 x 65.02 CM"},
        {2, 72, "Page Count : 3 x 2", "21.33 x 21.33 Inch  or 54.19 x 54.19 CM"},
        {3, 96, "Page Count : 2 x 2", "16.00 x 16.00 Inch  or 40.64 x 40.64 CM"},
        {4, 100, "Page Count : 2 x 2", "15.36 x 15.36 Inch  or 39.01 x 39.01 CM"},
        {5, 150, "Page Count : 2 x 1", "10.24 x 10.24 Inch  or 26.01 x 26.01 CM"},
        {6, 300, "Page Count : 1 x 1", "5.12 x 5.12 Inch  or 13.00 x 13.00 CM"},
        {7, 600, "Page Count : 1 x 1", "2.56 x 2.56 Inch  or 6.50 x 6.50 CM"},
        {8, 1200, "Page Count : 1 x 1", "1.28 x 1.28 Inch  or 3.25 x 3.25 CM"},
        {9, 72, "Page Count : 3 x 2", "21.33 x 21.33 Inch  or 54.19 x 54.19 CM"},  // CUSTOM with 72
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entry);
        chooseEntry(row.entry);
        EXPECT_EQ(window().layout().printDpi, row.printDpi);
        EXPECT_EQ(text("lbpagecount"), row.pageCount);
        EXPECT_EQ(text("lbprintedfullsize"), row.printedSize);
    }
}

TEST_F(PrintWindowTest, CustomResolutionFollowsTheTypingRule)
{
    haveMosaic(1536, 1536, 48, 48);
    openWindow();
    chooseEntry(kCustomDpiEntry);
    struct Row {
        const char* typed;
        bool leave;      // the focus leaves the field afterwards
        int printDpi;
        const char* shown;  // the field's text afterwards
        const char* pageCount;
    };
    const Row rows[] = {
        {"600", false, 600, "600", "Page Count : 1 x 1"},
        // 0 while typing must not divide; the focus brings it to 1.
        {"0", false, 0, "0", "Page Count : 0 x 0"},
        {"0", true, 1, "1", "Page Count : 192 x 140"},
        {"5000", false, 5000, "5000", "Page Count : 1 x 1"},
        {"5000", true, 1200, "1200", "Page Count : 1 x 1"},
        // No number at all yields the minimum.
        {"", false, 1, "", "Page Count : 192 x 140"},
        {"", true, 1, "1", "Page Count : 192 x 140"},
        {"36", true, 36, "36", "Page Count : 6 x 4"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.typed) + (row.leave ? " then leave" : ""));
        typeCustom(row.typed);
        if (row.leave)
            leaveField();
        EXPECT_EQ(window().layout().printDpi, row.printDpi);
        EXPECT_EQ(seCDPI()->findChild<QLineEdit*>()->text().toStdString(), row.shown);
        EXPECT_EQ(text("lbpagecount"), row.pageCount);
    }

    // The arrows step within the range from the typed value.
    typeCustom("1200");
    QTest::keyClick(seCDPI(), Qt::Key_Up);
    EXPECT_EQ(window().layout().printDpi, 1200);
    QTest::keyClick(seCDPI(), Qt::Key_Down);
    EXPECT_EQ(window().layout().printDpi, 1199);
}

TEST_F(PrintWindowTest, TextTypedIntoTheListKeepsTheResolution)
{
    haveMosaic(1536, 1536, 48, 48);
    openWindow();
    chooseEntry(5);
    ASSERT_EQ(window().layout().printDpi, 150);
    QLineEdit* edit = cdpi()->lineEdit();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, QStringLiteral("75 DPI"));
    EXPECT_EQ(cdpi()->currentText(), "75 DPI");
    EXPECT_EQ(window().layout().printDpi, 150);
    EXPECT_EQ(text("lbpagecount"), "Page Count : 2 x 1");
    // Typing an entry's own text selects it.
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, QStringLiteral("600 DPI"));
    EXPECT_EQ(window().layout().printDpi, 600);
}

TEST_F(PrintWindowTest, FitToPageAndBack)
{
    haveMosaic(1536, 1536, 48, 48);
    openWindow();
    clickRadio("rbfit");
    EXPECT_TRUE(radio("rbfit")->isChecked());
    EXPECT_EQ(text("lbpagecount"), "Page Count : 1");
    EXPECT_EQ(text("lbprintedfullsize"), "8.00 x 8.00 Inch  or 20.32 x 20.32 CM");
    EXPECT_EQ(window().layout().printedWidth, 4800);
    clickRadio("RadioButton2");
    EXPECT_EQ(text("lbpagecount"), "Page Count : 3 x 2");

    // The choice stays between showings.
    clickRadio("rbfit");
    QTest::mouseClick(push("btcancel"), Qt::LeftButton);
    EXPECT_FALSE(window().isVisible());
    openWindow();
    EXPECT_TRUE(radio("rbfit")->isChecked());
    EXPECT_EQ(text("lbpagecount"), "Page Count : 1");
}

TEST_F(PrintWindowTest, AnOpenedPictureHasNoCells)
{
    haveMosaic(720, 360, 10, 5);
    project().projectState = ProjectState::Picture;
    openWindow();
    EXPECT_EQ(text("lbprintedcellsize"), "No Cells");
    EXPECT_EQ(text("lbsourcesize"), "720 x 360 pixels");
    EXPECT_EQ(text("lbpagecount"), "Page Count : 2 x 1");
}

TEST_F(PrintWindowTest, CancelClosesWithoutPrinting)
{
    haveMosaic(1536, 1536, 48, 48);
    openWindow();
    QTest::mouseClick(push("btcancel"), Qt::LeftButton);
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(platform_.documents.empty());
    EXPECT_TRUE(platform_.dialogs.empty());
    EXPECT_EQ(platform_.printDialogs, 0);
}

TEST_F(PrintWindowTest, PrintToPdfSendsOneTilePerPageRowByRow)
{
    haveMosaic(1536, 1536, 48, 48);
    openWindow();
    platform_.answerFile(qpath("beach-print"));
    QTest::mouseClick(push("btprint"), Qt::LeftButton);
    EXPECT_FALSE(window().isVisible());

    ASSERT_EQ(platform_.dialogs.size(), 1u);
    const FileDialogRequest& request = platform_.dialogs[0].request;
    EXPECT_TRUE(platform_.dialogs[0].save);
    EXPECT_EQ(request.filters, QStringList{"PDF (*.pdf)"});
    EXPECT_EQ(request.defaultSuffix, "pdf");
    EXPECT_TRUE(request.confirmOverwrite);
    EXPECT_EQ(request.fileName, "beach.pdf");

    const RecordedDocument& document = onlyDocument();
    EXPECT_EQ(document.title, "Tilewright projectbeach.jpg");
    EXPECT_EQ(document.pdfPath, qpath("beach-print.pdf"));
    EXPECT_TRUE(document.finished);
    struct Tile {
        Rect source, destination;
    };
    const Tile expected[] = {
        {{0, 0, 576, 792}, {0, 0, 4800, 6600}},      {{576, 0, 1152, 792}, {0, 0, 4800, 6600}},
        {{1152, 0, 1536, 792}, {0, 0, 3200, 6600}},  {{0, 792, 576, 1536}, {0, 0, 4800, 6200}},
        {{576, 792, 1152, 1536}, {0, 0, 4800, 6200}}, {{1152, 792, 1536, 1536}, {0, 0, 3200, 6200}},
    };
    ASSERT_EQ(document.pages.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        ASSERT_EQ(document.pages[i].size(), 1u);
        const RecordedTile& tile = document.pages[i][0];
        EXPECT_EQ(tile.source, expected[i].source);
        EXPECT_EQ(tile.destination, expected[i].destination);
        EXPECT_EQ(tile.picture, (Size{1536, 1536}));
    }
    EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(PrintWindowTest, PrintDialogOfAnInstalledPrinter)
{
    struct Row {
        const char* fault;
        bool fit;
        bool confirm;
        std::size_t pages;
        Rect destination;  // of the first page
    };
    const Row rows[] = {
        {"fit to page printed at a resolution", true, true, 1, {0, 0, 4800, 4800}},
        {"printed although the dialog was cancelled", false, false, 0, {}},
        {"resolution pages lost", false, true, 6, {0, 0, 4800, 6600}},
    };
    haveMosaic(1536, 1536, 48, 48);
    platform_.printer = PrinterStatus{false, QStringLiteral("Office Laser"), kLetterAt600};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        platform_.documents.clear();
        openWindow();
        EXPECT_EQ(text("lpprinter"), "Office Laser");
        clickRadio(row.fit ? "rbfit" : "RadioButton2");
        platform_.printAnswers.push_back(row.confirm);
        QTest::mouseClick(push("btprint"), Qt::LeftButton);
        EXPECT_FALSE(window().isVisible()) << "the window closes in every case";
        EXPECT_TRUE(platform_.dialogs.empty()) << "no file is asked for";
        if (!row.confirm) {
            EXPECT_TRUE(platform_.documents.empty());
            continue;
        }
        const RecordedDocument& document = onlyDocument();
        EXPECT_TRUE(document.pdfPath.isEmpty());
        ASSERT_EQ(document.pages.size(), row.pages);
        EXPECT_EQ(document.pages[0][0].destination, row.destination);
    }
    EXPECT_EQ(platform_.printDialogs, 3);
}

TEST_F(PrintWindowTest, NothingToPrintBeforeAnyMosaic)
{
    // An installed printer gets a document without pages.
    platform_.printer = PrinterStatus{false, QStringLiteral("Office Laser"), kLetterAt600};
    openWindow();
    platform_.printAnswers.push_back(true);
    QTest::mouseClick(push("btprint"), Qt::LeftButton);
    const RecordedDocument& document = onlyDocument();
    EXPECT_TRUE(document.pages.empty());
    EXPECT_TRUE(document.finished);
    EXPECT_EQ(text("lbpagecount"), "Page Count");

    // The PDF printer says so instead of asking for a file.
    platform_.documents.clear();
    platform_.printer = PrinterStatus{true, QStringLiteral("PDF"), kLetterAt600};
    openWindow();
    QTest::mouseClick(push("btprint"), Qt::LeftButton);
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(platform_.documents.empty());
    EXPECT_TRUE(platform_.dialogs.empty());
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].text, "There is nothing to print");
    EXPECT_EQ(platform_.messages[0].caption, "Caution");
}

TEST_F(PrintWindowTest, CancelledPdfNameWritesNothing)
{
    haveMosaic(1536, 1536, 48, 48);
    openWindow();
    platform_.answerCancel();
    QTest::mouseClick(push("btprint"), Qt::LeftButton);
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(platform_.documents.empty());
    EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(PrintWindowTest, PrinterSetupRereadsThePrinterOnlyWhenConfirmed)
{
    haveMosaic(1536, 1536, 48, 48);
    openWindow();
    // Landscape: the printable area turns.
    platform_.setupPrinter = PrinterStatus{true, QStringLiteral("PDF"), PrinterValues{600, 600, 6600, 4800}};
    platform_.printerSetupAnswers = {false, true};

    QTest::mouseClick(push("BTPsetup"), Qt::LeftButton);
    EXPECT_EQ(text("lpagesize"), "8.00 x 11.00 Inch  or 20.32 x 27.94 CM  ");
    EXPECT_EQ(text("lbpagecount"), "Page Count : 3 x 2");

    QTest::mouseClick(push("BTPsetup"), Qt::LeftButton);
    EXPECT_EQ(text("lpagesize"), "11.00 x 8.00 Inch  or 27.94 x 20.32 CM  ");
    EXPECT_EQ(text("lbpagecount"), "Page Count : 2 x 3");
    EXPECT_TRUE(window().isVisible()) << "setup keeps the window open";
    EXPECT_EQ(platform_.printerSetupDialogs, 2);
}

TEST_F(PrintWindowTest, PrintFailureIsShownAndTheWindowClosed)
{
    haveMosaic(64, 64, 8, 8);
    openWindow();
    platform_.printFailure = "Cannot create file \"/nowhere/m.pdf\". No such file or directory";
    platform_.answerFile(QStringLiteral("/nowhere/m.pdf"));
    QTest::mouseClick(push("btprint"), Qt::LeftButton);
    EXPECT_FALSE(window().isVisible());
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].text, platform_.printFailure + ".");
    EXPECT_EQ(platform_.messages[0].caption, "Error");
    ASSERT_EQ(platform_.documents.size(), 1u);
    EXPECT_FALSE(platform_.documents[0].finished);
}

TEST_F(PrintWindowTest, PrintWaitsWhileAMosaicIsBeingMade)
{
    haveMosaic(64, 64, 8, 8);
    openWindow();
    {
        BusyScope busy(*context_);
        EXPECT_FALSE(push("btprint")->isEnabled());
        QTest::mouseClick(push("btprint"), Qt::LeftButton);
        EXPECT_TRUE(platform_.dialogs.empty());
    }
    EXPECT_TRUE(push("btprint")->isEnabled());
}

TEST_F(PrintWindowTest, WindowAndCommandLineWriteTheSamePages)
{
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "a printer is installed here";
    QtPlatform qt;
    platform_.realPrinting = &qt;
    // An opened picture, printed at 60 DPI on two pages.
    const std::string picturePath = path("picture.bmp");
    saveBmp(gradientPicture(600, 400), picturePath);
    loadPicture(project().MosaicImage, picturePath);
    project().projectState = ProjectState::Picture;
    project().mainImagePath = picturePath;
    openWindow();
    chooseEntry(1);
    EXPECT_EQ(text("lbpagecount"), "Page Count : 2 x 1");
    EXPECT_EQ(text("lpprinter"), "PDF");
    platform_.answerFile(qpath("window.pdf"));
    QTest::mouseClick(push("btprint"), Qt::LeftButton);
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages[0].text;

    const std::string cli = path("cli.pdf");
    const std::string command = shellWord(TILEWRIGHT_CLI_PROGRAM) + " print " + shellWord(picturePath) +
                                " --dpi 60 --out " + shellWord(cli);
    const std::string out = commandOutput(command);
    EXPECT_NE(out.find("Page Count : 2 x 1\n"), std::string::npos) << out;

    const std::string window = path("window.pdf");
    ASSERT_EQ(pdfPageCount(window), 2);
    ASSERT_EQ(pdfPageCount(cli), 2);
    for (int page = 1; page <= 2; ++page) {
        SCOPED_TRACE("page " + std::to_string(page));
        const Picture a = renderPdfPage(window, page, 150, 0, 0, 1300, 1800);
        const Picture b = renderPdfPage(cli, page, 150, 0, 0, 1300, 1800);
        ASSERT_FALSE(a.empty());
        int inked = 0;
        for (int y = 0; y < a.height(); y += 5)
            for (int x = 0; x < a.width(); x += 5)
                inked += a.pixel(x, y) == Bgr{255, 255, 255} ? 0 : 1;
        EXPECT_GT(inked, 1000) << "a blank page";
        EXPECT_TRUE(samePicture(a, b));
    }
    auto title = [](const std::string& pdf) {
        const std::string info = commandOutput("pdfinfo " + shellWord(pdf));
        return info.substr(0, info.find('\n'));
    };
    EXPECT_EQ(title(window), "Title:           Tilewright projectpicture.bmp");
    EXPECT_EQ(title(cli), title(window));
}

} // namespace
} // namespace tw::test
