#pragma once
// TForm7 "Print Mosaic Picture": prints the mosaic fitted to one page or at
// a chosen resolution across as many pages as it needs, after showing the
// printer's resolution and printable area, the picture's size, the printed
// sizes and the page count. Without an installed printer it prints to PDF
// files through the platform's PDF printer.
#include "printing/print_layout.h"

#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tw {

class AppContext;
class SpinEdit;

class PrintWindow : public QWidget {
    Q_OBJECT
public:
    explicit PrintWindow(AppContext& context, QWidget* parent = nullptr);

    // The Print command: shows the window and brings it to the front.
    void showWindow();

    const PrintLayout& layout() const { return state_.layout; }

protected:
    void showEvent(QShowEvent* event) override;

private Q_SLOTS:
    void Button2Click();
    void BTPsetupClick();
    void btprintClick();
    void btcancelClick();
    void updateActions();

private:
    void createControls();
    void FormShow();

    // The printer's values and texts (readPrinterCaps), then the layout and
    // its texts.
    void computePrintLayout();
    // computePrintLayout, then the pages on the current printer (a PDF file
    // at pdfPath for the PDF printer).
    void printMosaic(const QString& pdfPath);
    PrintChoice currentChoice() const;
    // Whether printing the mosaic now sends at least one page.
    bool hasPages() const;
    void showTexts();

    AppContext& context_;
    PrintState state_;
    QString printerName_;

    QGroupBox* GroupBox1_ = nullptr;
    QLabel* Label1_ = nullptr;
    QLabel* lbsourcesize_ = nullptr;
    QRadioButton* rbfit_ = nullptr;
    QRadioButton* RadioButton2_ = nullptr;
    QComboBox* cdpi_ = nullptr;
    QLabel* Label45_ = nullptr;
    SpinEdit* seCDPI_ = nullptr;
    QLabel* Label2_ = nullptr;
    QLabel* lbprintedfullsize_ = nullptr;
    QLabel* Label8_ = nullptr;
    QLabel* lbprintedcellsize_ = nullptr;
    QLabel* lbpagecount_ = nullptr;
    QGroupBox* GroupBox2_ = nullptr;
    QLabel* Label5_ = nullptr;
    QLabel* lpdpi_ = nullptr;
    QLabel* lpprinter_ = nullptr;
    QLabel* Label4_ = nullptr;
    QLabel* lpagesize_ = nullptr;
    QPushButton* BTPsetup_ = nullptr;
    QPushButton* btprint_ = nullptr;
    QPushButton* btcancel_ = nullptr;
};

} // namespace tw
