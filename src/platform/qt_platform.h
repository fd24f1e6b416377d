#pragma once
// The desktop's dialogs, message boxes and document opening through Qt.
#include "platform/platform.h"

#include <QPointer>

#include <memory>

class QPrinter;

namespace tw {

// The settings key of the folder remembered for a dialog: its purpose, or
// its title when it names none, under "dialogFolders".
QString dialogFolderKey(const FileDialogRequest& request);

// The folder a file dialog opens in: the one remembered for its purpose
// while that still exists, else the request's own folder (may be empty).
QString dialogStartFolder(const FileDialogRequest& request);

// Remembers the folder of a confirmed file for the dialog's purpose.
void rememberDialogFolder(const FileDialogRequest& request, const QString& chosenPath);

class QtPlatform final : public Platform {
public:
    QtPlatform();
    ~QtPlatform() override;
    QtPlatform(const QtPlatform&) = delete;
    QtPlatform& operator=(const QtPlatform&) = delete;

    void setDialogParent(QWidget* parent) override;

    void showMessage(const std::string& text, const std::string& caption) override;
    Confirmation confirm(const std::string& text, const std::string& caption) override;

    std::optional<FileDialogResult> openFileDialog(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<FileDialogResult> saveFileDialog(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<QColor> colorDialog(QWidget* parent, const QColor& initial) override;
    SaveChoice askSaveChanges(const std::string& text) override;

    void openWithDesktop(const QUrl& address) override;
    MemoryStatus memoryStatus() override;

    PrinterStatus currentPrinter() override;
    bool printerSetupDialog(QWidget* parent) override;
    bool printDialog(QWidget* parent) override;
    std::unique_ptr<PrintDocument> beginPrintDocument(const QString& title, const QString& pdfPath) override;

private:
    std::optional<FileDialogResult> runFileDialog(QWidget* parent, const FileDialogRequest& request, bool save);
    QWidget* parentFor(QWidget* parent) const;

    // The printer, chosen at first use and again before each printing
    // dialog: the system's default printer, or the PDF printer when the
    // system has none.
    QPrinter& printer();
    void choosePrinter();

    QPointer<QWidget> dialogParent_;
    std::unique_ptr<QPrinter> printer_;
    bool pdfPrinter_ = false;
};

} // namespace tw
